#pragma once

#include <string>

namespace a3::cli {

// One line of progress on standard error, rewritten in place, for a person
// watching: shown only when standard error is a terminal, so that scripts
// and logs get the results and messages alone.
class ProgressLine
{
public:
    ProgressLine();
    // Ends the line, when one was shown, so that what follows starts a line
    // of its own.
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const std::string& text);

private:
    bool _toTerminal;
    bool _shown = false;
};

} // namespace a3::cli
