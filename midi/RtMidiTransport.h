#pragma once

#include "MidiTransport.h"

#include <optional>
#include <string_view>

namespace a3::midi {

inline constexpr std::string_view kNoMidiSystemMessage =
    "No MIDI system found: the ALSA sequencer is not available and no JACK server is running.";

// The MIDI system to use, through RtMidi (on JACK, inputs of our own): the
// ALSA sequencer when it can be opened, otherwise a running JACK server; or
// only the one asked for. Its ports belong to clients named "<clientName> in"
// and "<clientName> out".
// Throws MidiError (kNoMidiSystemMessage when neither is there). Prints
// nothing, and nothing of MIDI runs before the first call.
std::unique_ptr<MidiTransport> openMidiSystem(const std::string& clientName,
                                              std::optional<MidiSystem> only = std::nullopt);
// The same, with ports of its own for other programs to connect to.
std::unique_ptr<VirtualPortTransport>
openMidiSystemWithVirtualPorts(const std::string& clientName,
                               std::optional<MidiSystem> only = std::nullopt);

} // namespace a3::midi
