#pragma once

#include "CommandLine.h"

#include <vector>

namespace a3::cli {

// Every command of a3bank, in the order the help lists them. A command is
// one entry here and one function; the parser and the help do the rest.
std::vector<CommandDefinition> commandTable();

} // namespace a3::cli
