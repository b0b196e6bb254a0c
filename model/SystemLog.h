#pragma once

#include <string_view>

namespace a3 {

// Where the model's few log lines go. Standard error unless the application
// installs a handler (as it does to route them into its own logging).
using LogHandler = void (*)(std::string_view message);

// Installs a handler (nullptr restores standard error); returns the previous one.
LogHandler installLogHandler(LogHandler handler);
void systemLog(std::string_view message);

} // namespace a3
