// Scanning a 1 MiB MIDI file for dumps, beside memchr looking for every F0
// in the same bytes as the baseline measured in the same run. The file holds
// one dump among SysEx messages of another maker, all in 64-byte packets
// (F0 len data, then F7 len data), as a sequencer records a long transfer.

#include "A3AllDataSource.h"
#include "DumpScanner.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kFileSize = std::size_t{1} << 20;
constexpr std::size_t kPacketSize = 64;

void appendQuantity(Bytes& out, std::uint32_t value)
{
    Bytes bytes{static_cast<std::uint8_t>(value & 0x7F)};
    while ((value >>= 7) != 0) {
        bytes.insert(bytes.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A message's events, 20 ticks apart.
void appendPackets(Bytes& track, const Bytes& message)
{
    for (std::size_t at = 0; at < message.size(); at += kPacketSize) {
        const std::size_t end = std::min(at + kPacketSize, message.size());
        appendQuantity(track, at == 0 ? 0 : 20);
        track.push_back(at == 0 ? 0xF0 : 0xF7);
        const std::size_t from = at == 0 ? 1 : at;
        appendQuantity(track, static_cast<std::uint32_t>(end - from));
        track.insert(track.end(), message.begin() + static_cast<std::ptrdiff_t>(from),
                     message.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

Bytes midiFileOfPackets()
{
    a3::A3AllDataSource bank = a3::A3AllDataSource::fallbackBank();
    const Bytes dump = bank.syxData();
    Bytes other{0xF0, 0x7E, 0x00, 0x02};
    for (std::size_t i = 0; other.size() < 32768 - 1; ++i) {
        other.push_back(static_cast<std::uint8_t>(i * 13 % 128));
    }
    other.push_back(0xF7);

    Bytes track;
    bool dumpWritten = false;
    while (track.size() + 22 + 4 + 3 * other.size() / 2 < kFileSize) {
        appendPackets(track, other);
        if (!dumpWritten && track.size() > kFileSize / 2) {
            appendPackets(track, dump);
            dumpWritten = true;
        }
    }
    // A meta text event fills the track to the size, then its end.
    const std::size_t room = kFileSize - 22 - 4 - track.size() - 3; // for its length and text
    const std::size_t lengthBytes = room - 2 < 16384 ? 2 : 3;
    track.insert(track.end(), {0x00, 0xFF, 0x01});
    appendQuantity(track, static_cast<std::uint32_t>(room - lengthBytes));
    track.resize(kFileSize - 22 - 4, ' ');
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});

    Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
    for (int shift = 24; shift >= 0; shift -= 8) {
        file.push_back(static_cast<std::uint8_t>(track.size() >> shift));
    }
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

const Bytes& sampleFile()
{
    static const Bytes file = [] {
        Bytes bytes = midiFileOfPackets();
        const a3::DumpScan scan = a3::scanForDumps(bytes);
        if (bytes.size() != kFileSize || scan.dumps.size() != 1 || !scan.stopReason.empty()) {
            std::fprintf(stderr, "the sample file is not what it should be: %zu bytes, %s\n",
                         bytes.size(), a3::describeScan(scan).c_str());
            std::abort();
        }
        return bytes;
    }();
    return file;
}

void BM_ScanMidiFileOfPackets(benchmark::State& state)
{
    const Bytes& file = sampleFile();
    for (auto _ : state) {
        a3::DumpScan scan = a3::scanForDumps(file);
        benchmark::DoNotOptimize(scan.dumps.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_ScanMidiFileOfPackets);

// Every F0 in the file, found as a stream scanner finds where messages start.
void BM_MemchrSameBytes(benchmark::State& state)
{
    const Bytes& file = sampleFile();
    for (auto _ : state) {
        std::size_t found = 0;
        const std::uint8_t* at = file.data();
        const std::uint8_t* end = file.data() + file.size();
        while (const void* f0 = std::memchr(at, 0xF0, static_cast<std::size_t>(end - at))) {
            ++found;
            at = static_cast<const std::uint8_t*>(f0) + 1;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_MemchrSameBytes);

} // namespace

BENCHMARK_MAIN();
