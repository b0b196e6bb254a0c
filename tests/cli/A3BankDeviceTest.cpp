// a3bank's device commands end to end, against the simulated device on the
// private JACK server: what the device gets, what a3bank writes, prints and
// exits with, Ctrl+C, SIGTERM, the time-out, and how PORT picks a port. What
// a transfer accepts and refuses is the MIDI layer's, tested there.

#include "A3AllDataSource.h"
#include "ChildProcess.h"
#include "Isolation.h"
#include "PrivateJackServer.h"
#include "TempDir.h"
#include "Watchdog.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <thread>
#include <unistd.h>

namespace a3 {
namespace {

using namespace std::chrono_literals;

// a3bank takes the ALSA sequencer first where there is one; the device is
// on JACK.
const std::vector<std::string> kOnJack{"ALSA_CONFIG_PATH=" A3_NO_SEQUENCER_CONF};

class A3BankWithDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::writeBytes(bankFile, bank.syxData());
        device = startDevice(deviceName);
    }

    static std::unique_ptr<test::ChildProcess> startDevice(const std::string& name)
    {
        auto started = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, name});
        EXPECT_EQ(started->readLine(10s), "ready") << started->err();
        return started;
    }

    static std::unique_ptr<test::ChildProcess>
    start(std::vector<std::string> arguments, std::vector<std::string> environment = {},
          test::ChildProcess::ErrorTo errorTo = test::ChildProcess::ErrorTo::Pipe)
    {
        arguments.insert(arguments.begin(), A3BANK_PATH);
        environment.insert(environment.end(), kOnJack.begin(), kOnJack.end());
        return std::make_unique<test::ChildProcess>(arguments, environment, errorTo);
    }

    std::string ask(const std::string& command)
    {
        device->write(command + "\n");
        return device->readLine(30s);
    }

    test::Watchdog watchdog{"a3bank with the simulated device", 120s};
    test::TempDir dir;
    A3AllDataSource bank = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    const std::filesystem::path bankFile = dir / "bank.syx";
    const std::filesystem::path received = dir / "received.syx";
    // Set off by dashes, so that no other test's device has it in its name.
    const std::string deviceName = "a3bank-" + std::to_string(::getpid()) + "-device";
    const std::string deviceIn = deviceName + " in:MIDI";
    const std::string deviceOut = deviceName + " out:MIDI";
    std::unique_ptr<test::ChildProcess> device;
};

// Ctrl+C stops a send after the fragment going out. A refused dump and a
// time-out end a receive alike; the receiver's tests on the fake transport
// tell them apart. Here the time given reaches it. A dump damaged on the way
// is written as sent, with a warning.
TEST_F(A3BankWithDevice, CtrlCOrTheTimeOutStopsATransferAndAReceiveWritesTheDumpAsSent)
{
    // At 256 bytes a second one fragment leaves each second, the first as
    // soon as the port is connected: Ctrl+C 0.3 s later comes between the
    // first and the second.
    const auto send = start({"send", bankFile.string(), "--port", deviceIn, "--rate", "256"});
    ASSERT_EQ(ask("wait-connection in"), "connected");
    std::this_thread::sleep_for(300ms);
    send->kill(SIGINT);
    EXPECT_EQ(send->finish(30s).code, 1);
    EXPECT_EQ(send->err(),
              "Sending was cancelled after 256 of 29198 bytes: the device got a partial dump.\n");
    EXPECT_EQ(ask("save " + (dir / "saved.syx").string()), "saved 0"); // no whole dump

    const auto timedOut =
        start({"receive", received.string(), "--port", deviceOut, "--timeout", "0.5"});
    EXPECT_EQ(timedOut->finish(30s).code, 1);
    EXPECT_EQ(timedOut->err(), "No All-Data dump arrived within 0.5 seconds.\n");
    const auto stopped = start({"receive", received.string(), "--port", deviceOut});
    ASSERT_EQ(ask("wait-connection out"), "connected");
    stopped->kill(SIGINT);
    EXPECT_EQ(stopped->finish(30s).code, 1);
    EXPECT_EQ(stopped->err(), "Receiving was cancelled.\n");
    EXPECT_FALSE(std::filesystem::exists(received));

    // A dump the device sends once must not be lost to a file that cannot
    // be written: that is found out before waiting.
    const auto nowhere = received.parent_path() / "missing" / "bank.syx";
    const auto refused = start({"receive", nowhere.string(), "--port", deviceOut});
    EXPECT_EQ(refused->finish(5s).code, 1);
    EXPECT_NE(refused->err().find("No such file or directory"), std::string::npos)
        << refused->err();

    auto sent = bank.syxData();
    // Damaged on the way; each byte of the record after the header is two
    // nibbles in the file.
    sent[kHeaderSize + 2 * (offsetof(A3AllData, checksum2) - kHeaderSize)] ^= 0x01;
    test::writeBytes(dir / "device.syx", sent);

    const auto receive = start({"receive", received.string(), "--port", deviceOut});
    ASSERT_EQ(ask("wait-connection out"), "connected");
    EXPECT_EQ(ask("send " + (dir / "device.syx").string() + " 31250"), "sent 29198");
    const auto exit = receive->finish(30s);
    EXPECT_EQ(exit.code, 0) << receive->err();
    EXPECT_EQ(test::readBytes(received), sent);
    EXPECT_EQ(
        receive->err().rfind("a3bank: " + received.string() + ": warning: patch checksum ", 0), 0u)
        << receive->err();
}

// The time-out counts until the dump begins: a dump that outlasts it is
// received. One that stops ends after the silence, and one without end once
// more than a dump has come; neither writes a file. On a terminal the
// progress line tells the wait, then the bytes as they arrive.
TEST_F(A3BankWithDevice, AReceiveWaitsForTheDumpToBeginThenEndsOnSilenceOrOnMoreThanADump)
{
    const auto dump = bank.syxData();
    test::writeBytes(dir / "dump.syx", dump);
    const auto slow = start({"receive", received.string(), "--port", deviceOut, "--timeout", "3"});
    ASSERT_EQ(ask("wait-connection out"), "connected");
    EXPECT_EQ(ask("send " + (dir / "dump.syx").string() + " 6000"), "sent 29198"); // 4.9 s
    EXPECT_EQ(slow->finish(30s).code, 0) << slow->err();
    EXPECT_EQ(test::readBytes(received), dump);
    std::filesystem::remove(received);

    test::writeBytes(dir / "half.syx", std::vector(dump.begin(), dump.begin() + 14599));
    const auto halfway = start({"receive", received.string(), "--port", deviceOut}, {},
                               test::ChildProcess::ErrorTo::Terminal);
    ASSERT_EQ(ask("wait-connection out"), "connected");
    std::this_thread::sleep_for(300ms); // a line or two of waiting
    EXPECT_EQ(ask("send " + (dir / "half.syx").string() + " 31250"), "sent 14599");
    EXPECT_EQ(halfway->finish(30s).code, 1);
    const std::string& shown = halfway->err();
    EXPECT_NE(shown.find("\rWaiting for an All-Data dump: 0 s, time-out in 60 s\033[K"),
              std::string::npos)
        << shown;
    EXPECT_TRUE(shown.ends_with("\rReceiving: 14599 of 29198 bytes (50 %), 5 s left\033[K\r\n"
                                "The dump stopped after 14599 of 29198 bytes.\r\n"))
        << shown;

    const auto flooded = start({"receive", received.string(), "--port", deviceOut});
    ASSERT_EQ(ask("wait-connection out"), "connected");
    EXPECT_EQ(ask("send-unended 312500"), "sending");
    EXPECT_EQ(flooded->finish(30s).code, 1);
    EXPECT_EQ(flooded->err(), "More than 29198 bytes arrived without the end of a dump.\n");
    EXPECT_TRUE(ask("stop").starts_with("stopped "));
    EXPECT_FALSE(std::filesystem::exists(received));
}

// With a second device whose name begins with the first one's; ports lists
// the devices' ports with their system. The bank sent has a wrong checksum,
// and a3bank sends it as saving writes it, at ten times wire speed.
TEST_F(A3BankWithDevice, PortsListsThePortsAndPortIsTheExactNameOrAUniquePartOfOne)
{
    const auto second = startDevice(deviceName + "-2");
    const auto ports = start({"ports"});
    EXPECT_EQ(ports->finish(30s).code, 0) << ports->err();
    const std::string& out = ports->out();
    EXPECT_NE(out.find("input\tJACK\t" + deviceOut + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("output\tJACK\t" + deviceIn + "\n"), std::string::npos) << out;

    const auto full =
        test::run({"/bin/sh", "-c", "exec \"$0\" ports >/dev/full", A3BANK_PATH}, 30s, kOnJack);
    EXPECT_EQ(full.exit.code, 1);
    EXPECT_EQ(full.err, "a3bank: write error: No space left on device\n");

    auto file = test::readBytes(bankFile);
    file[kHeaderSize + 2 * (offsetof(A3AllData, checksum) - kHeaderSize)] ^= 0x01;
    test::writeBytes(dir / "odd.syx", file);
    for (const std::string& port : {deviceIn, deviceName + " IN:"}) {
        const auto send =
            start({"send", (dir / "odd.syx").string(), "--port", port, "--rate", "31250"});
        EXPECT_EQ(send->finish(30s).code, 0) << port << ": " << send->err();
        EXPECT_EQ(send->out() + send->err(), ""); // no progress line but on a terminal
        EXPECT_EQ(device->readLine(10s), "received 29198") << port;
    }
    EXPECT_EQ(ask("save " + (dir / "saved.syx").string()), "saved 29198");
    EXPECT_EQ(test::readBytes(dir / "saved.syx"), test::readBytes(bankFile));
    for (const auto& [port, error] :
         {std::pair{deviceName, "'" + deviceName + "' matches 2 MIDI outputs"},
          std::pair{deviceName + "-none", "no MIDI output matches '" + deviceName + "-none'"},
          std::pair{deviceName + "\n\x1b[2J",
                    "no MIDI output matches '" + deviceName + "'$'\\n\\033''[2J'"}}) {
        const auto send = start({"send", bankFile.string(), "--port", port, "--rate", "312500"});
        EXPECT_EQ(send->finish(30s).code, 1);
        const std::string& err = send->err();
        EXPECT_EQ(err.rfind("a3bank: " + error + "; the MIDI outputs are:\n", 0), 0u) << err;
        // Every output is listed, and no input.
        for (const std::string& output : {deviceIn, deviceName + "-2 in:MIDI"}) {
            EXPECT_NE(err.find("\n  " + output + "\n"), std::string::npos) << err;
        }
        EXPECT_EQ(err.find("out:MIDI"), std::string::npos) << err;
    }
}

// On a terminal, here the one script(1) gives it, a line on standard error
// rewritten in place shows the time waited and the time left until the
// time-out, in whole seconds, which make up the time-out between them.
TEST_F(A3BankWithDevice, OnATerminalReceiveShowsTheTimeWaitedAndTheTimeLeft)
{
    test::ChildProcess receive({"/usr/bin/script", "-qec",
                                std::string(A3BANK_PATH) + " receive '" + received.string() +
                                    "' --port '" + deviceOut + "' --timeout 86400",
                                "/dev/null"},
                               kOnJack);
    ASSERT_EQ(ask("wait-connection out"), "connected");
    EXPECT_EQ(ask("send " + bankFile.string() + " 31250"), "sent 29198");
    EXPECT_EQ(receive.finish(30s).code, 0) << receive.out();
    const std::string& terminal = receive.out();
    std::smatch first;
    ASSERT_TRUE(std::regex_search(terminal, first,
                                  std::regex("\rWaiting for an All-Data dump: (\\d+) s, "
                                             "time-out in (\\d+) s\033\\[K")))
        << terminal;
    const long total = std::stol(first[1]) + std::stol(first[2]);
    EXPECT_TRUE(total == 86399 || total == 86400) << first[0];
    EXPECT_EQ(test::readBytes(received), bank.syxData());
}

// Once the dump is in, Ctrl+C no longer asks a transfer to stop: while the
// dump is written (its sync made to last until a signal comes), Ctrl+C or
// SIGTERM ends the program by the signal, and the temporary file goes.
TEST_F(A3BankWithDevice, EndedWhileWritingTheDumpReceiveLeavesNoFile)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        std::vector<std::string> slowSync = test::preloading(A3_SLOW_FILE_SYNC);
        slowSync.push_back("A3_SLOW_SYNC=" + received.string() + ".??????");
        const auto receive = start({"receive", received.string(), "--port", deviceOut}, slowSync);
        ASSERT_EQ(ask("wait-connection out"), "connected");
        EXPECT_EQ(ask("send " + bankFile.string() + " 31250"), "sent 29198");
        ASSERT_EQ(receive->readLine(30s).rfind("syncing " + received.string() + ".", 0), 0u)
            << receive->err();
        receive->kill(signal);
        EXPECT_EQ(receive->finish(30s).signal, signal) << receive->err();
        EXPECT_EQ(test::namesIn(dir.path()), std::vector<std::string>{"bank.syx"});
    }
}

// Whether a signal sent to the process waits for a thread to take it.
bool pending(pid_t process, int signal)
{
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("ShdPnd:", 0) == 0) {
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
        }
    }
    return false;
}

// The stop that Ctrl+C asks for may wait on the MIDI system, here a JACK
// server that hangs, so that it never comes: a second Ctrl+C, sent once the
// first is taken, ends the program at once, by the signal.
TEST_F(A3BankWithDevice, ASecondCtrlCEndsATransferThatTheFirstCannotStop)
{
    test::PrivateJackServer server("a3bank-" + std::to_string(::getpid()) + "-hanging");
    const auto hanging = startDevice(deviceName + "-hanging");
    const auto receive = start({"receive", received.string(), "--port", deviceName + "-hanging"});
    hanging->write("wait-connection out\n");
    ASSERT_EQ(hanging->readLine(30s), "connected");
    server.freeze();
    receive->kill(SIGINT);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (pending(receive->pid(), SIGINT) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_FALSE(pending(receive->pid(), SIGINT));
    receive->kill(SIGINT);
    EXPECT_EQ(receive->finish(30s).signal, SIGINT) << receive->err();
    EXPECT_FALSE(std::filesystem::exists(received));
}

} // namespace
} // namespace a3
