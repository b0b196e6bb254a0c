#pragma once

#include "CommandLine.h"

#include <chrono>

namespace a3::cli {

// How long `receive` waits for a dump without --timeout.
inline constexpr std::chrono::seconds kReceiveTimeout{60};

// The work of `a3bank ports`, `send` and `receive`, on arguments their
// command table has checked. Messages of the MIDI layer are sentences for the
// user ("No MIDI system found: ...") and reach standard error as they are;
// a transfer that fails exits with kRefused.
int listPorts(const Arguments& arguments);
int sendBank(const Arguments& arguments);
int receiveBank(const Arguments& arguments);

} // namespace a3::cli
