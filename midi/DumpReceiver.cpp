#include "DumpReceiver.h"

#include "A3AllDataSource.h"
#include "StopEither.h"
#include "SysExAssembler.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <utility>

namespace a3::midi {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr milliseconds kProgressInterval{100};

// Gathers what the MIDI system's thread delivers until the first complete
// System Exclusive message, which the waiting thread then takes.
class FirstSysEx
{
public:
    void add(std::span<const std::uint8_t> bytes)
    {
        const std::lock_guard lock(_mutex);
        if (_message) {
            return;
        }
        auto complete = _assembler.add(bytes);
        if (!complete.empty()) {
            _message = std::move(complete.front());
            _arrived.notify_all();
        }
    }

    std::optional<SysExMessage> waitUntil(steady_clock::time_point deadline, std::stop_token stop)
    {
        std::unique_lock lock(_mutex);
        _arrived.wait_until(lock, stop, deadline, [this] { return _message.has_value(); });
        return std::exchange(_message, std::nullopt);
    }

    std::size_t bytesInMessage() const
    {
        const std::lock_guard lock(_mutex);
        return _assembler.bytesInMessage();
    }

private:
    mutable std::mutex _mutex;
    std::condition_variable_any _arrived;
    SysExAssembler _assembler{kAllDataFileSize}; // a longer message is refused anyway
    std::optional<SysExMessage> _message;
};

TransferResult ended(TransferResult::Status status, std::string message, std::size_t bytes = 0)
{
    return {status, std::move(message), bytes, {}};
}

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return text;
}

TransferResult judged(SysExMessage message)
{
    if (message.length != kAllDataFileSize) {
        return ended(TransferResult::Status::Refused,
                     "Received " + std::to_string(message.length) +
                         " bytes; an All-Data dump has " + std::to_string(kAllDataFileSize) + ".",
                     message.length);
    }
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    if (!bank.setSyxData(message.bytes)) {
        return ended(TransferResult::Status::Refused,
                     "The message received is not an All-Data dump: it begins " +
                         hexBytes(std::span(message.bytes).first(kHeaderSize)) + ", not " +
                         hexBytes(kAllDataHeader) + ".",
                     message.length);
    }
    return {TransferResult::Status::Done, {}, message.length, std::move(message.bytes)};
}

std::string timeOutMessage(milliseconds timeout)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(timeout.count()) / 1000);
    return "No All-Data dump arrived within " + std::string(seconds) + " seconds.";
}

} // namespace

TransferResult receiveDump(MidiTransport& transport, const std::string& port, milliseconds timeout,
                           std::stop_token cancel, const ProgressHandler& progress)
{
    FirstSysEx arrivals; // before the input, whose handler feeds it until it closes
    std::unique_ptr<MidiInput> input;
    try {
        input = transport.openInput(
            port, [&arrivals](std::span<const std::uint8_t> bytes) { arrivals.add(bytes); });
    } catch (const MidiError& error) {
        return ended(TransferResult::Status::Failed, error.what());
    }
    const std::stop_token systemLost = transport.systemLost();
    const StopEither stop(cancel, systemLost);
    const auto start = steady_clock::now();
    const auto deadline = start + timeout;
    for (;;) {
        const auto tick = std::min(steady_clock::now() + kProgressInterval, deadline);
        if (auto message = arrivals.waitUntil(tick, stop.token())) {
            return judged(std::move(*message));
        }
        const auto now = steady_clock::now();
        if (systemLost.stop_requested()) {
            return ended(TransferResult::Status::Failed, std::string(kSystemLostMessage));
        }
        if (cancel.stop_requested()) {
            return ended(TransferResult::Status::Cancelled, "Receiving was cancelled.");
        }
        if (now >= deadline) {
            return ended(TransferResult::Status::TimedOut, timeOutMessage(timeout));
        }
        if (progress) {
            progress({arrivals.bytesInMessage(), duration_cast<milliseconds>(now - start),
                      duration_cast<milliseconds>(deadline - now)});
        }
    }
}

} // namespace a3::midi
