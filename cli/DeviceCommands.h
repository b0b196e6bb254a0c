#pragma once

#include "CommandLine.h"

#include <chrono>

namespace a3::cli {

// How long `receive` waits for a dump without --timeout.
inline constexpr std::chrono::seconds kReceiveTimeout{60};

// The commands that talk to the device over MIDI. Messages of the MIDI layer
// are complete sentences for the user ("No MIDI system found: ...") and reach
// standard error as they are; a failed transfer exits with kRefused.
int portsCommand(const Arguments& arguments);
int sendCommand(const Arguments& arguments);
int receiveCommand(const Arguments& arguments);

} // namespace a3::cli
