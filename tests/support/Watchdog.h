#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace a3::test {

// Ends the test process when the checks in its scope outlive their time, so
// that a hang fails the run at once instead of blocking it.
class Watchdog
{
public:
    Watchdog(std::string what, std::chrono::seconds limit)
        : _thread([this, what = std::move(what), limit] {
            std::unique_lock lock(_mutex);
            if (!_finished.wait_for(lock, limit, [this] { return _done; })) {
                std::fprintf(stderr, "watchdog: %s did not finish within %lld s\n", what.c_str(),
                             static_cast<long long>(limit.count()));
                std::_Exit(EXIT_FAILURE);
            }
        })
    {}
    ~Watchdog()
    {
        {
            const std::lock_guard lock(_mutex);
            _done = true;
        }
        _finished.notify_one();
        _thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex _mutex;
    std::condition_variable _finished;
    bool _done = false;
    std::thread _thread; // last: it starts once the members it uses exist
};

} // namespace a3::test
