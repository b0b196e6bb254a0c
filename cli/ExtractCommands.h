#pragma once

#include "CommandLine.h"

namespace a3::cli {

// The commands for dumps held in other files: each written as a .syx of its
// own, the patches rescued from a dump cut short, a bank written as a MIDI
// file.
int extractCommand(const Arguments& arguments);
int recoverCommand(const Arguments& arguments);
int exportCommand(const Arguments& arguments);

} // namespace a3::cli
