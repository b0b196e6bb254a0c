#pragma once

#include "DumpScanner.h"
#include "Result.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace a3 {

// Every All-Data dump a file holds, whatever it is: a bare dump, MIDI
// messages, a MIDI file, hex text, or an archive of any of these (opened
// one level deep). What every reader of bank files asks first.

// Larger files are not read: no collection of banks comes near it, and the
// scan holds the whole file.
inline constexpr std::uintmax_t kLargestFileScanned = std::uintmax_t{64} << 20;

// Where in its file a dump was found.
struct DumpPlace
{
    std::vector<std::string> members; // the archive members it is in, outside in; none for the file
    std::size_t number = 1;           // among the dumps begun in the file or member, from 1
    std::size_t dumpsThere = 1;       // how many dumps began there, whole or cut
    friend bool operator==(const DumpPlace&, const DumpPlace&) = default;
};

// The place for a person: "song.mid", "song.mid, dump 2",
// "Factory.zip › bank 2.syx", "Factory.zip › live.syx, dump 2".
std::string describePlace(std::string_view fileName, const DumpPlace& place);

struct DumpInFile
{
    DumpPlace place;
    std::vector<std::uint8_t> bytes; // the dump as found, kAllDataFileSize bytes
};

struct CutDumpInFile
{
    DumpPlace place;
    CutDump cut;
};

struct DumpsInFile
{
    // The file is one dump and nothing else, as the bank saves it.
    bool bareDump = false;
    std::vector<DumpInFile> dumps;
    std::vector<CutDumpInFile> cutDumps;
    // What the file holds, in words: "2 All-Data dumps in a MIDI file"; for a
    // file without a whole dump, why it is no bank ("wrong length: 10 bytes,
    // expected 29198", "a zip archive with 12 files, none holding an
    // All-Data dump"; "too large to hold banks (...)", for a file not read).
    std::string holds;
};

// The dump to recover patches from: the first cut short, else the first
// whole one (which may hold bytes that are not nibbles); nothing when the
// file holds neither. bytes point into found.
struct DumpToRecover
{
    DumpPlace place;
    std::span<const std::uint8_t> bytes;
};
std::optional<DumpToRecover> dumpToRecover(const DumpsInFile& found);

DumpsInFile dumpsInBytes(std::span<const std::uint8_t> bytes);
// Reads the file as the bank files are read: a FIFO or a device is never
// opened, and nothing over kLargestFileScanned is read. Fails, in the
// system's words, for a file that cannot be read (missing, not a regular
// file, no permission).
Result<DumpsInFile> dumpsInFile(const std::filesystem::path& path);

} // namespace a3
