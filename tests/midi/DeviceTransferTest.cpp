// What goes away during a transfer with the simulated device, its port or
// the whole JACK server: a clear error and no hang. The server is a second
// one of the test's own, not the fixture's. What transfers do on a working
// system is proven on the fake transport, which passes the same contract as
// the transport on JACK, and end to end by a3bank's device tests.

#include "ChildProcess.h"
#include "DumpReceiver.h"
#include "PacedSender.h"
#include "PrivateJackServer.h"
#include "RtMidiTransport.h"
#include "TempDir.h"
#include "Watchdog.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace a3::midi {
namespace {

using namespace std::chrono_literals;

class GoneMidTransfer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        device = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, deviceName});
        ASSERT_EQ(device->readLine(10s), "ready") << device->err();
        transport = openMidiSystem("a3-test-" + std::to_string(::getpid()), MidiSystem::Jack);
    }

    test::Watchdog watchdog{"a transfer with the simulated device", 120s};
    test::TempDir dir;
    const std::vector<std::uint8_t> dump = test::wellFormedAllDataFile();
    const std::string deviceName = "a3-device-" + std::to_string(::getpid());
    // Destroyed in reverse: the transport, the device, then the server, one
    // of the test's own named after it.
    std::unique_ptr<test::PrivateJackServer> server = std::make_unique<test::PrivateJackServer>(
        std::string(std::getenv("JACK_DEFAULT_SERVER")) + "-" +
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::unique_ptr<test::ChildProcess> device;
    std::unique_ptr<MidiTransport> transport;
};

TEST_F(GoneMidTransfer, AJackServerKilledMidReceiveGivesAClearErrorAndNoHang)
{
    test::writeBytes(dir / "dump.syx", dump);
    bool told = false;
    bool killed = false;
    const auto result = receiveDump(
        *transport, deviceName + " out:MIDI", 30s, {}, [&](const TransferProgress& progress) {
            // The device sends once the receiver listens, at its first report.
            if (!std::exchange(told, true)) {
                device->write("send " + (dir / "dump.syx").string() + " 3125\n");
            }
            if (progress.elapsed >= 1s && !std::exchange(killed, true)) {
                server->kill();
            }
        });
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_EQ(result.message, kSystemLostMessage);

    // The transport stays unusable, and says why at once.
    const auto again = receiveDump(*transport, deviceName + " out:MIDI", 30s, {}, {});
    EXPECT_EQ(again.status, TransferResult::Status::Failed);
    EXPECT_EQ(again.message, "The JACK server has stopped.");
}

// Fragments sent to a port no longer connected raise no error: the send
// notices at its next check, a second into it, and says how much went out.
// (A port that goes altogether: the transport contract on JACK and the
// sender's own tests.) Then a send whose server is killed midway.
TEST_F(GoneMidTransfer, ASendToAPortDisconnectedOrAServerKilledMidwayGivesAClearErrorAndNoHang)
{
    const std::string port = deviceName + " in:MIDI";
    const auto unplugged =
        sendDump(*transport, port, dump, {}, [&](const TransferProgress& progress) {
            if (progress.bytes == 2048) {
                device->write("disconnect-input\n");
                EXPECT_EQ(device->readLine(10s), "disconnected 1");
            }
        });
    EXPECT_EQ(unplugged.status, TransferResult::Status::Failed);
    EXPECT_EQ(unplugged.message, "The port \"" + port + "\" went away after " +
                                     std::to_string(unplugged.bytes) + " of 29198 bytes.");
    EXPECT_GT(unplugged.bytes, 2048u);
    EXPECT_LT(unplugged.bytes, dump.size());

    const auto killed = sendDump(*transport, port, dump, {}, [&](const TransferProgress& progress) {
        if (progress.bytes == 2048) {
            server->kill();
        }
    });
    EXPECT_EQ(killed.status, TransferResult::Status::Failed);
    EXPECT_EQ(killed.message, kSystemLostMessage);
    EXPECT_LT(killed.bytes, dump.size());
}

} // namespace
} // namespace a3::midi
