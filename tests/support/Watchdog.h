#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace a3::test {

// Ends the test process when the checks in its scope outlive their time, so
// that a hang fails the run at once instead of blocking it.
class Watchdog
{
public:
    // The thread's destructor asks it to stop, which wakes it before its time.
    Watchdog(std::string what, std::chrono::seconds limit)
        : _thread([what = std::move(what), limit](std::stop_token stop) {
            std::mutex mutex;
            std::unique_lock lock(mutex);
            std::condition_variable_any woken;
            if (!woken.wait_for(lock, stop, limit, [&] { return stop.stop_requested(); })) {
                std::fprintf(stderr, "watchdog: %s did not finish within %lld s\n", what.c_str(),
                             static_cast<long long>(limit.count()));
                std::_Exit(EXIT_FAILURE);
            }
        })
    {}

private:
    std::jthread _thread;
};

} // namespace a3::test
