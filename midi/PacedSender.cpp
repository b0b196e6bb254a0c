#include "PacedSender.h"

#include "StopEither.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

namespace a3::midi {
namespace {

using std::chrono::milliseconds;

TransferResult ended(TransferResult::Status status, std::string message, std::size_t bytes)
{
    return {status, std::move(message), bytes, {}, {}};
}

std::string cancelMessage(std::size_t sent, std::size_t total)
{
    if (sent == 0) {
        return "Sending was cancelled before anything was sent.";
    }
    return "Sending was cancelled after " + std::to_string(sent) + " of " + std::to_string(total) +
           " bytes: the device got a partial dump.";
}

std::string portLostMessage(const std::string& port, std::size_t sent, std::size_t total)
{
    return "The port \"" + port + "\" went away after " + std::to_string(sent) + " of " +
           std::to_string(total) + " bytes.";
}

} // namespace

std::vector<std::span<const std::uint8_t>> sysExFragments(std::span<const std::uint8_t> message)
{
    std::vector<std::span<const std::uint8_t>> fragments;
    for (std::size_t offset = 0; offset < message.size(); offset += kMaxFragmentSize) {
        fragments.push_back(
            message.subspan(offset, std::min(kMaxFragmentSize, message.size() - offset)));
    }
    return fragments;
}

void SteadyPacingClock::sleepUntil(time_point when, std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    woken.wait_until(lock, stop, when, [] { return false; });
}

PacedSender::PacedSender(double bytesPerSecond, PacingClock& clock)
    : _bytesPerSecond(bytesPerSecond)
    , _clock(clock)
{
    if (!isSendingRate(bytesPerSecond)) {
        throw std::invalid_argument("The sending rate must be above 0 and at most " +
                                    std::to_string(static_cast<int>(kFastestRate)) +
                                    " bytes per second.");
    }
}

std::chrono::steady_clock::duration PacedSender::timeFor(std::size_t bytes) const
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bytes) / _bytesPerSecond));
}

TransferResult PacedSender::send(MidiOutput& output, std::span<const std::uint8_t> message,
                                 std::stop_token cancel, std::stop_token systemLost,
                                 const ProgressHandler& progress) const
{
    const StopEither stop(cancel, systemLost);
    const auto start = _clock.now();
    const auto end = start + timeFor(message.size());
    std::size_t sent = 0;
    const auto interrupted = [&]() -> std::optional<TransferResult> {
        if (systemLost.stop_requested()) {
            return ended(TransferResult::Status::Failed, std::string(kSystemLostMessage), sent);
        }
        if (cancel.stop_requested()) {
            return ended(TransferResult::Status::Cancelled, cancelMessage(sent, message.size()),
                         sent);
        }
        return std::nullopt;
    };
    const auto portLost = [&] {
        return ended(TransferResult::Status::Failed,
                     portLostMessage(output.port(), sent, message.size()), sent);
    };
    auto nextCheck = start + kPortCheckInterval;
    for (const auto fragment : sysExFragments(message)) {
        _clock.sleepUntil(start + timeFor(sent), stop.token());
        if (auto result = interrupted()) {
            return *result;
        }
        try {
            if (const auto now = _clock.now(); now >= nextCheck) {
                nextCheck = now + kPortCheckInterval;
                if (!output.connected()) {
                    return portLost();
                }
            }
            output.send(fragment);
        } catch (const MidiError& error) {
            return ended(TransferResult::Status::Failed, error.what(), sent);
        }
        sent += fragment.size();
        if (progress) {
            const auto now = _clock.now();
            progress({sent, std::chrono::duration_cast<milliseconds>(now - start),
                      std::chrono::duration_cast<milliseconds>(
                          std::max(end - now, PacingClock::time_point::duration::zero()))});
        }
    }
    // Everything has gone out; only the server stopping before it could pass
    // the last fragments on, or the port going before they reached it, spoils
    // the send now.
    _clock.sleepUntil(end, systemLost);
    if (systemLost.stop_requested()) {
        return ended(TransferResult::Status::Failed, std::string(kSystemLostMessage), sent);
    }
    try {
        if (!output.connected()) {
            return portLost();
        }
    } catch (const MidiError& error) {
        return ended(TransferResult::Status::Failed, error.what(), sent);
    }
    return ended(TransferResult::Status::Done, {}, sent);
}

TransferResult sendDump(MidiTransport& transport, const std::string& port,
                        std::span<const std::uint8_t> dump, std::stop_token cancel,
                        const ProgressHandler& progress, double bytesPerSecond)
{
    SteadyPacingClock clock;
    const PacedSender sender(bytesPerSecond, clock);
    try {
        const auto output = transport.openOutput(port);
        return sender.send(*output, dump, std::move(cancel), transport.systemLost(), progress);
    } catch (const MidiError& error) {
        return ended(TransferResult::Status::Failed, error.what(), 0);
    }
}

} // namespace a3::midi
