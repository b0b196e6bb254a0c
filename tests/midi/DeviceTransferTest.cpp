// What goes away during a transfer with the simulated device, its port or
// the whole JACK server: a clear error and no hang. The server is a second
// one of the test's own, not the fixture's. What transfers do on a working
// system is proven on the fake transport, which passes the same contract as
// RtMidi on JACK, and end to end by a3bank's device tests.

#include "ChildProcess.h"
#include "DumpReceiver.h"
#include "PacedSender.h"
#include "PrivateJackServer.h"
#include "RtMidiTransport.h"
#include "TempDir.h"
#include "Watchdog.h"

#include <algorithm>
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
        test::writeBytes(dumpFile, dump);
        device = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, deviceName});
        ASSERT_EQ(device->readLine(10s), "ready") << device->err();
        transport = openMidiSystem("a3-test-" + std::to_string(::getpid()), MidiSystem::Jack);
    }

    // The test's name, without the slash of a parameter, which JACK's
    // server names cannot hold.
    static std::string serverName()
    {
        std::string name = std::string(std::getenv("JACK_DEFAULT_SERVER")) + "-" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::ranges::replace(name, '/', '-');
        return name;
    }

    test::Watchdog watchdog{"a transfer with the simulated device", 120s};
    test::TempDir dir;
    const std::filesystem::path dumpFile = dir / "dump.syx";
    const std::vector<std::uint8_t> dump = test::wellFormedAllDataFile();
    const std::string deviceName = "a3-device-" + std::to_string(::getpid());
    // Destroyed in reverse: the transport, the device, then the server.
    std::unique_ptr<test::PrivateJackServer> server =
        std::make_unique<test::PrivateJackServer>(serverName());
    std::unique_ptr<test::ChildProcess> device;
    std::unique_ptr<MidiTransport> transport;
};

TEST_F(GoneMidTransfer, AJackServerKilledMidSendGivesAClearErrorAndNoHang)
{
    const auto result = sendDump(*transport, deviceName + " in:MIDI", dump, {},
                                 [&](const TransferProgress& progress) {
                                     if (progress.bytes == 2048) {
                                         server->kill();
                                     }
                                 });
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_EQ(result.message, kSystemLostMessage);
    EXPECT_LT(result.bytes, dump.size());
}

TEST_F(GoneMidTransfer, AJackServerKilledMidReceiveGivesAClearErrorAndNoHang)
{
    bool told = false;
    bool killed = false;
    const auto result = receiveDump(
        *transport, deviceName + " out:MIDI", 30s, {}, [&](const TransferProgress& progress) {
            // The device sends once the receiver listens, at its first report.
            if (!std::exchange(told, true)) {
                device->write("send " + dumpFile.string() + " 3125\n");
            }
            if (progress.elapsed >= 1s && !std::exchange(killed, true)) {
                server->kill();
            }
        });
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_EQ(result.message, kSystemLostMessage);
}

// A command to the device and its answer.
using PortLoss = std::pair<std::string, std::string>;

class PortLost : public GoneMidTransfer, public ::testing::WithParamInterface<PortLoss>
{};

// Fragments sent to a port gone raise no error: the send notices at its
// next check, a second into it, and says how much went out.
TEST_P(PortLost, MidSendIsReportedWithTheBytesSentUntilNoticed)
{
    const std::string port = deviceName + " in:MIDI";
    const auto result = sendDump(*transport, port, dump, {}, [&](const TransferProgress& progress) {
        if (progress.bytes == 2048) {
            device->write(GetParam().first + "\n");
            EXPECT_EQ(device->readLine(10s), GetParam().second);
        }
    });
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_EQ(result.message, "The port \"" + port + "\" went away after " +
                                  std::to_string(result.bytes) + " of 29198 bytes.");
    EXPECT_GT(result.bytes, 2048u);
    EXPECT_LT(result.bytes, dump.size());
}

INSTANTIATE_TEST_SUITE_P(DeviceTransfer, PortLost,
                         ::testing::Values(PortLoss{"close-input", "closed"},
                                           PortLoss{"disconnect-input", "disconnected 1"}),
                         [](const auto& loss) {
                             return loss.param.second == "closed" ? "Closed" : "Disconnected";
                         });

} // namespace
} // namespace a3::midi
