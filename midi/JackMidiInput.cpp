#include "JackMidiInput.h"

#include <jack/jack.h>
#include <jack/midiport.h>

namespace a3::midi {

JackMidiInput::JackMidiInput(const std::string& clientName, const std::string& portName,
                             MidiInputHandler handler)
    : _handler(std::move(handler))
    , _client(jack_client_open(clientName.c_str(), JackNoStartServer, nullptr))
{
    const MidiError refused("JACK refused the MIDI input \"" + clientName + ":" + portName + "\".");
    if (!_client) {
        throw refused;
    }
    _port =
        jack_port_register(_client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!_port || jack_set_process_callback(_client, &JackMidiInput::process, this) != 0 ||
        jack_activate(_client) != 0) {
        jack_client_close(_client);
        throw refused;
    }
}

JackMidiInput::~JackMidiInput()
{
    jack_client_close(_client);
}

void JackMidiInput::connectFrom(const std::string& source)
{
    if (!jack_port_by_name(_client, source.c_str())) {
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
