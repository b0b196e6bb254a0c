#include "DumpReceiver.h"

#include "AllDataFile.h"
#include "StopEither.h"
#include "SysExAssembler.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

namespace a3::midi {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr milliseconds kProgressInterval{100};

TransferResult ended(TransferResult::Status status, std::string message, std::size_t bytes = 0)
{
    return {status, std::move(message), bytes, {}, {}};
}

// The message is judged by the bank's own rules, in their words.
TransferResult judged(SysExMessage message)
{
    // The bytes kept stop at a dump's size; the length counts them all.
    Outcome checked = checkAllDataLength(message.length);
    if (checked.ok()) {
        checked = checkAllDataFile(message.bytes);
    }
    if (!checked.ok()) {
        return ended(TransferResult::Status::Refused,
                     "The message received is not an All-Data dump: " + checked.failure().reason +
                         ".",
                     message.length);
    }
    return {TransferResult::Status::Done, {}, message.length, std::move(message.bytes), {}};
}

TransferResult tooLong(std::size_t bytes)
{
    return ended(TransferResult::Status::Refused,
                 "More than " + std::to_string(kAllDataFileSize) +
                     " bytes arrived without the end of a dump.",
                 bytes);
}

TransferResult stopped(std::span<const std::uint8_t> arrived)
{
    TransferResult result = ended(TransferResult::Status::TimedOut,
                                  "The dump stopped after " + std::to_string(arrived.size()) +
                                      " of " + std::to_string(kAllDataFileSize) + " bytes.",
                                  arrived.size());
    result.cutShort.assign(arrived.begin(), arrived.end());
    return result;
}

TransferResult timedOut(milliseconds timeout)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(timeout.count()) / 1000);
    return ended(TransferResult::Status::TimedOut,
                 "No All-Data dump arrived within " + std::string(seconds) + " seconds.");
}

// One receive's wait: the MIDI system's thread adds what arrives, until a
// System Exclusive message is complete or longer than a dump; the waiting
// thread learns whether and how the wait has ended. The time-out counts from
// its making, until a message begins; then the silence after its last byte.
class DumpWait
{
public:
    explicit DumpWait(milliseconds timeout)
        : _timeout(timeout)
    {}

    void add(std::span<const std::uint8_t> bytes)
    {
        const std::lock_guard lock(_mutex);
        if (_arrived != Arrived::Nothing) {
            return; // nothing more is taken in
        }
        const std::size_t before = _assembler.bytesInMessage();
        auto complete = _assembler.add(bytes);
        if (!complete.empty()) {
            _message = std::move(complete.front());
            _arrived = Arrived::Message;
        } else if (_assembler.bytesInMessage() > kAllDataFileSize) {
            _arrived = Arrived::TooLong;
        } else if (_assembler.bytesInMessage() != before) {
            _lastByte = steady_clock::now();
        }
        if (_arrived != Arrived::Nothing) {
            _ending.notify_all();
        }
    }

    // Waits until tick at most, or until stop; then the end of the wait if
    // it has come.
    std::optional<TransferResult> waitUntil(steady_clock::time_point tick, std::stop_token stop)
    {
        std::unique_lock lock(_mutex);
        _ending.wait_until(lock, stop, std::min(tick, deadline()),
                           [this] { return _arrived != Arrived::Nothing; });
        if (_arrived == Arrived::Message) {
            SysExMessage message = std::move(_message);
            lock.unlock();
            return judged(std::move(message));
        }
        const std::size_t bytes = _assembler.bytesInMessage();
        if (_arrived == Arrived::TooLong) {
            return tooLong(bytes);
        }
        if (steady_clock::now() < deadline()) {
            return std::nullopt;
        }
        return bytes > 0 ? stopped(_assembler.messageSoFar()) : timedOut(_timeout);
    }

    TransferProgress progress() const
    {
        const std::lock_guard lock(_mutex);
        const auto now = steady_clock::now();
        const std::size_t bytes = _assembler.bytesInMessage();
        const auto remaining =
            bytes > 0 ? std::chrono::duration<double>(
                            static_cast<double>(kAllDataFileSize - bytes) / kWireSpeed)
                      : std::chrono::duration<double>(
                            std::max(deadline() - now, steady_clock::duration::zero()));
        return {bytes, duration_cast<milliseconds>(now - _start),
                duration_cast<milliseconds>(remaining)};
    }

private:
    // Called with the mutex held.
    steady_clock::time_point deadline() const
    {
        return _assembler.bytesInMessage() > 0 ? _lastByte + kDumpSilenceLimit : _start + _timeout;
    }

    // What has arrived that ends the wait.
    enum class Arrived
    {
        Nothing,
        Message, // complete, in _message
        TooLong, // a message longer than any dump, its end still to come
    };

    const steady_clock::time_point _start = steady_clock::now();
    const milliseconds _timeout;
    mutable std::mutex _mutex;
    std::condition_variable_any _ending;
    SysExAssembler _assembler{kAllDataFileSize}; // a longer message is refused anyway
    steady_clock::time_point _lastByte;          // of the message that has begun
    Arrived _arrived = Arrived::Nothing;
    SysExMessage _message;
};

} // namespace

TransferResult receiveDump(MidiTransport& transport, const std::string& port, milliseconds timeout,
                           std::stop_token cancel, const ProgressHandler& progress)
{
    DumpWait wait(timeout); // before the input, whose handler feeds it until it closes
    std::unique_ptr<MidiInput> input;
    try {
        input = transport.openInput(
            port, [&wait](std::span<const std::uint8_t> bytes) { wait.add(bytes); });
    } catch (const MidiError& error) {
        return ended(TransferResult::Status::Failed, error.what());
    }
    const std::stop_token systemLost = transport.systemLost();
    const StopEither stop(cancel, systemLost);
    for (auto tick = steady_clock::now();; tick = steady_clock::now() + kProgressInterval) {
        if (auto result = wait.waitUntil(tick, stop.token())) {
            return std::move(*result);
        }
        if (systemLost.stop_requested()) {
            return ended(TransferResult::Status::Failed, std::string(kSystemLostMessage));
        }
        if (cancel.stop_requested()) {
            return ended(TransferResult::Status::Cancelled, "Receiving was cancelled.");
        }
        if (progress) {
            progress(wait.progress());
        }
    }
}

} // namespace a3::midi
