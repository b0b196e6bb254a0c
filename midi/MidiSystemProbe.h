#pragma once

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

using jack_client_t = struct _jack_client;

namespace a3::midi {

// Whether the ALSA sequencer can be opened. alsa-lib's own error lines are
// silenced first (for the whole process: they would reach the terminal).
bool alsaSequencerAvailable();

// A libjack client of our own, without ports, for what RtMidi's clients never
// pass on: that the server stops (RtMidi's sends then spin for ever once its
// ring buffer fills), and who is connected to a port.
class JackServerWatch
{
public:
    // Nothing when no JACK server is running. Never starts a server; libjack's
    // error and information lines are silenced first (for the whole process).
    static std::unique_ptr<JackServerWatch> connect(const std::string& clientName);
    ~JackServerWatch();
    JackServerWatch(const JackServerWatch&) = delete;
    JackServerWatch& operator=(const JackServerWatch&) = delete;

    // Stop is requested on libjack's thread when the server stops.
    std::stop_token serverStopped() const { return _stopped.get_token(); }

    // The full names of the ports connected to the named one; nothing when
    // there is no such port.
    std::optional<std::vector<std::string>> connectionsOf(const std::string& port) const;

private:
    explicit JackServerWatch(jack_client_t* client);
    static void onShutdown(void* watch);

    jack_client_t* _client;
    std::stop_source _stopped;
};

} // namespace a3::midi
