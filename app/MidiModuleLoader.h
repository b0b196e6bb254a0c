#pragma once

#include "MidiTransport.h"

#include <QString>
#include <memory>
#include <string>

namespace a3 {

// The MIDI system as the app reaches it: through the a3-midi-system module,
// loaded at the first device command and never unloaded, so that the app
// starts without RtMidi, JACK and ALSA. modulePath: the module's file.
// Throws midi::MidiError, also when the module cannot be loaded.
std::unique_ptr<midi::MidiTransport> openMidiSystemFromModule(const QString& modulePath,
                                                              const std::string& clientName);

// The module as installed beside the app: libdir/a3-librarian/ from bin/.
QString installedMidiModule();

} // namespace a3
