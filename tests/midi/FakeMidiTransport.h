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
// names them on JACK, "fake in:NAME" (sent to) and "fake out:NAME" (listened
// to), each with one listener at most. A port sent to goes with the virtual
// input that opened it; one listened to stays listed until the fake goes.
class FakeMidiTransport final : public midi::VirtualPortTransport
{
public:
    FakeMidiTransport()
        : _delivery([this](std::stop_token stop) { deliver(stop); })
    {}

    midi::MidiSystem system() const override { return midi::MidiSystem::Jack; }
    std::vector<midi::MidiPort> inputPorts() override { return ports(kListenedTo); }
    std::vector<midi::MidiPort> outputPorts() override { return ports(kSentTo); }
    std::unique_ptr<midi::MidiOutput> openOutput(const std::string& port) override
    {
        const std::lock_guard lock(_mutex);
        requirePort(port, kSentTo);
        return std::make_unique<Output>(*this, port);
    }
    std::unique_ptr<midi::MidiInput> openInput(const std::string& port,
                                               midi::MidiInputHandler handler) override
    {
        const std::lock_guard lock(_mutex);
        requirePort(port, kListenedTo);
        return listen(port, std::move(handler));
    }
    std::unique_ptr<midi::MidiOutput> openVirtualOutput(const std::string& portName) override
    {
        const std::lock_guard lock(_mutex);
        return std::make_unique<Output>(
            *this, _ports.try_emplace(std::string(kListenedTo) + portName).first->first);
    }
    std::unique_ptr<midi::MidiInput> openVirtualInput(const std::string& portName,
                                                      midi::MidiInputHandler handler) override
    {
        const std::lock_guard lock(_mutex);
        return listen(_ports.try_emplace(std::string(kSentTo) + portName).first->first,
                      std::move(handler));
    }
    std::stop_token systemLost() const override { return _lost.get_token(); }

    void loseSystem() { _lost.request_stop(); }

private:
    static constexpr std::string_view kSentTo = "fake in:";
    static constexpr std::string_view kListenedTo = "fake out:";

    struct Output final : midi::MidiOutput
    {
        Output(FakeMidiTransport& owner, std::string portName)
            : fake(owner)
            , name(std::move(portName))
        {}
        void send(std::span<const std::uint8_t> bytes) override
        {
            {
                const std::lock_guard lock(fake._mutex);
                fake._queue.emplace_back(name,
                                         std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
            }
            fake._posted.notify_one();
        }
        const std::string& port() const override { return name; }
        bool connected() override
        {
            const std::lock_guard lock(fake._mutex);
            return fake._ports.contains(name);
        }
        FakeMidiTransport& fake;
        std::string name;
    };
    struct Listener final : midi::MidiInput
    {
        Listener(FakeMidiTransport& owner, std::string portName)
            : fake(owner)
            , port(std::move(portName))
        {}
        ~Listener() override
        {
            const std::lock_guard lock(fake._mutex);
            if (port.starts_with(kSentTo)) { // a virtual input's: the port goes with it
                fake._ports.erase(port);
            } else {
                fake._ports[port] = {};
            }
        }
        FakeMidiTransport& fake;
        std::string port;
    };

    std::vector<midi::MidiPort> ports(std::string_view kind)
    {
        const std::lock_guard lock(_mutex);
        std::vector<midi::MidiPort> ports;
        for (const auto& [name, listener] : _ports) {
            if (name.starts_with(kind)) {
                ports.push_back({name, system()});
            }
        }
        return ports;
    }
    void requirePort(const std::string& port, std::string_view kind) const
    {
        if (!port.starts_with(kind) || !_ports.contains(port)) {
            throw midi::MidiError("There is no MIDI port named \"" + port + "\".");
        }
    }
    std::unique_ptr<midi::MidiInput> listen(const std::string& port, midi::MidiInputHandler handler)
    {
        _ports[port] = std::move(handler);
        return std::make_unique<Listener>(*this, port);
    }
    void deliver(std::stop_token stop)
    {
        std::unique_lock lock(_mutex);
        while (_posted.wait(lock, stop, [this] { return !_queue.empty(); })) {
            const auto [port, bytes] = std::move(_queue.front());
            _queue.pop_front();
            // Unless the port has gone since, or has no listener.
            if (const auto found = _ports.find(port); found != _ports.end() && found->second) {
                found->second(bytes);
            }
        }
    }

    std::mutex _mutex; // held while handlers run: a closed input gets no more calls
    std::condition_variable_any _posted;
    std::map<std::string, midi::MidiInputHandler, std::less<>> _ports; // by name, with listeners
    std::deque<std::pair<std::string, std::vector<std::uint8_t>>> _queue;
    std::stop_source _lost;
    std::jthread _delivery; // last: it starts once the members it uses exist
};

} // namespace a3::test
