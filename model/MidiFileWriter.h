#pragma once

#include "A3AllData.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace a3 {

// A dump as a Standard MIDI File, for sequencers and MIDI tools to send: format
// 0, one track, the dump as SysEx at time zero and the end of the track.

struct MidiFileOptions
{
    // Bytes of the dump in each SysEx event, the F0 of the first counted: the
    // first event F0 <length> <bytes>, then F7 <length> <bytes> events that
    // continue it. 0, or a dump's size or more: the dump in one event.
    std::size_t packetSize = 0;
    // Each event after the first starts when the one before has gone out at
    // this many bytes a second (MIDI's 3125 by default); rates below 10 are
    // taken as 10, which keeps each delta time within what a file can store.
    double bytesPerSecond = 3125;
};

// The smallest packet a3bank and the app offer: smaller packets would make a
// MIDI file mostly event headers, and no device's buffer is that small.
inline constexpr std::size_t kSmallestMidiFilePacket = 16;

// The dump is written as it is: one from A3AllDataSource::syxData(), which
// starts with F0 and ends with F7, makes a file that holds exactly that dump.
std::vector<std::uint8_t> midiFileOfDump(std::span<const std::uint8_t, kAllDataFileSize> dump,
                                         const MidiFileOptions& options = {});

// The time base of the packets: 25000 ticks to a quarter note at the file's
// tempo of 500000 microseconds a quarter note (MIDI's default, so a reader
// that ignores the tempo event times them the same) make a tick 20 us, a
// sixteenth of a byte's time at MIDI's speed; at 100, 50 and 25 % of it a
// byte takes a whole number of ticks, so the packets fall exactly where they
// belong, and at other rates they come at most one tick late, never early.
inline constexpr std::uint16_t kMidiFileDivision = 25000;
inline constexpr std::uint32_t kMidiFileTempo = 500000;

} // namespace a3
