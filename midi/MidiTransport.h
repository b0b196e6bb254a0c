#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace a3::midi {

enum class MidiSystem
{
    AlsaSequencer,
    Jack,
};

// Only a JACK server can go away under a running program.
inline constexpr std::string_view kSystemLostMessage =
    "The JACK server stopped during the transfer.";

// "ALSA sequencer" or "JACK", for the user.
std::string_view nameOf(MidiSystem system);

struct MidiPort
{
    std::string name; // as the system lists it; what openInput and openOutput take
    MidiSystem system;

    bool operator==(const MidiPort&) const = default;
};

// A failure of the MIDI system; what() is a message for the user.
class MidiError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A port this program sends from.
class MidiOutput
{
public:
    virtual ~MidiOutput() = default;
    // Hands one message, or one fragment of a System Exclusive message, to the
    // MIDI system. Throws MidiError.
    virtual void send(std::span<const std::uint8_t> bytes) = 0;
    // The port it sends to, as openOutput was given it; a virtual output's own name.
    virtual const std::string& port() const = 0;
    // Whether that port is still there and still connected to this output:
    // false once its interface is unplugged, the program owning it has quit or
    // the connection was undone. Sending to a port gone raises no error, so a
    // sender asks this. A virtual output has no port to lose. Throws MidiError.
    virtual bool connected() = 0;
};

// A port this program receives on. Destroying it closes the port; once the
// destructor has returned, its handler is never called again.
class MidiInput
{
public:
    virtual ~MidiInput() = default;
};

// Gets the bytes that arrive on an input, System Exclusive and realtime bytes
// included, in order, in pieces of any size (a piece need not be a whole
// message), each as it arrives: on JACK a System Exclusive message comes in
// the pieces it was sent in, long before its F7. Only RtMidi's input on the
// ALSA sequencer holds such a message back until its F7. It is called on the
// MIDI system's own thread (JACK's process thread, RtMidi's ALSA input
// thread, the fake's delivery thread), one call at a time; it must return
// quickly, must not throw and must not call back into the transport.
using MidiInputHandler = std::function<void(std::span<const std::uint8_t> bytes)>;

// One MIDI system, reached through its ports. Make one for each operation
// (listing, a send, a receive): a transport whose system went away stays
// unusable. Its ports must be closed before it is destroyed. Its functions are called
// from one thread at a time, which may block for a short while in the
// system's calls, so a GUI calls them off its event thread.
class MidiTransport
{
public:
    virtual ~MidiTransport() = default;

    virtual MidiSystem system() const = 0;
    // The ports this program can receive from and send to.
    virtual std::vector<MidiPort> inputPorts() = 0;
    virtual std::vector<MidiPort> outputPorts() = 0;
    // Open a port of this program connected to the named one; an input's
    // handler must not be empty. Throw MidiError.
    virtual std::unique_ptr<MidiOutput> openOutput(const std::string& port) = 0;
    virtual std::unique_ptr<MidiInput> openInput(const std::string& port,
                                                 MidiInputHandler handler) = 0;
    // Stop is requested on this token, on whichever thread notices, when the
    // MIDI system goes away (a JACK server stopping).
    virtual std::stop_token systemLost() const = 0;
};

// A transport that also opens ports of this program's own, named for other
// programs to connect to: how the tests' simulated device stands in for the
// device. The app and a3bank only connect to ports that are there.
class VirtualPortTransport : public MidiTransport
{
public:
    // Open a port of this program, named portName. Throw MidiError.
    virtual std::unique_ptr<MidiOutput> openVirtualOutput(const std::string& portName) = 0;
    virtual std::unique_ptr<MidiInput> openVirtualInput(const std::string& portName,
                                                        MidiInputHandler handler) = 0;
};

} // namespace a3::midi
