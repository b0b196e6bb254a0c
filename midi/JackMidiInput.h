#pragma once

#include "MidiTransport.h"

#include <cstdint>
#include <memory>
#include <string>

using jack_client_t = struct _jack_client;
using jack_port_t = struct _jack_port;

namespace a3::midi {

// A MIDI input on JACK through a libjack client of our own: each event's
// bytes reach the handler in JACK's process callback as they arrive, and
// nothing is kept. RtMidi's JACK input joins a System Exclusive message until
// its F7, so a message without one grows for as long as it lasts.
class JackMidiInput final : public MidiInput
{
public:
    // A client named clientName (or another name JACK gives it when that one
    // is taken) with the input port portName, active and calling handler,
    // which must not be empty. Throws MidiError.
    JackMidiInput(const std::string& clientName, const std::string& portName,
                  MidiInputHandler handler);
    // Closing the client ends its process callback before it returns.
    ~JackMidiInput() override;
    JackMidiInput(const JackMidiInput&) = delete;
    JackMidiInput& operator=(const JackMidiInput&) = delete;

    // Connects the named MIDI output of another program to our port. Throws
    // MidiError when there is no such port or JACK refuses.
    void connectFrom(const std::string& source);

private:
    static int process(std::uint32_t frames, void* self);

    MidiInputHandler _handler;
    jack_client_t* _client = nullptr;
    jack_port_t* _port = nullptr;
};

} // namespace a3::midi
