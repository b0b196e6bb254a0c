#include "JackMidiInput.h"

#include <cstring>
#include <jack/jack.h>
#include <jack/midiport.h>

namespace a3::midi {
namespace {

// Only another program's MIDI output can be connected to our input.
bool isMidiOutput(const jack_port_t* port)
{
    return (jack_port_flags(port) & JackPortIsOutput) != 0 &&
           std::strcmp(jack_port_type(port), JACK_DEFAULT_MIDI_TYPE) == 0;
}

} // namespace

JackMidiInput::JackMidiInput(const std::string& clientName, const std::string& portName,
                             MidiInputHandler handler)
    : _handler(std::move(handler))
    , _client(jack_client_open(clientName.c_str(), JackNoStartServer, nullptr))
{
    if (!_client) {
        throw MidiError("No JACK server is running.");
    }
    _port =
        jack_port_register(_client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    // Without a handler there is nothing to call: the port only connects.
    const bool listening =
        !_handler || jack_set_process_callback(_client, &JackMidiInput::process, this) == 0;
    if (!_port || !listening || jack_activate(_client) != 0) {
        jack_client_close(_client);
        throw MidiError("JACK refused the MIDI input \"" + portName + "\".");
    }
}

JackMidiInput::~JackMidiInput()
{
    jack_client_close(_client);
}

void JackMidiInput::connectFrom(const std::string& source)
{
    const jack_port_t* port = jack_port_by_name(_client, source.c_str());
    if (!port || !isMidiOutput(port)) {
        throw MidiError("There is no MIDI port named \"" + source + "\".");
    }
    if (jack_connect(_client, source.c_str(), jack_port_name(_port)) != 0) {
        throw MidiError("JACK refused to connect the MIDI port \"" + source + "\".");
    }
}

int JackMidiInput::process(std::uint32_t frames, void* self)
{
    auto& input = *static_cast<JackMidiInput*>(self);
    void* buffer = jack_port_get_buffer(input._port, frames);
    const std::uint32_t count = jack_midi_get_event_count(buffer);
    for (std::uint32_t index = 0; index < count; ++index) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, index) == 0) {
            input._handler({event.buffer, event.size});
        }
    }
    return 0;
}

} // namespace a3::midi
