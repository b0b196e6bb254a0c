#include "ProgressLine.h"

#include <iostream>
#include <unistd.h>

namespace a3::cli {

ProgressLine::ProgressLine()
    : _toTerminal(::isatty(STDERR_FILENO) == 1)
{}

ProgressLine::~ProgressLine()
{
    if (_shown) {
        std::cerr << '\n' << std::flush;
    }
}

void ProgressLine::show(const std::string& text)
{
    if (_toTerminal) {
        // Back to the start of the line, the text, and the rest of the
        // line cleared of a longer text before it.
        std::cerr << '\r' << text << "\033[K" << std::flush;
        _shown = true;
    }
}

} // namespace a3::cli
