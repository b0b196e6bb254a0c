#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace a3::midi {

// MIDI's wire speed: 31250 baud at ten bits a byte.
inline constexpr double kWireSpeed = 3125.0;

struct TransferProgress
{
    std::size_t bytes = 0; // sent so far, or received of the message that has begun
    std::chrono::milliseconds elapsed{0};
    // Until the dump has left; while waiting for one, until the time-out;
    // while one arrives, until its end at wire speed, the device's pace.
    std::chrono::milliseconds remaining{0};
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
    // The bytes of a dump that stopped short, from its F0, for its patches
    // to be recovered; empty for any other end.
    std::vector<std::uint8_t> cutShort;

    bool done() const { return status == Status::Done; }
};

} // namespace a3::midi
