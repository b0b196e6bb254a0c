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

class Receiving : public ::testing::Test
{
protected:
    // Receives from the device's port; the device starts sending once the
    // receiver listens, at its first progress report.
    TransferResult receive(const std::function<void()>& onceListening,
                           std::chrono::milliseconds timeout = 10s)
    {
        bool listening = false;
        return receiveDump(transport, "fake out:device", timeout, cancel.get_token(),
                           [&](const TransferProgress&) {
                               if (!std::exchange(listening, true)) {
                                   onceListening();
                               }
                           });
    }

    void send(std::span<const std::uint8_t> bytes, std::size_t pieceSize)
    {
        for (std::size_t offset = 0; offset < bytes.size(); offset += pieceSize) {
            device->send(bytes.subspan(offset, std::min(pieceSize, bytes.size() - offset)));
        }
    }

    const std::vector<std::uint8_t> dump = test::wellFormedAllDataFile();
    test::FakeMidiTransport transport;
    std::unique_ptr<MidiOutput> device = transport.openVirtualOutput("device");
    std::stop_source cancel;
};

TEST_F(Receiving, TakesADumpArrivingInPiecesAmongOtherMessages)
{
    const auto result = receive([&] {
        send(std::vector<std::uint8_t>{0x90, 0x3C, 0x40, 0xF8, 0x80, 0x3C, 0x00}, 3);
        for (std::size_t offset = 0; offset < dump.size(); offset += 100) {
            send(std::span(dump).subspan(offset, std::min<std::size_t>(100, dump.size() - offset)),
                 100);
            send(std::vector<std::uint8_t>{0xF8}, 1);
        }
    });
    ASSERT_EQ(result.status, Status::Done) << result.message;
    EXPECT_EQ(result.dump, dump);
    EXPECT_EQ(result.bytes, 29198u);
}

TEST_F(Receiving, StartsOverWhenADumpIsCutShort)
{
    const auto result = receive([&] {
        send(std::span(dump).first(12000), 256);
        send(dump, 256);
    });
    ASSERT_EQ(result.status, Status::Done) << result.message;
    EXPECT_EQ(result.dump, dump);
}

struct Refusal
{
    std::string name;
    std::vector<std::uint8_t> message;
    std::string reason;
};

void PrintTo(const Refusal& refusal, std::ostream* out)
{
    *out << refusal.name;
}

class Refusing : public Receiving, public ::testing::WithParamInterface<Refusal>
{};

TEST_P(Refusing, RefusesAnyOtherMessageAndDeliversNothing)
{
    const auto result = receive([&] { send(GetParam().message, 256); });
    EXPECT_EQ(result.status, Status::Refused);
    EXPECT_EQ(result.message, GetParam().reason);
    EXPECT_TRUE(result.dump.empty());
}

std::vector<std::uint8_t> withLength(std::size_t length)
{
    auto message = test::wellFormedAllDataFile();
    message.back() = 0x00; // the message ends only at its new length
    message.resize(length);
    message.back() = 0xF7;
    return message;
}

std::vector<std::uint8_t> withHeaderByte(std::size_t index, std::uint8_t value)
{
    auto message = test::wellFormedAllDataFile();
    message[index] = value;
    return message;
}

INSTANTIATE_TEST_SUITE_P(
    DumpReceiver, Refusing,
    ::testing::Values(
        Refusal{"Short", withLength(10244), "Received 10244 bytes; an All-Data dump has 29198."},
        Refusal{"Long", withLength(29199), "Received 29199 bytes; an All-Data dump has 29198."},
        Refusal{"OtherMaker", withHeaderByte(1, 0x43),
                "The message received is not an All-Data dump: it "
                "begins F0 43 21 20 40, not F0 42 21 20 40."},
        Refusal{"OtherType", withHeaderByte(4, 0x41),
                "The message received is not an All-Data dump: it "
                "begins F0 42 21 20 41, not F0 42 21 20 40."}),
    [](const auto& refusal) { return refusal.param.name; });

// Each way a wait ends without a dump, with the message the user sees.
TEST_F(Receiving, EndsAtTheTimeOutWhenCancelledOrWhenTheSystemGoesAway)
{
    const auto cutShort = [&] { send(std::span(dump).first(12000), 256); };
    for (const auto& [action, status, message] :
         {std::tuple<std::function<void()>, Status, std::string_view>{
              cutShort, Status::TimedOut, "No All-Data dump arrived within 0.3 seconds."},
          {[&] { cancel.request_stop(); }, Status::Cancelled, "Receiving was cancelled."},
          {[&] { transport.loseSystem(); }, Status::Failed, kSystemLostMessage}}) {
        cancel = {};
        const auto result = receive(action, 300ms);
        EXPECT_EQ(result.status, status) << message;
        EXPECT_EQ(result.message, message);
        EXPECT_TRUE(result.dump.empty()) << message;
    }
    const auto result = receiveDump(transport, "fake out:nothing", 1s, {}, {});
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_EQ(result.message, "There is no MIDI port named \"fake out:nothing\".");
}

} // namespace
} // namespace a3::midi
