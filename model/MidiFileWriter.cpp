#include "MidiFileWriter.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace a3 {
namespace {

constexpr double kTicksPerSecond = kMidiFileDivision * 1e6 / kMidiFileTempo;
constexpr double kSlowestRate = 10;

void appendBytes(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes)
{
    // One at a time: GCC 12 takes inserting a list into reserved space for an
    // overflow.
    for (const std::uint8_t byte : bytes) {
        out.push_back(byte);
    }
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// A variable-length quantity: seven bits a byte, most significant first.
void appendQuantity(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t bytes[5];
    int count = 0;
    do {
        bytes[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) {
        out.push_back(static_cast<std::uint8_t>(bytes[--count] | 0x80));
    }
    out.push_back(bytes[0]);
}

void appendEvent(std::vector<std::uint8_t>& out, std::uint32_t delta, std::uint8_t status,
                 std::span<const std::uint8_t> data)
{
    appendQuantity(out, delta);
    out.push_back(status);
    appendQuantity(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

} // namespace

std::vector<std::uint8_t> midiFileOfDump(std::span<const std::uint8_t, kAllDataFileSize> dump,
                                         const MidiFileOptions& options)
{
    const bool packets = options.packetSize > 0 && options.packetSize < kAllDataFileSize;
    std::vector<std::uint8_t> track;
    track.reserve(kAllDataFileSize + 64 + (packets ? 8 * (dump.size() / options.packetSize) : 0));
    if (!packets) {
        appendEvent(track, 0, 0xF0, dump.subspan(1));
    } else {
        // The tempo the ticks are counted in: see kMidiFileDivision.
        const std::uint8_t tempo[] = {static_cast<std::uint8_t>(kMidiFileTempo >> 16),
                                      static_cast<std::uint8_t>(kMidiFileTempo >> 8),
                                      static_cast<std::uint8_t>(kMidiFileTempo)};
        appendBytes(track, {0x00, 0xFF, 0x51});
        appendQuantity(track, sizeof tempo);
        appendBytes(track, {tempo[0], tempo[1], tempo[2]});

        const double rate = std::isnan(options.bytesPerSecond)
                                ? kSlowestRate
                                : std::max(options.bytesPerSecond, kSlowestRate);
        std::uint32_t tick = 0;
        for (std::size_t at = 0; at < dump.size(); at += options.packetSize) {
            // Rounded up from where the bytes before have all gone out, and
            // from the start rather than the last packet, so no error adds up.
            const auto start = static_cast<std::uint32_t>(
                std::ceil(static_cast<double>(at) * kTicksPerSecond / rate));
            const auto packet = dump.subspan(at, std::min(options.packetSize, dump.size() - at));
            if (at == 0) {
                appendEvent(track, 0, 0xF0, packet.subspan(1));
            } else {
                appendEvent(track, start - tick, 0xF7, packet);
            }
            tick = start;
        }
    }
    appendBytes(track, {0x00, 0xFF, 0x2F, 0x00});

    std::vector<std::uint8_t> file;
    file.reserve(22 + track.size());
    appendBytes(file, {'M', 'T', 'h', 'd'});
    appendBigEndian(file, 6, 4);
    appendBigEndian(file, 0, 2); // format 0
    appendBigEndian(file, 1, 2); // one track
    appendBigEndian(file, kMidiFileDivision, 2);
    appendBytes(file, {'M', 'T', 'r', 'k'});
    appendBigEndian(file, static_cast<std::uint32_t>(track.size()), 4);
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

} // namespace a3
