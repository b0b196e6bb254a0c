#include "PortMatch.h"

#include <algorithm>
#include <iterator>

namespace a3::midi {
namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool containsIgnoringCase(std::string_view text, std::string_view part)
{
    // search() finds an empty part as an empty range too.
    return part.empty() || !std::ranges::search(text, part, {}, lowerAscii, lowerAscii).empty();
}

} // namespace

std::vector<MidiPort> portsMatching(std::span<const MidiPort> ports, std::string_view wanted)
{
    std::vector<MidiPort> matches;
    std::ranges::copy_if(ports, std::back_inserter(matches),
                         [&](const MidiPort& port) { return port.name == wanted; });
    if (matches.empty()) {
        std::ranges::copy_if(ports, std::back_inserter(matches), [&](const MidiPort& port) {
            return containsIgnoringCase(port.name, wanted);
        });
    }
    return matches;
}

} // namespace a3::midi
