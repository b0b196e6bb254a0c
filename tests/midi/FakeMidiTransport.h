#pragma once

#include "MidiTransport.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace a3::test {

// An in-process MIDI system: its ports live in the object, and what is sent
// to a port reaches the port's listeners on a delivery thread of the fake's
// own, as a real system's thread would bring it. Ports are named as RtMidi
// names them on JACK, "fake in:NAME" and "fake out:NAME", and stay listed
// until the fake goes.
class FakeMidiTransport final : public midi::MidiTransport
{
public:
    FakeMidiTransport();
    ~FakeMidiTransport() override;

    midi::MidiSystem system() const override { return midi::MidiSystem::Jack; }
    std::vector<midi::MidiPort> inputPorts() override { return ports(Direction::FromPort); }
    std::vector<midi::MidiPort> outputPorts() override { return ports(Direction::ToPort); }
    std::unique_ptr<midi::MidiOutput> openOutput(const std::string& port) override;
    std::unique_ptr<midi::MidiInput> openInput(const std::string& port,
                                               midi::MidiInputHandler handler) override;
    std::unique_ptr<midi::MidiOutput> openVirtualOutput(const std::string& portName) override;
    std::unique_ptr<midi::MidiInput> openVirtualInput(const std::string& portName,
                                                      midi::MidiInputHandler handler) override;
    std::stop_token systemLost() const override { return _lost.get_token(); }

    void loseSystem() { _lost.request_stop(); }

private:
    enum class Direction
    {
        ToPort,   // a port of ours that others send to
        FromPort, // a port of ours that others listen to
    };
    struct Port
    {
        Direction direction;
        std::map<int, midi::MidiInputHandler> listeners;
    };
    class Output;
    class Listener;

    std::vector<midi::MidiPort> ports(Direction direction);
    std::string addPort(Direction direction, const std::string& name);
    void requirePort(const std::string& port, Direction direction);
    std::unique_ptr<midi::MidiInput> listen(const std::string& port, Direction direction,
                                            midi::MidiInputHandler handler);
    void unlisten(const std::string& port, int listener);
    void post(const std::string& port, std::span<const std::uint8_t> bytes);
    void deliver(std::stop_token stop);

    std::mutex _mutex; // held while handlers run: a closed input gets no more calls
    std::condition_variable_any _posted;
    std::map<std::string, Port> _ports;
    std::deque<std::pair<std::string, std::vector<std::uint8_t>>> _queue;
    int _nextListener = 0;
    std::stop_source _lost;
    std::jthread _delivery; // last: it starts once the members it uses exist
};

} // namespace a3::test
