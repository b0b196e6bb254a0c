#include "MidiSystemModule.h"

#include "RtMidiTransport.h"

extern "C" [[gnu::visibility("default")]] a3::midi::MidiTransport*
a3_open_midi_system(const char* clientName, std::string* failure)
{
    // No exception leaves a module behind a C name.
    try {
        return a3::midi::openMidiSystem(clientName).release();
    } catch (const std::exception& error) {
        *failure = error.what();
        return nullptr;
    }
}

// The name and the type of the entry are checked against each other here.
static_assert(std::is_same_v<decltype(&a3_open_midi_system), a3::midi::OpenMidiSystemFunction>);
