// Receiving from the simulated device on the fixture's JACK server, through
// the transport's own JACK input: connected under the name other programs
// knew, and bounded whatever the device sends.

#include "ChildProcess.h"
#include "DumpReceiver.h"
#include "MidiSystemProbe.h"
#include "RtMidiTransport.h"
#include "Watchdog.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace a3::midi {
namespace {

using namespace std::chrono_literals;

// This process's resident memory, in bytes.
long residentBytes()
{
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

class JackReceive : public ::testing::Test
{
protected:
    void SetUp() override
    {
        device = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, deviceName});
        ASSERT_EQ(device->readLine(10s), "ready") << device->err();
        transport = openMidiSystemWithVirtualPorts(clientName, MidiSystem::Jack);
    }

    test::Watchdog watchdog{"a receive from the simulated device", 60s};
    const std::string clientName = "a3-receiver-" + std::to_string(::getpid());
    const std::string deviceName = "a3-flooding-device-" + std::to_string(::getpid());
    const std::string deviceOut = deviceName + " out:MIDI";
    std::unique_ptr<test::ChildProcess> device;
    std::unique_ptr<VirtualPortTransport> transport;
};

// Other programs, and the users who connect ports by hand, see the port that
// RtMidi's input had; it goes with the input. An input that JACK refuses (a
// name longer than JACK takes) leaves no client behind to take that name.
TEST_F(JackReceive, AnInputIsConnectedAsTheClientsInPortAndLeavesNoClientWhenGoneOrRefused)
{
    const auto watch = JackServerWatch::connect(clientName + " watch");
    ASSERT_NE(watch, nullptr);
    const auto ignore = [](std::span<const std::uint8_t>) {};
    const std::string tooLong(300, 'x');
    try {
        transport->openVirtualInput(tooLong, ignore);
        ADD_FAILURE() << "JACK took a port name of 300 characters";
    } catch (const MidiError& error) {
        EXPECT_EQ(error.what(),
                  "JACK refused the MIDI input \"" + clientName + " in:" + tooLong + "\".");
    }
    auto input = transport->openInput(deviceOut, ignore);
    EXPECT_EQ(watch->connectionsOf(deviceOut), std::vector<std::string>{clientName + " in:MIDI"});
    input.reset();
    EXPECT_EQ(watch->connectionsOf(deviceOut), std::vector<std::string>{});
}

// F0 and then data bytes without end, at a hundred times wire speed: the
// receive ends once more than a dump has come, and holds no more than that
// meanwhile (measured while the input is open: closing it frees what it held).
TEST_F(JackReceive, DataWithoutEndEndsTheReceiveOnceLongerThanADumpWithMemoryBounded)
{
    const long before = residentBytes();
    long peak = before;
    bool told = false;
    const auto result = receiveDump(*transport, deviceOut, 30s, {}, [&](const TransferProgress&) {
        if (!std::exchange(told, true)) {
            device->write("send-unended 312500\n");
        }
        peak = std::max(peak, residentBytes());
    });
    const long growth = std::max(peak, residentBytes()) - before;
    EXPECT_EQ(result.status, TransferResult::Status::Refused);
    EXPECT_EQ(result.message, "More than 29198 bytes arrived without the end of a dump.");
    EXPECT_GT(result.bytes, 29198u);
    EXPECT_LT(growth, 3 << 20) << growth;
    RecordProperty("resident_growth_bytes", std::to_string(growth));

    EXPECT_EQ(device->readLine(10s), "sending");
    device->write("stop\n");
    const std::string stopped = device->readLine(10s);
    ASSERT_TRUE(stopped.starts_with("stopped ")) << stopped;
    EXPECT_GT(std::stol(stopped.substr(8)), 29198); // it went on meanwhile
}

} // namespace
} // namespace a3::midi
