// Which ports a name given by the user means: an exact name first, then a
// part of names in any case.

#include "PortMatch.h"

#include <gtest/gtest.h>

namespace a3::midi {
namespace {

TEST(PortsMatching, AnExactNameFirstThenAPartOfNamesInAnyCase)
{
    const std::vector<MidiPort> ports{{"A3 in:MIDI", MidiSystem::Jack},
                                      {"A3 in:MIDI 2", MidiSystem::Jack},
                                      {"Synth:Port 1", MidiSystem::AlsaSequencer}};
    const auto meant = [&](std::string_view wanted) {
        std::vector<std::string> names;
        for (const MidiPort& port : portsMatching(ports, wanted)) {
            names.push_back(port.name);
        }
        return names;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(meant("A3 in:MIDI"), Names{"A3 in:MIDI"});
    EXPECT_EQ(meant("sYNTH"), Names{"Synth:Port 1"});
    EXPECT_EQ(meant("a3 IN"), (Names{"A3 in:MIDI", "A3 in:MIDI 2"}));
    EXPECT_EQ(meant("Piano"), Names{});
}

} // namespace
} // namespace a3::midi
