#include "MidiSystemProbe.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <mutex>

namespace a3::midi {
namespace {

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
void ignoreJackMessage(const char*) {}

} // namespace

bool alsaSequencerAvailable()
{
    static std::once_flag silenced;
    std::call_once(silenced, [] { snd_lib_error_set_handler(&ignoreAlsaError); });
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
        return false;
    }
    snd_seq_close(sequencer);
    return true;
}

std::unique_ptr<JackServerWatch> JackServerWatch::connect(const std::string& clientName)
{
    static std::once_flag silenced;
    std::call_once(silenced, [] {
        jack_set_error_function(&ignoreJackMessage);
        jack_set_info_function(&ignoreJackMessage);
    });
    jack_status_t status{};
    jack_client_t* client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client) {
        return nullptr;
    }
    return std::unique_ptr<JackServerWatch>(new JackServerWatch(client));
}

JackServerWatch::JackServerWatch(jack_client_t* client)
    : _client(client)
{
    // A client that is never activated still hears of the shutdown: its
    // connection to the server carries the notification.
    jack_on_shutdown(_client, &JackServerWatch::onShutdown, this);
}

JackServerWatch::~JackServerWatch()
{
    jack_client_close(_client);
}

std::optional<std::vector<std::string>>
JackServerWatch::connectionsOf(const std::string& port) const
{
    const jack_port_t* found = jack_port_by_name(_client, port.c_str());
    if (!found) {
        return std::nullopt;
    }
    std::vector<std::string> peers;
    const char** names = jack_port_get_all_connections(_client, found);
    for (const char** name = names; name && *name; ++name) {
        peers.emplace_back(*name);
    }
    jack_free(static_cast<void*>(names));
    return peers;
}

void JackServerWatch::onShutdown(void* watch)
{
    static_cast<JackServerWatch*>(watch)->_stopped.request_stop();
}

} // namespace a3::midi
