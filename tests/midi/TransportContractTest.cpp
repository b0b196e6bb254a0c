// What every transport promises, checked on the in-process fake and on the
// MIDI system's transport over JACK (the fixture's private server), so that
// tests on the fake hold for the real thing.

#include "FakeMidiTransport.h"
#include "PacedSender.h"
#include "RtMidiTransport.h"
#include "TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

namespace a3::midi {
namespace {

using MakeTransport = std::function<std::unique_ptr<VirtualPortTransport>()>;

class Contract : public ::testing::TestWithParam<MakeTransport>
{
protected:
    // The full name under which our port is listed.
    std::string listed(const std::vector<MidiPort>& ports) const
    {
        const auto found = std::ranges::find_if(ports, [&](const MidiPort& port) {
            return port.name.ends_with(":" + portName) && port.system == transport->system();
        });
        return found == ports.end() ? std::string() : found->name;
    }

    std::unique_ptr<VirtualPortTransport> transport = GetParam()();
    const std::string portName = "contract-" + std::to_string(::getpid());
};

// A port goes as when the program owning it quits or its interface is
// unplugged.
TEST_P(Contract, DeliversInOrderOnAThreadOfItsOwnAndAnOutputIsConnectedUntilItsPortGoes)
{
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::uint8_t> received;
    bool onCallersThread = false;
    const auto caller = std::this_thread::get_id();
    auto input = transport->openVirtualInput(portName, [&](std::span<const std::uint8_t> bytes) {
        const std::lock_guard lock(mutex);
        received.insert(received.end(), bytes.begin(), bytes.end());
        onCallersThread = onCallersThread || std::this_thread::get_id() == caller;
        arrived.notify_one();
    });
    const auto virtualOutput = transport->openVirtualOutput(portName);
    EXPECT_NE(listed(transport->inputPorts()), "");
    const std::string port = listed(transport->outputPorts());
    const auto output = transport->openOutput(port);
    EXPECT_EQ(output->port(), port);
    EXPECT_TRUE(output->connected());

    std::vector<std::uint8_t> sent{0x90, 0x3C, 0x40, 0xF8};
    output->send(sent);
    const auto dump = test::wellFormedAllDataFile();
    for (const auto fragment : sysExFragments(dump)) {
        output->send(fragment);
    }
    sent.insert(sent.end(), dump.begin(), dump.end());
    std::unique_lock lock(mutex);
    arrived.wait_for(lock, std::chrono::seconds(10),
                     [&] { return received.size() >= sent.size(); });
    EXPECT_EQ(received, sent);
    EXPECT_FALSE(onCallersThread);
    lock.unlock();

    input.reset();
    EXPECT_EQ(listed(transport->outputPorts()), "");
    EXPECT_FALSE(output->connected());
    const auto failureOf = [](const std::function<void()>& open) {
        try {
            open();
        } catch (const MidiError& error) {
            return std::string(error.what());
        }
        return std::string("no failure");
    };
    const std::string noSuchPort = "There is no MIDI port named \"no such port\".";
    EXPECT_EQ(failureOf([&] { transport->openOutput("no such port"); }), noSuchPort);
    EXPECT_EQ(failureOf([&] {
                  transport->openInput("no such port", [](std::span<const std::uint8_t>) {});
              }),
              noSuchPort);
}

// What a receive relies on: the pieces of a System Exclusive message reach an
// input as they arrive, long before its end, so that a message without end
// can be stopped; and nothing reaches an input once it is closed.
TEST_P(Contract, AnInputOnAPortGetsEachPieceAsItArrivesUntilItCloses)
{
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::uint8_t> received;
    const auto device = transport->openVirtualOutput(portName);
    auto input = transport->openInput(
        listed(transport->inputPorts()), [&](std::span<const std::uint8_t> bytes) {
            const std::lock_guard lock(mutex);
            received.insert(received.end(), bytes.begin(), bytes.end());
            arrived.notify_one();
        });
    const auto receivedWithin = [&](std::chrono::milliseconds time, std::size_t size) {
        std::unique_lock lock(mutex);
        arrived.wait_for(lock, time, [&] { return received.size() >= size; });
        return received;
    };

    std::vector<std::uint8_t> sent(1000, 0x55);
    sent.front() = 0xF0;
    for (const auto fragment : sysExFragments(sent)) {
        device->send(fragment);
    }
    EXPECT_EQ(receivedWithin(std::chrono::seconds(10), sent.size()), sent);
    device->send(std::vector<std::uint8_t>{0xF7});
    sent.push_back(0xF7);
    EXPECT_EQ(receivedWithin(std::chrono::seconds(10), sent.size()), sent);

    input.reset();
    device->send(std::vector<std::uint8_t>{0xFE});
    EXPECT_EQ(receivedWithin(std::chrono::milliseconds(200), sent.size() + 1), sent);
}

INSTANTIATE_TEST_SUITE_P(Fake, Contract, ::testing::Values([] {
                             return std::make_unique<test::FakeMidiTransport>();
                         }));
INSTANTIATE_TEST_SUITE_P(Jack, Contract, ::testing::Values([] {
                             return openMidiSystemWithVirtualPorts(
                                 "a3-contract-" + std::to_string(::getpid()), MidiSystem::Jack);
                         }));

} // namespace
} // namespace a3::midi
