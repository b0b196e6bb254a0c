#include "MidiModuleLoader.h"

#include "MidiSystemModule.h"

#include <QCoreApplication>
#include <QLibrary>

#ifndef A3_MIDI_MODULE
#define A3_MIDI_MODULE "../lib/a3-librarian/a3-midi-system.so"
#endif

namespace a3 {

std::unique_ptr<midi::MidiTransport> openMidiSystemFromModule(const QString& modulePath,
                                                              const std::string& clientName)
{
    QLibrary module(modulePath);
    // Its code runs the transports it makes: it stays once loaded.
    module.setLoadHints(QLibrary::PreventUnloadHint);
    const auto open =
        reinterpret_cast<midi::OpenMidiSystemFunction>(module.resolve(midi::kOpenMidiSystemSymbol));
    if (!open) {
        throw midi::MidiError(QCoreApplication::translate("DeviceLink",
                                                          "The MIDI support of A3 Librarian "
                                                          "cannot be loaded: %1")
                                  .arg(module.errorString())
                                  .toStdString());
    }
    std::string failure;
    std::unique_ptr<midi::MidiTransport> transport(open(clientName.c_str(), &failure));
    if (!transport) {
        throw midi::MidiError(failure);
    }
    return transport;
}

QString installedMidiModule()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') +
           QLatin1String(A3_MIDI_MODULE);
}

} // namespace a3
