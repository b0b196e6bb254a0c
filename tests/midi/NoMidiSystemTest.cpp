// With no ALSA sequencer (a configuration that defines none) and no JACK
// server (a name no server has), every way into MIDI says so plainly, and
// nothing reaches the terminal.

#include "RtMidiTransport.h"
#include "TempDir.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

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

    const test::TempDir dir;
    const int printed = ::open((dir / "printed").c_str(), O_WRONLY | O_CREAT, 0600);
    std::fflush(nullptr);
    const int out = ::dup(STDOUT_FILENO);
    const int err = ::dup(STDERR_FILENO);
    ::dup2(printed, STDOUT_FILENO);
    ::dup2(printed, STDERR_FILENO);
    const std::string either = refusal(std::nullopt);
    const std::string jack = refusal(MidiSystem::Jack);
    const std::string alsa = refusal(MidiSystem::AlsaSequencer);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    for (const int fd : {printed, out, err}) {
        ::close(fd);
    }

    EXPECT_EQ(either, kNoMidiSystemMessage);
    EXPECT_EQ(jack, "No JACK server is running.");
    EXPECT_EQ(alsa, "The ALSA sequencer is not available.");
    EXPECT_EQ(test::readBytes(dir / "printed"), std::vector<std::uint8_t>{});
}

} // namespace
} // namespace a3::midi
