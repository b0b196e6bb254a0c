// A JACK server killed during a transfer with the simulated device: a clear
// error and no hang. The server is a second one of the test's own, not the
// fixture's. What transfers do on a working system is proven on the fake
// transport, which passes the same contract as RtMidi on JACK, and end to
// end by a3bank's device tests.

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

class JackServerKilled : public ::testing::Test
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

    void TearDown() override
    {
        transport.reset();
        device.reset();
        server.reset();
    }

    test::Watchdog watchdog{"a transfer with the simulated device", 120s};
    test::TempDir dir;
    const std::filesystem::path dumpFile = dir / "dump.syx";
    const std::vector<std::uint8_t> dump = test::wellFormedAllDataFile();
    const std::string deviceName = "a3-device-" + std::to_string(::getpid());
    std::unique_ptr<test::PrivateJackServer> server = std::make_unique<test::PrivateJackServer>(
        std::string(std::getenv("JACK_DEFAULT_SERVER")) + "-" +
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::unique_ptr<test::ChildProcess> device;
    std::unique_ptr<MidiTransport> transport;
};

TEST_F(JackServerKilled, MidSendGivesAClearErrorAndNoHang)
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

TEST_F(JackServerKilled, MidReceiveGivesAClearErrorAndNoHang)
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

} // namespace
} // namespace a3::midi
