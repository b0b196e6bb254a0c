#pragma once

#include "MidiTransport.h"

#include <span>
#include <string_view>
#include <vector>

namespace a3::midi {

// The ports a name given by the user may mean: the port of exactly that name
// when there is one, else every port whose name contains it, letters A to Z
// in any case. One port is the one meant; none or several leave the choice
// to the user.
std::vector<MidiPort> portsMatching(std::span<const MidiPort> ports, std::string_view wanted);

} // namespace a3::midi
