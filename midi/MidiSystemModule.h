#pragma once

#include "MidiTransport.h"

#include <string>

namespace a3::midi {

// The one entry of the a3-midi-system module, for a program that loads it
// rather than linking the MIDI libraries: openMidiSystem behind a C name.
// Returns the transport, which the caller owns, or nothing with the reason
// in failure.
using OpenMidiSystemFunction = MidiTransport* (*)(const char* clientName, std::string* failure);
inline constexpr char kOpenMidiSystemSymbol[] = "a3_open_midi_system";

} // namespace a3::midi
