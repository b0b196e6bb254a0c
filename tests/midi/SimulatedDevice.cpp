// A stand-in for the device on JACK, for the tests. It opens the ports
// "NAME in:MIDI" and "NAME out:MIDI", keeps the last System Exclusive message
// it receives, and acts on commands on its standard input, one a line:
//   send FILE RATE                  the file, in fragments at RATE bytes a second
//   send-truncated FILE BYTES RATE  only the first BYTES bytes of the file
//   send-junk LENGTH                a note, realtime bytes, then a System
//                                   Exclusive message of LENGTH bytes
//   save FILE                       writes the last message received
//   wait-connection in|out          until another program's port is connected
//                                   to the device's input or output
//   close-input                     closes the input port, as a device unplugged
//   disconnect-input                undoes every connection to the input port
// It answers each with one line ("sent N", "saved N" with 0 and no file when
// nothing came, "connected", "closed", "disconnected N" with the number of
// connections undone, or "error TEXT"), prints "ready" once its ports are open and
// "received N" whenever a message has come in, so tests wait for lines, not
// for time.

#include "A3AllData.h"
#include "PacedSender.h"
#include "RtMidiTransport.h"
#include "SysExAssembler.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <jack/jack.h>
#include <mutex>
#include <sstream>
#include <thread>

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
    {
        print("ready");
    }

    void run(const std::string& line)
    {
        std::istringstream words(line);
        std::string command;
        std::string file;
        std::size_t length = 0;
        double rate = 0;
        words >> command;
        if (command == "send" && words >> file >> rate) {
            send(read(file), rate);
        } else if (command == "send-truncated" && words >> file >> length >> rate) {
            auto bytes = read(file);
            bytes.resize(std::min(length, bytes.size()));
            send(bytes, rate);
        } else if (command == "send-junk" && words >> length && length >= 2) {
            for (const std::vector<std::uint8_t>& junk :
                 {std::vector<std::uint8_t>{0x90, 0x3C, 0x40},
                  {0xF8},
                  {0xFE},
                  {0x80, 0x3C, 0x00}}) {
                _output->send(junk);
            }
            std::vector<std::uint8_t> message(length, 0x00);
            std::copy_n(a3::kAllDataHeader.begin(), std::min(length - 1, a3::kHeaderSize),
                        message.begin());
            message.back() = 0xF7;
            send(message, 10 * kWireSpeed);
        } else if (command == "save" && words >> file) {
            save(file);
        } else if (std::string side; command == "wait-connection" && words >> side &&
                                     (side == "in" || side == "out")) {
            waitForConnection(_name + " " + side + ":MIDI");
        } else if (command == "close-input") {
            _input.reset();
            print("closed");
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

    void send(std::span<const std::uint8_t> bytes, double rate)
    {
        SteadyPacingClock clock;
        const TransferResult result =
            PacedSender(rate, clock).send(*_output, bytes, {}, _transport->systemLost(), {});
        print(result.done() ? "sent " + std::to_string(result.bytes) : "error " + result.message);
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

    // RtMidi tells nothing of connections; a JACK client of the device's own
    // watches its port for them.
    jack_client_t* observer()
    {
        jack_client_t* client =
            jack_client_open((_name + " observer").c_str(), JackNoStartServer, nullptr);
        if (!client) {
            print("error no JACK server");
        }
        return client;
    }

    void disconnect(const std::string& port)
    {
        jack_client_t* client = observer();
        if (!client) {
            return;
        }
        const char** peers =
            jack_port_get_all_connections(client, jack_port_by_name(client, port.c_str()));
        int undone = 0;
        for (const char** peer = peers; peer && *peer; ++peer) {
            undone += jack_disconnect(client, *peer, port.c_str()) == 0 ? 1 : 0;
        }
        jack_free(static_cast<void*>(peers));
        jack_client_close(client);
        print("disconnected " + std::to_string(undone));
    }

    void waitForConnection(const std::string& port)
    {
        jack_client_t* client = observer();
        if (!client) {
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const jack_port_t* watched = jack_port_by_name(client, port.c_str());
        bool connected = false;
        while (watched && std::chrono::steady_clock::now() < deadline) {
            const char** peers = jack_port_get_all_connections(client, watched);
            connected = peers != nullptr;
            jack_free(static_cast<void*>(peers));
            if (connected) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        jack_client_close(client);
        print(connected ? "connected" : "error nothing connected to " + port);
    }

    static std::vector<std::uint8_t> read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
