#pragma once

#include <string>
#include <vector>

namespace a3::cli {

using Arguments = std::vector<std::string>;

// Each command takes the arguments after its name and returns the exit status:
// 0 success, 1 a file was refused or could not be written, 2 a usage error.
int listCommand(const Arguments& arguments);
int checkCommand(const Arguments& arguments);
int newCommand(const Arguments& arguments);
int renameCommand(const Arguments& arguments);
int copyCommand(const Arguments& arguments);
// Renders without a display: it creates its own offscreen GUI application.
int pdfCommand(const Arguments& arguments);

// Reports a usage error on standard error and returns its exit status.
int usageError(const std::string& message);

} // namespace a3::cli
