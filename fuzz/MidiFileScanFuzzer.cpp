// Any bytes as a file, as the application opens one: mostly Standard MIDI
// Files and RIFF MIDI files from the seeds. Besides what every scan must hold
// (ScanChecks.h), a scan that stops says why, and each dump found, written
// as a MIDI file of our own (in packets of a size the input chooses), reads
// back as exactly that dump.

#include "MidiFileWriter.h"
#include "ScanChecks.h"

namespace {

using namespace a3;
using a3::fuzz::require;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    const DumpScan scan = scanForDumps(input);
    if (scan.kind != ScannedKind::HexText) {
        fuzz::checkScan(scan, input);
    }
    if (scan.kind != ScannedKind::MidiFile && scan.kind != ScannedKind::RiffMidiFile) {
        require(scan.midiFileTracks == 0 && scan.midiFileEvents == 0,
                "only MIDI files have tracks and events");
    }
    require(scan.midiFileEvents == 0 || scan.midiFileTracks > 0, "events are in tracks");

    const std::size_t packetSize = size == 0 ? 0 : data[size - 1];
    for (const FoundDump& dump : scan.dumps) {
        if (dump.bytes.back() != kEndOfExclusive ||
            !fuzz::dataBytesOnly(dump.bytes.data(), 1, kAllDataFileSize - 1)) {
            continue; // a bare dump that is no whole SysEx message
        }
        const auto file = midiFileOfDump(
            std::span<const std::uint8_t, kAllDataFileSize>(dump.bytes.data(), kAllDataFileSize),
            {packetSize, 3125});
        const DumpScan back = scanMidiFile(file);
        require(back.dumps.size() == 1 && back.dumps[0].bytes == dump.bytes &&
                    back.cutDumps.empty() && back.stopReason.empty(),
                "a dump written as a MIDI file reads back as itself");
    }
    require(fuzz::sameScan(scan, scanForDumps(input)), "scanning is deterministic");
    return 0;
}
