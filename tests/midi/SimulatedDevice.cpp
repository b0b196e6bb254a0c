// A stand-in for the device on JACK, for the tests. It opens the ports
// "NAME in:MIDI" and "NAME out:MIDI", keeps the last System Exclusive message
// it receives, and acts on commands on its standard input, one a line:
//   send FILE RATE            the file, in fragments at RATE bytes a second
//   send-unended RATE         F0, then data bytes without end at RATE bytes a
//                             second, as a faulty interface might, until
//   stop                      ends that
//   save FILE                 writes the last message received
//   wait-connection in|out    until another program's port is connected to
//                             the device's input or output
//   disconnect-input          undoes every connection to the input port
// It answers each with one line ("sent N", "sending", "stopped N" with the
// bytes sent, "saved N" with 0 and no file when nothing came, "connected",
// "disconnected N" with the number of connections undone, or "error TEXT"),
// prints "ready" once its ports are open and
// "received N" whenever a message has come in, so tests wait for lines, not
// for time.

#include "PacedSender.h"
#include "RtMidiTransport.h"
#include "SysExAssembler.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <jack/jack.h>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

using namespace a3::midi;

class Device
{
public:
    explicit Device(const std::string& name)
        : _name(name)
        , _transport(openMidiSystemWithVirtualPorts(name, MidiSystem::Jack))
        , _input(_transport->openVirtualInput(
              "MIDI", [this](std::span<const std::uint8_t> bytes) { receive(bytes); }))
        , _output(_transport->openVirtualOutput("MIDI"))
        , _observer(jack_client_open((name + " observer").c_str(), JackNoStartServer, nullptr))
    {
        if (!_observer) {
            throw std::runtime_error("no JACK server");
        }
        print("ready");
    }
    ~Device() { jack_client_close(_observer); }

    void run(const std::string& line)
    {
        std::istringstream words(line);
        std::string command;
        std::string file;
        double rate = 0;
        words >> command;
        if (command == "send" && words >> file >> rate) {
            send(file, rate);
        } else if (command == "send-unended" && words >> rate) {
            sendUnended(rate);
        } else if (command == "stop") {
            stopUnended();
        } else if (command == "save" && words >> file) {
            save(file);
        } else if (std::string side; command == "wait-connection" && words >> side) {
            waitForConnection(_name + " " + side + ":MIDI");
        } else if (command == "disconnect-input") {
            disconnect(_name + " in:MIDI");
        } else {
            print("error unknown command: " + line);
        }
    }

private:
    void receive(std::span<const std::uint8_t> bytes)
    {
        const std::lock_guard lock(_mutex);
        for (SysExMessage& message : _assembler.add(bytes)) {
            print("received " + std::to_string(message.length));
            _last = std::move(message);
        }
    }

    void send(const std::string& file, double rate)
    {
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        SteadyPacingClock clock;
        const TransferResult result =
            PacedSender(rate, clock).send(*_output, bytes, {}, _transport->systemLost(), {});
        print(result.done() ? "sent " + std::to_string(result.bytes) : "error " + result.message);
    }

    // On a thread of its own, so that stop can come. The first block begins
    // with F0, and no block has an end.
    void sendUnended(double rate)
    {
        _unended = std::jthread([this, rate](std::stop_token stop) {
            SteadyPacingClock clock;
            const PacedSender sender(rate, clock);
            std::vector<std::uint8_t> block(4096, 0x55);
            block.front() = 0xF0;
            while (!stop.stop_requested()) {
                _unendedSent +=
                    sender.send(*_output, block, stop, _transport->systemLost(), {}).bytes;
                block.front() = 0x55;
            }
        });
        print("sending");
    }

    void stopUnended()
    {
        _unended = {}; // joined: what it sent is known
        print("stopped " + std::to_string(std::exchange(_unendedSent, 0)));
    }

    void save(const std::string& file)
    {
        const std::lock_guard lock(_mutex);
        if (_last.length > 0) {
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(_last.bytes.data()),
                       static_cast<std::streamsize>(_last.bytes.size()));
        }
        print("saved " + std::to_string(_last.length));
    }

    void disconnect(const std::string& port)
    {
        const char** peers =
            jack_port_get_all_connections(_observer, jack_port_by_name(_observer, port.c_str()));
        int undone = 0;
        for (const char** peer = peers; peer && *peer; ++peer) {
            undone += jack_disconnect(_observer, *peer, port.c_str()) == 0 ? 1 : 0;
        }
        jack_free(static_cast<void*>(peers));
        print("disconnected " + std::to_string(undone));
    }

    // For up to 10 s.
    void waitForConnection(const std::string& port)
    {
        const jack_port_t* watched = jack_port_by_name(_observer, port.c_str());
        bool connected = false;
        for (int tries = 0; watched && !connected && tries < 2000; ++tries) {
            const char** peers = jack_port_get_all_connections(_observer, watched);
            connected = peers != nullptr;
            jack_free(static_cast<void*>(peers));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        print(connected ? "connected" : "error nothing connected to " + port);
    }

    void print(const std::string& line)
    {
        const std::lock_guard lock(_printing);
        std::cout << line << std::endl;
    }

    const std::string _name;
    std::mutex _printing;
    std::mutex _mutex; // the assembler and the last message
    SysExAssembler _assembler{1 << 20};
    SysExMessage _last;
    std::unique_ptr<VirtualPortTransport> _transport;
    std::unique_ptr<MidiInput> _input;
    std::unique_ptr<MidiOutput> _output;
    // RtMidi tells nothing of connections; a JACK client of the device's own
    // watches its ports for them.
    jack_client_t* _observer;
    std::size_t _unendedSent = 0;
    std::jthread _unended; // last: it sends through the output until joined
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: a3-simulated-device NAME\n";
        return 2;
    }
    try {
        Device device(argv[1]);
        for (std::string line; std::getline(std::cin, line);) {
            device.run(line);
        }
    } catch (const std::exception& error) {
        std::cout << "error " << error.what() << std::endl;
        return 1;
    }
    return 0;
}
