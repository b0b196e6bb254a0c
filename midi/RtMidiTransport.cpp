#include "RtMidiTransport.h"

#include "JackMidiInput.h"
#include "MidiSystemProbe.h"

#include <RtMidi.h>
#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

namespace a3::midi {
namespace {

// What RtMidi reports instead of printing it to std::cerr (it prints unless a
// callback is set) or throwing (it never throws once one is).
class RtMidiReports
{
public:
    void listenTo(RtMidi& midi) { midi.setErrorCallback(&RtMidiReports::record, this); }

    // RtMidi warns of a port that went away between being counted and
    // being named; listing just passes over it.
    void forget() { _failure.reset(); }

    // Throws the first failure reported since the last check. ALSA's encoder
    // holds a System Exclusive fragment that does not fill its buffer and
    // RtMidi then warns of an "incomplete message": that is no failure.
    void throwFailure()
    {
        std::optional<std::string> failure = std::exchange(_failure, std::nullopt);
        if (failure) {
            throw MidiError("The MIDI system reported: " + *failure);
        }
    }

private:
    static void record(RtMidiError::Type type, const std::string& text, void* self)
    {
        auto& reports = *static_cast<RtMidiReports*>(self);
        const bool harmless = type == RtMidiError::DEBUG_WARNING ||
                              text.find("incomplete message") != std::string::npos;
        if (!harmless && !reports._failure) {
            reports._failure = text;
        }
    }

    std::optional<std::string> _failure;
};

// The port of this program's own that RtMidi registers for a connection.
constexpr const char* kOwnPortName = "MIDI";
constexpr int kConnectAttempts = 5;
constexpr int kListingAttempts = 5;

// One RtMidi object, with its own client: its reports and its ports. The
// same code serves the ALSA sequencer and JACK.
template <typename Midi>
class RtPort
{
public:
    RtPort(RtMidi::Api api, const std::string& clientName)
        : _midi(api, clientName)
    {
        _reports.listenTo(_midi);
    }

    Midi& midi() { return _midi; }
    void throwFailure() { _reports.throwFailure(); }

    std::optional<unsigned> numberOf(const std::string& port)
    {
        const std::vector<std::string> names = portNames();
        const auto found = std::ranges::find(names, port);
        if (found == names.end()) {
            return std::nullopt;
        }
        return static_cast<unsigned>(found - names.begin());
    }

    std::vector<MidiPort> ports(MidiSystem system)
    {
        std::vector<MidiPort> ports;
        for (std::string& name : portNames()) {
            if (!name.empty()) {
                ports.push_back({std::move(name), system});
            }
        }
        return ports;
    }

    // RtMidi opens a port by its number, which shifts when another program
    // adds or removes a port meanwhile; so the number is read before and
    // after opening, and the opening repeated when the port was not there
    // both times.
    void connect(const std::string& port)
    {
        for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
            const std::optional<unsigned> number = numberOf(port);
            if (!number) {
                throw MidiError("There is no MIDI port named \"" + port + "\".");
            }
            _reports.forget();
            _midi.openPort(*number, kOwnPortName);
            if (_midi.getPortName(*number) == port) {
                _reports.throwFailure();
                return;
            }
            _midi.closePort();
        }
        throw MidiError("The MIDI port \"" + port +
                        "\" could not be opened: the list of ports kept changing.");
    }

    void openVirtual(const std::string& portName)
    {
        _midi.openVirtualPort(portName);
        _reports.throwFailure();
    }

private:
    // The names by their numbers. RtMidi looks each one up afresh, so a
    // port that another program adds or removes meanwhile shifts the numbers:
    // one listing may skip a port or name one twice. The ports are listed
    // again until two listings agree.
    std::vector<std::string> portNames()
    {
        std::vector<std::string> names = listing();
        for (int attempt = 0; attempt < kListingAttempts; ++attempt) {
            std::vector<std::string> again = listing();
            if (again == names) {
                break;
            }
            names = std::move(again);
        }
        return names;
    }

    std::vector<std::string> listing()
    {
        std::vector<std::string> names;
        const unsigned count = _midi.getPortCount();
        for (unsigned number = 0; number < count; ++number) {
            // Empty when the port went away since it was counted.
            names.push_back(_midi.getPortName(number));
        }
        _reports.forget();
        return names;
    }

    RtMidiReports _reports; // first: RtMidi reports to it until its last call
    Midi _midi;
};

class RtOutput final : public MidiOutput
{
public:
    // jack is the transport's own client on JACK, null on the ALSA sequencer.
    RtOutput(RtMidi::Api api, const std::string& clientName, const JackServerWatch* jack)
        : _port(api, clientName)
        , _jack(jack)
    {}

    void connect(const std::string& port)
    {
        _name = port;
        const auto before = peers();
        _port.connect(port);
        const auto after = peers();
        // Ours is the connection that opening made: JACK may have given our
        // client another name than the one asked for.
        std::vector<std::string> made;
        std::ranges::set_difference(after, before, std::back_inserter(made));
        if (made.size() == 1) {
            _ownPort = made.front();
        }
    }

    void openVirtual(const std::string& portName)
    {
        _name = portName;
        _virtual = true;
        _port.openVirtual(portName);
    }

    void send(std::span<const std::uint8_t> bytes) override
    {
        _port.midi().sendMessage(bytes.data(), bytes.size());
        _port.throwFailure();
    }

    const std::string& port() const override { return _name; }

    bool connected() override
    {
        if (_virtual) {
            return true;
        }
        if (!_jack) {
            // The ALSA sequencer ends the subscription with the port.
            return _port.numberOf(_name).has_value();
        }
        if (_jack->serverStopped().stop_requested()) {
            throw MidiError(std::string(kSystemLostMessage));
        }
        const auto connections = _jack->connectionsOf(_name);
        return connections && (_ownPort.empty() ||
                               std::ranges::find(*connections, _ownPort) != connections->end());
    }

private:
    // The ports connected to the one we send to, in order; none off JACK.
    std::vector<std::string> peers() const
    {
        auto connections = _jack ? _jack->connectionsOf(_name) : std::nullopt;
        if (!connections) {
            return {};
        }
        std::ranges::sort(*connections);
        return std::move(*connections);
    }

    RtPort<RtMidiOut> _port;
    const JackServerWatch* _jack;
    std::string _name;
    std::string _ownPort; // our port's full name on JACK, once known
    bool _virtual = false;
};

class RtInput final : public MidiInput
{
public:
    RtInput(RtMidi::Api api, const std::string& clientName, MidiInputHandler handler)
        : _handler(std::move(handler))
        , _port(api, clientName)
    {
        _port.midi().ignoreTypes(false, false, false);
        // Before the port opens: without a callback RtMidi queues what
        // arrives and prints once its queue is full.
        _port.midi().setCallback(&RtInput::deliver, this);
    }

    RtPort<RtMidiIn>& port() { return _port; }

private:
    static void deliver(double, std::vector<unsigned char>* message, void* self)
    {
        static_cast<RtInput*>(self)->_handler(*message);
    }

    // Before the port: RtMidiIn closes its client, and so stops calling the
    // handler, when it is destroyed.
    MidiInputHandler _handler;
    RtPort<RtMidiIn> _port;
};

class RtMidiTransport final : public VirtualPortTransport
{
public:
    RtMidiTransport(MidiSystem system, const std::string& clientName,
                    std::unique_ptr<JackServerWatch> watch)
        : _system(system)
        , _inClient(clientName + " in")
        , _outClient(clientName + " out")
        , _watch(std::move(watch))
    {}

    MidiSystem system() const override { return _system; }

    std::vector<MidiPort> inputPorts() override
    {
        return RtPort<RtMidiIn>(api(), _inClient).ports(_system);
    }

    std::vector<MidiPort> outputPorts() override
    {
        return RtPort<RtMidiOut>(api(), _outClient).ports(_system);
    }

    std::unique_ptr<MidiOutput> openOutput(const std::string& port) override
    {
        auto output = std::make_unique<RtOutput>(api(), _outClient, _watch.get());
        output->connect(port);
        return output;
    }

    std::unique_ptr<MidiInput> openInput(const std::string& port, MidiInputHandler handler) override
    {
        if (_system == MidiSystem::Jack) {
            auto input = openJackInput(kOwnPortName, std::move(handler));
            input->connectFrom(port);
            return input;
        }
        auto input = std::make_unique<RtInput>(api(), _inClient, std::move(handler));
        input->port().connect(port);
        return input;
    }

    std::unique_ptr<MidiOutput> openVirtualOutput(const std::string& portName) override
    {
        auto output = std::make_unique<RtOutput>(api(), _outClient, _watch.get());
        output->openVirtual(portName);
        return output;
    }

    std::unique_ptr<MidiInput> openVirtualInput(const std::string& portName,
                                                MidiInputHandler handler) override
    {
        if (_system == MidiSystem::Jack) {
            return openJackInput(portName, std::move(handler));
        }
        auto input = std::make_unique<RtInput>(api(), _inClient, std::move(handler));
        input->port().openVirtual(portName);
        return input;
    }

    std::stop_token systemLost() const override
    {
        return _watch ? _watch->serverStopped() : std::stop_token();
    }

private:
    // RtMidi would print its own complaint on meeting a stopped server.
    RtMidi::Api api() const
    {
        throwIfSystemLost();
        return _system == MidiSystem::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
    }

    void throwIfSystemLost() const
    {
        if (systemLost().stop_requested()) {
            throw MidiError("The JACK server has stopped.");
        }
    }

    // RtMidi's JACK input would join a System Exclusive message without end
    // for as long as it lasts; ours passes each event on as it comes. Its
    // client has the name RtMidi's had, which other programs see.
    std::unique_ptr<JackMidiInput> openJackInput(const std::string& portName,
                                                 MidiInputHandler handler) const
    {
        throwIfSystemLost();
        return std::make_unique<JackMidiInput>(_inClient, portName, std::move(handler));
    }

    MidiSystem _system;
    std::string _inClient;
    std::string _outClient;
    std::unique_ptr<JackServerWatch> _watch; // only on JACK
};

} // namespace

std::string_view nameOf(MidiSystem system)
{
    return system == MidiSystem::Jack ? "JACK" : "ALSA sequencer";
}

std::unique_ptr<MidiTransport> openMidiSystem(const std::string& clientName,
                                              std::optional<MidiSystem> only)
{
    return openMidiSystemWithVirtualPorts(clientName, only);
}

std::unique_ptr<VirtualPortTransport> openMidiSystemWithVirtualPorts(const std::string& clientName,
                                                                     std::optional<MidiSystem> only)
{
    // RtMidi's own choice of system never falls back to JACK when ALSA is
    // missing, and its constructors print when the system is not there: each
    // is probed quietly first.
    if (only != MidiSystem::Jack && alsaSequencerAvailable()) {
        return std::make_unique<RtMidiTransport>(MidiSystem::AlsaSequencer, clientName, nullptr);
    }
    if (only != MidiSystem::AlsaSequencer) {
        if (auto watch = JackServerWatch::connect(clientName + " watch")) {
            return std::make_unique<RtMidiTransport>(MidiSystem::Jack, clientName,
                                                     std::move(watch));
        }
    }
    if (!only) {
        throw MidiError(std::string(kNoMidiSystemMessage));
    }
    throw MidiError(*only == MidiSystem::Jack ? "No JACK server is running."
                                              : "The ALSA sequencer is not available.");
}

} // namespace a3::midi
