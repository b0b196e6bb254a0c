#include "Commands.h"

#include <iostream>
#include <string_view>

#ifndef A3_VERSION
#define A3_VERSION "unknown"
#endif

namespace {

constexpr std::string_view kHelp = R"(Usage: a3bank COMMAND [ARGUMENTS]

Reads and writes All-Data files (a bank of 100 patches and its chain data).

Commands:
  list FILE...                   print each bank's patches as text
  check FILE...                  tell whether each file is an All-Data file
  new OUTFILE [--force]          write a new bank made from the factory bank
  rename FILE NUMBER NAME [-o OUTFILE]
                                 rename patch NUMBER (1 to 100)
  copy SRC NUMBERS DST NUMBER [-o OUTFILE]
                                 copy patches NUMBERS of SRC (such as 3,7-9) onto
                                 DST from patch NUMBER down
  pdf FILE -o OUT.pdf [--paper A4|Letter]
                                 write the bank's one-page printed listing
                                 (default paper: the default printer's, else
                                 the locale's)

Every bank file written has both checksums recomputed, and every file
written replaces its target only when complete.

Options:
  --help                         show this help
  --version                      show the version

Exit status: 0 success, 1 a file was refused or not written, 2 a usage error.
)";

} // namespace

int main(int argc, char** argv)
{
    const a3::cli::Arguments arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.empty()) {
        return a3::cli::usageError("no command given");
    }
    const std::string& command = arguments.front();
    const a3::cli::Arguments rest(arguments.begin() + 1, arguments.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kHelp;
        return 0;
    }
    if (command == "--version") {
        std::cout << "a3bank " << A3_VERSION << '\n';
        return 0;
    }
    if (command == "list") {
        return a3::cli::listCommand(rest);
    }
    if (command == "check") {
        return a3::cli::checkCommand(rest);
    }
    if (command == "new") {
        return a3::cli::newCommand(rest);
    }
    if (command == "rename") {
        return a3::cli::renameCommand(rest);
    }
    if (command == "copy") {
        return a3::cli::copyCommand(rest);
    }
    if (command == "pdf") {
        return a3::cli::pdfCommand(rest);
    }
    return a3::cli::usageError("unknown command '" + command + "'");
}
