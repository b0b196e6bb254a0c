#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>

namespace a3::library {

// How far an update of the library has come, read from another thread; and
// its Cancel.
class UpdateProgress
{
public:
    struct Place
    {
        std::filesystem::path folder; // empty before the update has begun
        std::chrono::steady_clock::time_point since;
    };

    std::atomic<int> filesDone{0};
    std::atomic<int> filesFound{0}; // known once the walk is over
    std::atomic<bool> cancel{false};

    bool cancelled() const { return cancel.load(std::memory_order_relaxed); }

    // The update has moved on to a folder: to walk it, or to read a file in
    // it. A place it stays at for long is one slow to answer, such as a
    // network mount that stopped: the user is told which.
    void arrive(const std::filesystem::path& folder);
    Place place() const;

private:
    mutable std::mutex _mutex;
    Place _place;
};

} // namespace a3::library
