// Any bytes as a stream of MIDI messages. Besides what every scan must hold
// (ScanChecks.h), each dump and cut dump is checked against the input on its
// own terms: from its offset, with realtime bytes skipped, the input has the
// dump's bytes, and then what the scan says ended it.

#include "ScanChecks.h"

namespace {

using namespace a3;
using a3::fuzz::require;

// The bytes from offset on without realtime bytes: the first count of them
// must equal expected; then the byte after them, or -1 at the end. (Plain
// pointers: a span's or a vector's operator[] is not inlined here and would
// be a call for every byte.)
A3_FUZZ_UNINSTRUMENTED int matchesWithoutRealtime(const std::uint8_t* input, std::size_t size,
                                                  std::size_t offset, const std::uint8_t* expected,
                                                  std::size_t count, bool& same)
{
    std::size_t k = 0;
    same = true;
    for (std::size_t i = offset; i < size; ++i) {
        if (input[i] >= 0xF8) {
            continue;
        }
        if (k == count) {
            return input[i];
        }
        same = same && input[i] == expected[k];
        ++k;
    }
    same = same && k == count;
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    const DumpScan scan = scanMidiStream(input);
    fuzz::checkScan(scan, input);
    require(scan.kind == ScannedKind::MidiStream || scan.kind == ScannedKind::Unrecognised,
            "a stream is a stream or nothing");
    require(scan.midiFileTracks == 0 && scan.stopReason.empty(),
            "a stream has no tracks and is read to its end");

    bool same = false;
    for (const FoundDump& dump : scan.dumps) {
        matchesWithoutRealtime(data, size, dump.offset, dump.bytes.data(), dump.bytes.size(), same);
        require(same, "a dump is the input's bytes from its offset, realtime bytes dropped");
    }
    for (const CutDump& cut : scan.cutDumps) {
        const int next = matchesWithoutRealtime(data, size, cut.offset, cut.bytes.data(),
                                                cut.bytes.size(), same);
        require(same, "a cut dump is the input's bytes from its offset, realtime bytes dropped");
        switch (cut.reason) {
        case CutReason::BytesEnded:
            require(next == -1, "a dump cut by the end is followed by nothing");
            break;
        case CutReason::StatusByte:
        case CutReason::EarlyEnd:
            require(next == cut.endedBy, "a cut dump is followed by what ended it");
            break;
        case CutReason::TooLong:
            require(next >= 0 && next < 0x80, "a dump too long goes on with a data byte");
            break;
        }
    }
    require(fuzz::sameScan(scan, scanMidiStream(input)), "scanning is deterministic");
    return 0;
}
