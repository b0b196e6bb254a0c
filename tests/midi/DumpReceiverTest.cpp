// Receiving through the fake transport: a dump among other traffic, what is
// refused and why, a dump cut short, and the ways a wait ends without one.

#include "DumpReceiver.h"

#include "FakeMidiTransport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

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
    const std::string notADump = "The message received is not an All-Data dump: it begins ";
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
         "Received 10244 bytes; an All-Data dump has 29198.", 10244},
        {refused(changed(29197, 0x00, 29199)), Status::Refused,
         "Received 29199 bytes; an All-Data dump has 29198.", 29199},
        {refused(changed(1, 0x43)), Status::Refused,
         notADump + "F0 43 21 20 40, not F0 42 21 20 40.", 29198},
        {refused(changed(4, 0x41)), Status::Refused,
         notADump + "F0 42 21 20 41, not F0 42 21 20 40.", 29198},
        {[&] { send(std::span(dump).first(12000), 256); }, Status::TimedOut,
         "No All-Data dump arrived within 0.3 seconds.", 0},
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
    }
    const auto result = receiveDump(transport, "fake out:nothing", 1s, {}, {});
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_EQ(result.message, "There is no MIDI port named \"fake out:nothing\".");
}

} // namespace
} // namespace a3::midi
