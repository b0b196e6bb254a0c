#pragma once

#include <atomic>
#include <csignal>
#include <stop_token>
#include <thread>

namespace a3::cli {

// Turns Ctrl+C (SIGINT) into a stop request while it lives. The signal is
// blocked in the thread that makes it, and so in every thread started from
// there afterwards (the MIDI system's too), and taken by a thread of its own:
// the stop request and whatever it wakes run outside a signal handler, where
// locks are allowed. A second Ctrl+C ends the program as SIGINT does, after
// removing the temporary files being written: the first may wait on a call
// that never returns (a JACK server that hangs). Make it before any other
// thread starts.
class InterruptStop
{
public:
    InterruptStop();
    ~InterruptStop();
    InterruptStop(const InterruptStop&) = delete;
    InterruptStop& operator=(const InterruptStop&) = delete;

    std::stop_token token() const { return _source.get_token(); }

private:
    void watch();

    sigset_t _interrupt{};
    sigset_t _previousMask{};
    std::stop_source _source;
    std::atomic<bool> _ending = false;
    std::thread _watcher; // started once SIGINT is blocked, so it inherits the block
};

} // namespace a3::cli
