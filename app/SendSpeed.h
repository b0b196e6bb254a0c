#pragma once

#include <array>

namespace a3 {

// How fast a bank goes to the device, as a share of MIDI's wire speed: an
// interface with a small buffer may drop data at full speed, and a slower
// send gives it time to pass each byte on.
enum class SendSpeed
{
    Full,
    Half,
    Quarter,
};

// In the order the user is offered them.
inline constexpr std::array kSendSpeeds{SendSpeed::Full, SendSpeed::Half, SendSpeed::Quarter};

// The share of the wire speed, in percent.
constexpr int percentOf(SendSpeed speed)
{
    switch (speed) {
    case SendSpeed::Half:
        return 50;
    case SendSpeed::Quarter:
        return 25;
    case SendSpeed::Full:
        break;
    }
    return 100;
}

} // namespace a3
