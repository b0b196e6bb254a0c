// Sending and receiving against the simulated device on JACK: a bank at ten
// times wire speed, a dump from the device, refusals, cancelling, time-outs,
// and a JACK server killed during a transfer (a second server of the test's
// own, not the fixture's).

#include "ChildProcess.h"
#include "DumpReceiver.h"
#include "PacedSender.h"
#include "PrivateJackServer.h"
#include "RtMidiTransport.h"
#include "TempDir.h"
#include "Watchdog.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace a3::midi {
namespace {

using namespace std::chrono_literals;
using Status = TransferResult::Status;

class WithDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::writeBytes(dumpFile, dump);
        device = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, deviceName});
        ASSERT_EQ(device->readLine(10s), "ready") << device->err();
        transport = openMidiSystem("a3-test-" + std::to_string(::getpid()), MidiSystem::Jack);
    }

    void tell(const std::string& command) { device->write(command + "\n"); }
    std::string answer() { return device->readLine(30s); }

    // Receives from the device, which gets the commands once the receiver
    // listens (at its first progress report); progress then goes to `also`.
    TransferResult receiveAfter(const std::vector<std::string>& commands,
                                std::chrono::milliseconds timeout = 30s,
                                const ProgressHandler& also = {})
    {
        bool told = false;
        return receiveDump(*transport, deviceOut, timeout, cancel.get_token(),
                           [&](const TransferProgress& progress) {
                               for (const auto& command : commands) {
                                   if (!told) {
                                       tell(command);
                                   }
                               }
                               told = true;
                               if (also) {
                                   also(progress);
                               }
                           });
    }

    std::vector<std::uint8_t> savedByDevice(const std::string& expectedAnswer)
    {
        tell("save " + (dir / "received.syx").string());
        EXPECT_EQ(answer(), expectedAnswer);
        return std::filesystem::exists(dir / "received.syx") ? test::readBytes(dir / "received.syx")
                                                             : std::vector<std::uint8_t>{};
    }

    test::Watchdog watchdog{"a transfer with the simulated device", 120s};
    test::TempDir dir;
    const std::filesystem::path dumpFile = dir / "dump.syx";
    const std::vector<std::uint8_t> dump = test::wellFormedAllDataFile();
    const std::string deviceName = "a3-device-" + std::to_string(::getpid());
    const std::string deviceIn = deviceName + " in:MIDI";
    const std::string deviceOut = deviceName + " out:MIDI";
    std::unique_ptr<test::ChildProcess> device;
    std::unique_ptr<MidiTransport> transport;
    std::stop_source cancel;
};

TEST_F(WithDevice, SendsABankAtTenTimesWireSpeedByteForByte)
{
    const auto result = sendDump(*transport, deviceIn, dump, {}, {}, 10 * kWireSpeed);
    ASSERT_EQ(result.status, Status::Done) << result.message;
    EXPECT_EQ(answer(), "received 29198");
    EXPECT_EQ(savedByDevice("saved 29198"), dump);
}

TEST_F(WithDevice, ReceivesTheDumpTheDeviceSends)
{
    const auto result = receiveAfter({"send " + dumpFile.string() + " 31250"});
    ASSERT_EQ(result.status, Status::Done) << result.message;
    EXPECT_EQ(result.dump, dump);
    EXPECT_EQ(answer(), "sent 29198");
}

TEST_F(WithDevice, RefusesAForeignSysExAmongNotesAndRealtimeBytes)
{
    const auto result = receiveAfter({"send-junk 10244"});
    EXPECT_EQ(result.status, Status::Refused);
    EXPECT_EQ(result.message, "Received 10244 bytes; an All-Data dump has 29198.");
    EXPECT_TRUE(result.dump.empty());
}

TEST_F(WithDevice, TakesAWholeDumpAfterOneCutShort)
{
    const auto result = receiveAfter({"send-truncated " + dumpFile.string() + " 12000 31250",
                                      "send " + dumpFile.string() + " 31250"});
    ASSERT_EQ(result.status, Status::Done) << result.message;
    EXPECT_EQ(result.dump, dump);
}

TEST_F(WithDevice, TimesOutOnADumpCutShort)
{
    const auto result = receiveAfter({"send-truncated " + dumpFile.string() + " 12000 31250"}, 2s);
    EXPECT_EQ(result.status, Status::TimedOut);
    EXPECT_EQ(result.message, "No All-Data dump arrived within 2 seconds.");
}

TEST_F(WithDevice, CancelsMidSendAndTheNextSendStillArrives)
{
    const auto result = sendDump(*transport, deviceIn, dump, cancel.get_token(),
                                 [&](const TransferProgress& progress) {
                                     if (progress.bytes == 2048) {
                                         cancel.request_stop();
                                     }
                                 });
    EXPECT_EQ(result.status, Status::Cancelled);
    EXPECT_EQ(result.message,
              "Sending was cancelled after 2048 of 29198 bytes: the device got a partial dump.");
    EXPECT_TRUE(savedByDevice("saved 0").empty());

    ASSERT_TRUE(sendDump(*transport, deviceIn, dump, {}, {}, 10 * kWireSpeed).done());
    EXPECT_EQ(answer(), "received 29198");
    EXPECT_EQ(savedByDevice("saved 29198"), dump);
}

TEST_F(WithDevice, CancelsMidReceive)
{
    const auto result = receiveAfter({"send " + dumpFile.string() + " 3125"}, 30s,
                                     [&](const TransferProgress& progress) {
                                         if (progress.elapsed >= 500ms) {
                                             cancel.request_stop();
                                         }
                                     });
    EXPECT_EQ(result.status, Status::Cancelled);
    EXPECT_EQ(result.message, "Receiving was cancelled.");
}

// The device and this process on a second private server, killed mid-way.
class JackServerKilled : public WithDevice
{
protected:
    void SetUp() override
    {
        server = std::make_unique<test::PrivateJackServer>(
            std::string(std::getenv("JACK_DEFAULT_SERVER")) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        WithDevice::SetUp();
    }

    void TearDown() override
    {
        transport.reset();
        device.reset();
        server.reset();
    }

    std::unique_ptr<test::PrivateJackServer> server;
};

TEST_F(JackServerKilled, MidSendGivesAClearErrorAndNoHang)
{
    const auto result =
        sendDump(*transport, deviceIn, dump, {}, [&](const TransferProgress& progress) {
            if (progress.bytes == 2048) {
                server->kill();
            }
        });
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_EQ(result.message, kSystemLostMessage);
    EXPECT_LT(result.bytes, dump.size());
}

TEST_F(JackServerKilled, MidReceiveGivesAClearErrorAndNoHang)
{
    bool killed = false;
    const auto result = receiveAfter(
        {"send " + dumpFile.string() + " 3125"}, 30s, [&](const TransferProgress& progress) {
            if (progress.elapsed >= 1s && !std::exchange(killed, true)) {
                server->kill();
            }
        });
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_EQ(result.message, kSystemLostMessage);
}

} // namespace
} // namespace a3::midi
