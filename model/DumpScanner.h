#pragma once

#include "A3AllData.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace a3 {

// Finds the All-Data dumps a file holds, whatever carries them: the bare dump
// the bank saves, a capture of MIDI messages, a Standard MIDI File (bare or in
// a RIFF RMID wrapper) or hex text. Nothing in a file is trusted: a length
// field is only ever compared with the bytes that are there, memory is
// allocated only for what was found, and a file that breaks off or lies ends
// the scan with what was found so far and why it stopped.

enum class ScannedKind
{
    Unrecognised, // none of the others; empty files too
    BareDump,     // one dump and nothing else, as the bank saves it
    MidiStream,   // MIDI messages as sent: .syx captures
    MidiFile,     // a Standard MIDI File
    RiffMidiFile, // a Standard MIDI File in a RIFF RMID wrapper
    HexText,      // bytes written as hex digit pairs
};

struct FoundDump
{
    std::size_t index = 0;  // among the dumps begun in the file, whole or cut: 0 for the first
    std::size_t offset = 0; // of its F0 in the file (in the decoded bytes for hex text)
    std::vector<std::uint8_t> bytes; // kAllDataFileSize bytes, from F0 to F7
};

// Why a dump that began with the right header did not arrive whole.
enum class CutReason
{
    BytesEnded, // the file, or its track, ended first
    StatusByte, // a status byte other than realtime came first (endedBy)
    EarlyEnd,   // F7 came too early
    TooLong,    // no F7 where a dump ends
};

struct CutDump
{
    std::size_t index = 0;
    std::size_t offset = 0;
    // The bytes that arrived from F0 on, realtime bytes removed and without
    // the byte that ended them; for TooLong, all a dump has before its F7.
    std::vector<std::uint8_t> bytes;
    CutReason reason = CutReason::BytesEnded;
    std::uint8_t endedBy = 0; // the byte that ended it (the status byte, or F7); 0 for none
};

struct DumpScan
{
    ScannedKind kind = ScannedKind::Unrecognised;
    std::size_t size = 0; // of the bytes scanned: the file's, or those hex text decodes to
    std::vector<FoundDump> dumps;
    std::vector<CutDump> cutDumps;
    std::size_t otherSysEx = 0;      // SysEx messages, finished or not, that are neither
    std::size_t otherMessages = 0;   // complete MIDI messages other than SysEx
    std::size_t strayBytes = 0;      // bytes of no message, or of a message broken off
    std::size_t realtimeInSysEx = 0; // realtime bytes dropped from inside SysEx messages
    std::size_t midiFileTracks = 0;  // track chunks read
    std::size_t midiFileEvents = 0;  // events read in them, meta events included
    // Empty, or why the scan ended before the end of the file.
    std::string stopReason;
};

// The file's kind and every dump in it, byte for byte as found. A file of
// exactly kAllDataFileSize bytes with the dump header is a bare dump taken
// as it is, as the bank always has; other files are told by their first
// bytes (MThd, RIFF....RMID, hex digits) and anything else is read as MIDI
// messages.
DumpScan scanForDumps(std::span<const std::uint8_t> file);

// The readers scanForDumps chooses from, for bytes known to be of their
// kind. Each gives Unrecognised and a stop reason for bytes not of its kind.
DumpScan scanMidiStream(std::span<const std::uint8_t> bytes);
DumpScan scanMidiFile(std::span<const std::uint8_t> bytes);
DumpScan scanHexText(std::span<const std::uint8_t> text);

// Hex text as bytes: tokens of hex digit pairs (either case, with or without
// 0x), between spaces, tabs, commas and line breaks. Nothing when the text
// holds anything else or no token; a token with an odd number of digits ends
// the bytes there, with the reason. A token of several pairs gives several
// bytes, as a hex dump without spaces has them.
struct HexBytes
{
    std::vector<std::uint8_t> bytes;
    std::string stopReason;
};
bool isHexText(std::span<const std::uint8_t> text);
std::optional<HexBytes> decodeHexText(std::span<const std::uint8_t> text);

// What the file holds, in a sentence for the user: "2 All-Data dumps in a
// MIDI file" or, when there is none, what there is instead: "a MIDI file
// with 3 SysEx messages, none of them an All-Data dump". Cut dumps and a
// stop reason follow in sentences of their own.
std::string describeScan(const DumpScan& scan);
// Why a cut dump ended: "the bytes ended after 20000 of its 29198 bytes".
std::string describeCut(const CutDump& cut);

} // namespace a3
