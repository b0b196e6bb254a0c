// Receiving through the fake transport: a dump among other traffic, what is
// refused and why, a dump cut short or without end, the time-out and the
// silence that end a wait, and what progress tells meanwhile.

#include "DumpReceiver.h"

#include "FakeMidiTransport.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <thread>

namespace a3::midi {
namespace {

using namespace std::chrono_literals;
using Status = TransferResult::Status;
using Bytes = std::vector<std::uint8_t>;

// A dump with one byte changed, cut or grown to a length, F7 last.
Bytes changed(std::size_t index, std::uint8_t value, std::size_t length = 29198)
{
    auto message = test::wellFormedAllDataFile();
    message[index] = value;
    message.resize(length);
    message.back() = 0xF7;
    return message;
}

// The device starts sending once the receiver listens, at its first progress
// report; each case ends the wait its own way, with the message the user sees.
TEST(DumpReceiver, TakesADumpRefusesAnythingElseAndEndsEachWayWithoutOne)
{
    const Bytes dump = test::wellFormedAllDataFile();
    test::FakeMidiTransport transport;
    const auto device = transport.openVirtualOutput("device");
    std::stop_source cancel;
    const auto send = [&](std::span<const std::uint8_t> bytes, std::size_t pieceSize) {
        for (std::size_t offset = 0; offset < bytes.size(); offset += pieceSize) {
            device->send(bytes.subspan(offset, std::min(pieceSize, bytes.size() - offset)));
        }
    };
    const auto refused = [&](const Bytes& message) { return [&, message] { send(message, 256); }; };
    const std::string notADump = "The message received is not an All-Data dump: ";
    const struct
    {
        std::function<void()> action;
        Status status;
        std::string message;
        std::size_t bytes;
    } cases[] = {
        {[&] { // in pieces among other messages
             send(Bytes{0x90, 0x3C, 0x40, 0xF8, 0x80, 0x3C, 0x00}, 3);
             for (std::size_t offset = 0; offset < dump.size(); offset += 100) {
                 send(std::span(dump).subspan(offset,
                                              std::min<std::size_t>(100, dump.size() - offset)),
                      100);
                 send(Bytes{0xF8}, 1);
             }
         },
         Status::Done, "", 29198},
        {[&] { // cut short, then whole: it starts over
             send(std::span(dump).first(12000), 256);
             send(dump, 256);
         },
         Status::Done, "", 29198},
        {refused(changed(29197, 0x00, 10244)), Status::Refused,
         notADump + "wrong length: 10244 bytes, expected 29198.", 10244},
        {refused(changed(29197, 0x00, 29199)), Status::Refused,
         notADump + "wrong length: 29199 bytes, expected 29198.", 29199},
        {[&] { // as soon as it is longer than a dump
             Bytes unended(kAllDataFileSize, 0x55);
             unended.front() = 0xF0;
             send(unended, kAllDataFileSize);
             send(Bytes(5000, 0x55), 1);
         },
         Status::Refused, "More than 29198 bytes arrived without the end of a dump.", 29199},
        {refused(changed(1, 0x43)), Status::Refused,
         notADump + "wrong header: byte 1 is 0x43, expected 0x42.", 29198},
        {refused(changed(4, 0x41)), Status::Refused,
         notADump + "wrong header: byte 4 is 0x41, expected 0x40.", 29198},
        {[] {}, Status::TimedOut, "No All-Data dump arrived within 0.3 seconds.", 0},
        {[&] { // ended by another status byte: no dump has begun after all
             send(std::span(dump).first(12000), 256);
             send(Bytes{0x90, 0x3C, 0x40}, 3);
         },
         Status::TimedOut, "No All-Data dump arrived within 0.3 seconds.", 0},
        {[&] { cancel.request_stop(); }, Status::Cancelled, "Receiving was cancelled.", 0},
        {[&] { transport.loseSystem(); }, Status::Failed, std::string(kSystemLostMessage), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        cancel = {};
        bool listening = false;
        const auto result =
            receiveDump(transport, "fake out:device", c.status == Status::TimedOut ? 300ms : 10s,
                        cancel.get_token(), [&](const TransferProgress&) {
                            if (!std::exchange(listening, true)) {
                                c.action();
                            }
                        });
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(result.bytes, c.bytes);
        EXPECT_EQ(result.dump, c.status == Status::Done ? dump : Bytes{});
        EXPECT_EQ(result.cutShort, Bytes{});
    }
    const auto result = receiveDump(transport, "fake out:nothing", 1s, {}, {});
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_EQ(result.message, "There is no MIDI port named \"fake out:nothing\".");
}

// The device sends from a thread of its own, 1000 bytes every 50 ms, once the
// receiver listens; the time-out is shorter than the dump takes.
class SlowDevice
{
public:
    explicit SlowDevice(Bytes bytes)
        : _bytes(std::move(bytes))
    {}

    TransferResult receive()
    {
        const auto result = receiveDump(_transport, "fake out:device", 300ms, {},
                                        [this](const TransferProgress& progress) {
                                            reports.push_back(progress);
                                            if (!_sending.joinable()) {
                                                _sending = std::jthread([this] { send(); });
                                            }
                                        });
        ended = std::chrono::steady_clock::now();
        _sending = {};
        return result;
    }

    std::vector<TransferProgress> reports;
    std::chrono::steady_clock::time_point lastSent;
    std::chrono::steady_clock::time_point ended;

private:
    void send()
    {
        for (std::size_t offset = 0; offset < _bytes.size(); offset += 1000) {
            _device->send(std::span(_bytes).subspan(
                offset, std::min<std::size_t>(1000, _bytes.size() - offset)));
            lastSent = std::chrono::steady_clock::now();
            std::this_thread::sleep_for(50ms);
        }
    }

    Bytes _bytes;
    test::FakeMidiTransport _transport;
    std::unique_ptr<MidiOutput> _device = _transport.openVirtualOutput("device");
    std::jthread _sending;
};

// Once a dump has begun the time-out no longer counts: a dump slower than it
// arrives whole. One that stops ends kDumpSilenceLimit after its last byte.
// While it arrives, progress tells its bytes and its time left at wire speed.
TEST(DumpReceiver, TheTimeOutCountsUntilADumpBeginsThenSilenceAfterItsLastByteEndsIt)
{
    const Bytes dump = test::wellFormedAllDataFile();
    SlowDevice whole(dump);
    const auto received = whole.receive();
    EXPECT_EQ(received.status, Status::Done) << received.message;
    EXPECT_EQ(received.dump, dump);
    ASSERT_FALSE(whole.reports.empty());
    EXPECT_EQ(whole.reports.front().bytes, 0u);
    EXPECT_GT(whole.reports.front().remaining, 200ms); // until the time-out
    EXPECT_LE(whole.reports.front().remaining, 300ms);
    for (const TransferProgress& progress : whole.reports) {
        if (progress.bytes > 0) {
            SCOPED_TRACE(progress.bytes);
            EXPECT_EQ(progress.remaining.count(),
                      static_cast<long>(static_cast<double>(29198 - progress.bytes) / 3.125));
        }
    }
    EXPECT_GT(whole.reports.back().bytes, 20000u);

    SlowDevice halfway(Bytes(dump.begin(), dump.begin() + 12000));
    const auto stopped = halfway.receive();
    EXPECT_EQ(stopped.status, Status::TimedOut);
    EXPECT_EQ(stopped.message, "The dump stopped after 12000 of 29198 bytes.");
    EXPECT_EQ(stopped.bytes, 12000u);
    EXPECT_EQ(stopped.dump, Bytes{});
    EXPECT_EQ(stopped.cutShort, Bytes(dump.begin(), dump.begin() + 12000)); // to recover from
    EXPECT_GE(halfway.ended - halfway.lastSent, kDumpSilenceLimit);
    EXPECT_LT(halfway.ended - halfway.lastSent, kDumpSilenceLimit + 900ms);
    EXPECT_EQ(halfway.reports.back().bytes, 12000u);
    EXPECT_EQ(halfway.reports.back().remaining, 5503ms);
}

} // namespace
} // namespace a3::midi
