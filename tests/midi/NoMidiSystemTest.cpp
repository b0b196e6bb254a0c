// With no ALSA sequencer (a configuration that defines none) and no JACK
// server (a name no server has), every way into MIDI says so plainly, and
// nothing reaches the terminal.

#include "RtMidiTransport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace a3::midi {
namespace {

std::string refusal(std::optional<MidiSystem> only)
{
    try {
        openMidiSystem("a3-test", only);
    } catch (const MidiError& error) {
        return error.what();
    }
    return "opened";
}

TEST(NoMidiSystem, SaysSoPlainlyAndPrintsNothing)
{
    ::setenv("ALSA_CONFIG_PATH", A3_NO_SEQUENCER_CONF, 1);
    ::setenv("JACK_DEFAULT_SERVER", A3_NO_JACK_SERVER, 1);
    // Nothing of MIDI runs before it is asked for: no thread at start-up.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                            std::filesystem::directory_iterator()),
              1);

    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const std::string either = refusal(std::nullopt);
    const std::string jack = refusal(MidiSystem::Jack);
    const std::string alsa = refusal(MidiSystem::AlsaSequencer);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    EXPECT_EQ(either, kNoMidiSystemMessage);
    EXPECT_EQ(jack, "No JACK server is running.");
    EXPECT_EQ(alsa, "The ALSA sequencer is not available.");
}

} // namespace
} // namespace a3::midi
