#pragma once

// What every dump scan must hold, whatever it read: each dump whole with the
// header, F7 and only data bytes between; each cut dump a header and data
// bytes; whole and cut dumps numbered together in the order they began; and
// a scan of the same bytes again gives the same.

#include "DumpScanner.h"
#include "Require.h"

#include <algorithm>
#include <cstring>

namespace a3::fuzz {

// Whether no byte in [from, to) has its top bit set.
A3_FUZZ_UNINSTRUMENTED inline bool dataBytesOnly(const std::uint8_t* bytes, std::size_t from,
                                                 std::size_t to)
{
    unsigned bits = 0;
    for (std::size_t i = from; i < to; ++i) {
        bits |= bytes[i];
    }
    return bits < 0x80;
}

inline bool startsWithHeader(const std::vector<std::uint8_t>& bytes)
{
    return bytes.size() >= kHeaderSize &&
           std::equal(kAllDataHeader.begin(), kAllDataHeader.end(), bytes.begin());
}

// scanned: the bytes the offsets point into (decoded ones for hex text).
inline void checkScan(const DumpScan& scan, std::span<const std::uint8_t> scanned)
{
    require(scan.size == scanned.size(), "the scan's size is the size of the bytes scanned");
    const bool bare = scan.kind == ScannedKind::BareDump;
    std::vector<std::pair<std::size_t, std::size_t>> begun; // index, offset
    std::size_t found = 0;
    for (const FoundDump& dump : scan.dumps) {
        require(dump.bytes.size() == kAllDataFileSize, "a dump has the size of one");
        require(startsWithHeader(dump.bytes), "a dump starts with the header");
        require(bare || dump.bytes.back() == kEndOfExclusive, "a dump ends with F7");
        require(bare || dataBytesOnly(dump.bytes.data(), 1, kAllDataFileSize - 1),
                "a dump has only data bytes between F0 and F7");
        begun.emplace_back(dump.index, dump.offset);
        found += dump.bytes.size();
    }
    for (const CutDump& cut : scan.cutDumps) {
        require(startsWithHeader(cut.bytes), "a cut dump starts with the header");
        require(cut.bytes.size() < kAllDataFileSize, "a cut dump is shorter than a dump");
        require(dataBytesOnly(cut.bytes.data(), 1, cut.bytes.size()),
                "a cut dump has only data bytes after its F0");
        switch (cut.reason) {
        case CutReason::BytesEnded:
            require(cut.endedBy == 0, "bytes that ended name no byte");
            break;
        case CutReason::StatusByte:
            require(cut.endedBy >= 0x80 && cut.endedBy < 0xF8 && cut.endedBy != kEndOfExclusive,
                    "a status byte that ends a dump is neither realtime nor F7");
            break;
        case CutReason::EarlyEnd:
            require(cut.endedBy == kEndOfExclusive, "an early end is an F7");
            break;
        case CutReason::TooLong:
            require(cut.bytes.size() == kAllDataFileSize - 1,
                    "a dump too long is cut where its F7 belongs");
            break;
        }
        begun.emplace_back(cut.index, cut.offset);
        found += cut.bytes.size();
    }
    require(found <= scanned.size(), "dumps are made of bytes scanned, each used once");
    std::ranges::sort(begun);
    for (std::size_t i = 0; i < begun.size(); ++i) {
        require(begun[i].first == i, "whole and cut dumps are numbered together from 0");
        require(i == 0 || begun[i].second > begun[i - 1].second,
                "dumps are numbered in the order they begin");
        require(begun[i].second < scanned.size() && scanned[begun[i].second] == 0xF0,
                "a dump's offset is that of its F0");
    }
    require(!describeScan(scan).empty(), "every scan is described");
}

inline bool sameScan(const DumpScan& a, const DumpScan& b)
{
    const auto sameDump = [](const FoundDump& x, const FoundDump& y) {
        return x.index == y.index && x.offset == y.offset && x.bytes == y.bytes;
    };
    const auto sameCut = [](const CutDump& x, const CutDump& y) {
        return x.index == y.index && x.offset == y.offset && x.bytes == y.bytes &&
               x.reason == y.reason && x.endedBy == y.endedBy;
    };
    return a.kind == b.kind && a.size == b.size && std::ranges::equal(a.dumps, b.dumps, sameDump) &&
           std::ranges::equal(a.cutDumps, b.cutDumps, sameCut) && a.otherSysEx == b.otherSysEx &&
           a.otherMessages == b.otherMessages && a.strayBytes == b.strayBytes &&
           a.realtimeInSysEx == b.realtimeInSysEx && a.midiFileTracks == b.midiFileTracks &&
           a.midiFileEvents == b.midiFileEvents && a.stopReason == b.stopReason;
}

} // namespace a3::fuzz
