#pragma once

#include <csignal>

namespace a3 {

// SIGINT (Ctrl+C), SIGTERM and SIGHUP (the terminal closed, the session
// ended), which end a program. Ended in the middle of a write, a program
// would leave its temporary file beside the target.
inline constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Makes the ending signals remove the temporary files being written, then end
// the program by their default action, so that its exit status still tells
// which signal ended it. A signal ignored from the start (nohup, a background
// job of a script) stays ignored.
void removeTemporaryFilesOnEndingSignals();

// Removes the temporary files being written, then ends the program by signal
// as its default action does, whether this thread blocks it or not.
// Async-signal-safe: for a handler, or for a thread that takes the signal
// with sigwait().
void endBySignal(int signal) noexcept;

// Holds the ending signals off in this thread while it lives; one that comes
// meanwhile takes effect when it goes.
class EndingSignalsHeld
{
public:
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
    sigset_t _previous{};
};

} // namespace a3
