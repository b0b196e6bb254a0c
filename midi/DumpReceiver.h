#pragma once

#include "MidiTransport.h"
#include "Transfer.h"

#include <chrono>
#include <stop_token>
#include <string>

namespace a3::midi {

// Listens on the named port for one complete System Exclusive message and
// takes it as a bank takes a file: exactly 29198 bytes beginning with the
// All-Data header, the rest as leniently as opening a file. Any other message
// is refused with the reason and nothing is delivered. Blocks until then, the
// time-out, cancel, or the MIDI system going away; reports progress on the
// calling thread about ten times a second.
//
// RtMidi passes a System Exclusive message on only once its F7 has arrived,
// so the bytes reported stay 0 until then on the ALSA sequencer and JACK, and
// a dump cut short before its F7 ends in the time-out.
TransferResult receiveDump(MidiTransport& transport, const std::string& port,
                           std::chrono::milliseconds timeout, std::stop_token cancel,
                           const ProgressHandler& progress);

} // namespace a3::midi
