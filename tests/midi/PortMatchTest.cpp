// Which ports a name given by the user means: an exact name first, then a
// part of one name in any case.

#include "PortMatch.h"

#include <gtest/gtest.h>

namespace a3::midi {
namespace {

struct Case
{
    const char* title;
    std::string wanted;
    std::vector<std::string> meant;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.title;
}

class PortsMatching : public ::testing::TestWithParam<Case>
{};

TEST_P(PortsMatching, FindsThePortsMeant)
{
    const std::vector<MidiPort> ports{{"A3 in:MIDI", MidiSystem::Jack},
                                      {"A3 in:MIDI 2", MidiSystem::Jack},
                                      {"Synth:Port 1", MidiSystem::Jack},
                                      {"Caf\xC3\x89 out", MidiSystem::Jack}};
    std::vector<std::string> names;
    for (const MidiPort& port : portsMatching(ports, GetParam().wanted)) {
        names.push_back(port.name);
    }
    EXPECT_EQ(names, GetParam().meant);
}

INSTANTIATE_TEST_SUITE_P(
    PortMatch, PortsMatching,
    ::testing::Values(Case{"ExactNameOverOthersContainingIt", "A3 in:MIDI", {"A3 in:MIDI"}},
                      Case{"UniquePartInAnyCase", "sYNTH", {"Synth:Port 1"}},
                      Case{"OnlyAsciiLettersFoldCase", "caf\xC3\xA9", {}},
                      Case{"SeveralWithThePart", "a3 IN", {"A3 in:MIDI", "A3 in:MIDI 2"}},
                      Case{"None", "Piano", {}}),
    [](const auto& test) { return std::string(test.param.title); });

} // namespace
} // namespace a3::midi
