#include "FakeMidiTransport.h"

namespace a3::test {

using midi::MidiError;

class FakeMidiTransport::Output final : public midi::MidiOutput
{
public:
    Output(FakeMidiTransport& fake, std::string port)
        : _fake(fake)
        , _port(std::move(port))
    {}
    void send(std::span<const std::uint8_t> bytes) override { _fake.post(_port, bytes); }

private:
    FakeMidiTransport& _fake;
    std::string _port;
};

class FakeMidiTransport::Listener final : public midi::MidiInput
{
public:
    Listener(FakeMidiTransport& fake, std::string port, int id)
        : _fake(fake)
        , _port(std::move(port))
        , _id(id)
    {}
    ~Listener() override { _fake.unlisten(_port, _id); }

private:
    FakeMidiTransport& _fake;
    std::string _port;
    int _id;
};

FakeMidiTransport::FakeMidiTransport()
    : _delivery([this](std::stop_token stop) { deliver(stop); })
{}

FakeMidiTransport::~FakeMidiTransport() = default;

std::vector<midi::MidiPort> FakeMidiTransport::ports(Direction direction)
{
    const std::lock_guard lock(_mutex);
    std::vector<midi::MidiPort> ports;
    for (const auto& [name, port] : _ports) {
        if (port.direction == direction) {
            ports.push_back({name, system()});
        }
    }
    return ports;
}

std::string FakeMidiTransport::addPort(Direction direction, const std::string& name)
{
    std::string port = (direction == Direction::ToPort ? "fake in:" : "fake out:") + name;
    const std::lock_guard lock(_mutex);
    _ports.try_emplace(port, Port{direction, {}});
    return port;
}

void FakeMidiTransport::requirePort(const std::string& port, Direction direction)
{
    const auto found = _ports.find(port);
    if (found == _ports.end() || found->second.direction != direction) {
        throw MidiError("There is no MIDI port named \"" + port + "\".");
    }
}

std::unique_ptr<midi::MidiInput> FakeMidiTransport::listen(const std::string& port,
                                                           Direction direction,
                                                           midi::MidiInputHandler handler)
{
    const std::lock_guard lock(_mutex);
    requirePort(port, direction);
    _ports[port].listeners.emplace(_nextListener, std::move(handler));
    return std::make_unique<Listener>(*this, port, _nextListener++);
}

void FakeMidiTransport::unlisten(const std::string& port, int listener)
{
    const std::lock_guard lock(_mutex);
    _ports[port].listeners.erase(listener);
}

void FakeMidiTransport::post(const std::string& port, std::span<const std::uint8_t> bytes)
{
    {
        const std::lock_guard lock(_mutex);
        _queue.emplace_back(port, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }
    _posted.notify_one();
}

void FakeMidiTransport::deliver(std::stop_token stop)
{
    std::unique_lock lock(_mutex);
    while (_posted.wait(lock, stop, [this] { return !_queue.empty(); })) {
        const auto [port, bytes] = std::move(_queue.front());
        _queue.pop_front();
        for (const auto& [id, handler] : _ports[port].listeners) {
            if (handler) {
                handler(bytes);
            }
        }
    }
}

std::unique_ptr<midi::MidiOutput> FakeMidiTransport::openOutput(const std::string& port)
{
    const std::lock_guard lock(_mutex);
    requirePort(port, Direction::ToPort);
    return std::make_unique<Output>(*this, port);
}

std::unique_ptr<midi::MidiInput> FakeMidiTransport::openInput(const std::string& port,
                                                              midi::MidiInputHandler handler)
{
    return listen(port, Direction::FromPort, std::move(handler));
}

std::unique_ptr<midi::MidiOutput> FakeMidiTransport::openVirtualOutput(const std::string& portName)
{
    return std::make_unique<Output>(*this, addPort(Direction::FromPort, portName));
}

std::unique_ptr<midi::MidiInput> FakeMidiTransport::openVirtualInput(const std::string& portName,
                                                                     midi::MidiInputHandler handler)
{
    return listen(addPort(Direction::ToPort, portName), Direction::ToPort, std::move(handler));
}

} // namespace a3::test
