#pragma once

#include <string>
#include <vector>

namespace a3::bench {

// Runs the program (a path, or a name looked up on PATH) with its output
// discarded; false when it did not exit 0.
bool runToEnd(std::vector<std::string> arguments);

} // namespace a3::bench
