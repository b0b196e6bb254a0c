#pragma once

#include "MidiTransport.h"
#include "Transfer.h"

#include <chrono>
#include <stop_token>
#include <string>

namespace a3::midi {

// How long a dump that has begun may go without a byte before the receive
// gives up on it. The device sends its dump without a pause, JACK passes bytes
// on every few milliseconds and a USB interface holds them back for less than
// that; a few seconds stay clear of any of these, and a user whose dump
// stopped is told soon after, not at the end of the wait for one to start.
inline constexpr std::chrono::seconds kDumpSilenceLimit{3};

// Listens on the named port for one complete System Exclusive message and
// takes it as a bank takes a file: exactly 29198 bytes beginning with the
// All-Data header, the rest as leniently as opening a file. Any other message
// is refused with the reason and nothing is delivered; one that grows past
// 29198 bytes is refused as soon as it does, so what is kept stays within a
// dump's size whatever arrives. Waits up to timeout for a message to begin;
// once one has, the time-out no longer counts, and kDumpSilenceLimit without
// a byte of it ends the receive ("The dump stopped after N of 29198 bytes.").
// Blocks until then, cancel, or the MIDI system going away; reports progress
// on the calling thread at once and then about ten times a second.
//
// Bytes are seen as they arrive on JACK. RtMidi's input on the ALSA sequencer
// passes a System Exclusive message on only once its F7 has arrived: there
// the bytes reported stay 0 until then, a dump cut short ends in the
// time-out, and a message without end grows in RtMidi until the time-out.
TransferResult receiveDump(MidiTransport& transport, const std::string& port,
                           std::chrono::milliseconds timeout, std::stop_token cancel,
                           const ProgressHandler& progress);

} // namespace a3::midi
