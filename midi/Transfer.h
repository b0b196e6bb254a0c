#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace a3::midi {

struct TransferProgress
{
    std::size_t bytes = 0; // sent so far, or received of the message that has begun
    std::chrono::milliseconds elapsed{0};
    std::chrono::milliseconds remaining{0}; // until the dump has left, or until the time-out
};

// Called on the thread that runs the transfer.
using ProgressHandler = std::function<void(const TransferProgress&)>;

struct TransferResult
{
    enum class Status
    {
        Done,
        Cancelled,
        TimedOut,
        Refused, // a message arrived that is not an All-Data dump
        Failed,
    };

    Status status = Status::Failed;
    std::string message;            // for the user; empty when done
    std::size_t bytes = 0;          // sent, or received in the message that ended the wait
    std::vector<std::uint8_t> dump; // the All-Data dump received, when done

    bool done() const { return status == Status::Done; }
};

} // namespace a3::midi
