#pragma once

#include "MidiTransport.h"
#include "Transfer.h"

#include <chrono>
#include <cstddef>
#include <span>
#include <stop_token>
#include <vector>

namespace a3::midi {

// RtMidi's JACK output spins while its 16 KB ring buffer is full, and for ever
// once the server is gone; at this rate a buffer period of JACK passes a few
// kilobytes.
inline constexpr double kFastestRate = 100 * kWireSpeed;
inline constexpr std::size_t kMaxFragmentSize = 256;
// How often a send asks whether its port is still there: a port that goes
// takes nothing with it that a send would notice.
inline constexpr std::chrono::seconds kPortCheckInterval{1};

// Whether a dump can be sent at this rate: above 0 and at most kFastestRate.
constexpr bool isSendingRate(double bytesPerSecond)
{
    return bytesPerSecond > 0 && bytesPerSecond <= kFastestRate;
}

// The fragments a System Exclusive message goes out in, in order: all of
// kMaxFragmentSize bytes but the last, so the first begins with F0 and only
// the last ends with F7. RtMidi's JACK output drops any message over 16379
// bytes without a word; its ALSA output sizes alsa-lib's encoder to the first
// fragment, which then passes each fragment on as one event.
std::vector<std::span<const std::uint8_t>> sysExFragments(std::span<const std::uint8_t> message);

class PacingClock
{
public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual ~PacingClock() = default;
    virtual time_point now() const = 0;
    // Returns at `when`, or as soon as stop is requested.
    virtual void sleepUntil(time_point when, std::stop_token stop) = 0;
};

class SteadyPacingClock final : public PacingClock
{
public:
    time_point now() const override { return std::chrono::steady_clock::now(); }
    void sleepUntil(time_point when, std::stop_token stop) override;
};

// Sends a message in its fragments at a given rate, on an absolute schedule
// so that it does not drift: fragment k leaves at start + bytesBefore / rate,
// and the send ends when the whole message has left, at total / rate.
class PacedSender
{
public:
    // Throws std::invalid_argument for a rate that is not isSendingRate().
    PacedSender(double bytesPerSecond, PacingClock& clock);

    // Blocks until the message has left, cancel or systemLost is requested
    // (both stop the send after the fragment going out), or the output fails.
    // Whether the output is still connected is asked every kPortCheckInterval
    // and once everything has left; a send to a port gone fails there.
    // Progress is reported after each fragment, on the calling thread.
    TransferResult send(MidiOutput& output, std::span<const std::uint8_t> message,
                        std::stop_token cancel, std::stop_token systemLost,
                        const ProgressHandler& progress) const;

private:
    std::chrono::steady_clock::duration timeFor(std::size_t bytes) const;

    double _bytesPerSecond;
    PacingClock& _clock;
};

// Sends an All-Data dump, as A3AllDataSource::syxData() makes it, to the named
// port at the given rate (the wire speed unless a device takes it faster).
// Blocks until done, as PacedSender::send; opening the port may fail too.
TransferResult sendDump(MidiTransport& transport, const std::string& port,
                        std::span<const std::uint8_t> dump, std::stop_token cancel,
                        const ProgressHandler& progress, double bytesPerSecond = kWireSpeed);

} // namespace a3::midi
