// No machine here has an ALSA sequencer (no /dev/snd), so this drives
// alsa-lib's MIDI event encoder over the dump's fragments the way RtMidi 5.0's
// MidiOutAlsa::sendMessage does: an encoder made with a 32-byte buffer and
// resized to any longer message, then snd_midi_event_encode in a loop that
// gives up with an "incomplete message" warning whenever a call yields no
// event. Every part of every fragment must leave as an event, and the events
// must carry the dump byte for byte.

#include "PacedSender.h"
#include "TempDir.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

namespace a3::midi {
namespace {

TEST(AlsaEncoding, EveryFragmentLeavesAsWholeSysExEvents)
{
    const auto dump = test::wellFormedAllDataFile();
    snd_midi_event_t* encoder = nullptr;
    std::size_t bufferSize = 32;
    ASSERT_EQ(snd_midi_event_new(bufferSize, &encoder), 0);
    std::vector<std::uint8_t> carried;
    for (const auto fragment : sysExFragments(dump)) {
        if (fragment.size() > bufferSize) {
            bufferSize = fragment.size();
            ASSERT_EQ(snd_midi_event_resize_buffer(encoder, bufferSize), 0);
        }
        for (std::size_t offset = 0; offset < fragment.size();) {
            snd_seq_event_t event{};
            const long used =
                snd_midi_event_encode(encoder, fragment.data() + offset,
                                      static_cast<long>(fragment.size() - offset), &event);
            ASSERT_GT(used, 0);
            ASSERT_EQ(event.type, SND_SEQ_EVENT_SYSEX) << "RtMidi would drop the rest";
            const auto* bytes = static_cast<const std::uint8_t*>(event.data.ext.ptr);
            carried.insert(carried.end(), bytes, bytes + event.data.ext.len);
            offset += static_cast<std::size_t>(used);
        }
    }
    snd_midi_event_free(encoder);
    EXPECT_EQ(carried, dump);
}

} // namespace
} // namespace a3::midi
