#pragma once

#include "MidiTransport.h"
#include "SendSpeed.h"
#include "Transfer.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <map>
#include <stop_token>
#include <thread>
#include <vector>

namespace a3 {

// The app's way to the device: one MIDI transfer at a time for the whole
// app, run on a thread of its own so that the windows never wait for MIDI;
// what it reports comes back on the GUI thread. Nothing of MIDI is opened
// before the first device command, so the app starts as it does without one.
class DeviceLink : public QObject
{
    Q_OBJECT

public:
    enum class Direction
    {
        FromDevice, // our inputs
        ToDevice,   // our outputs
    };

    struct Settings
    {
        double bytesPerSecond;                    // the pace of a send at full speed
        std::chrono::milliseconds receiveTimeout; // how long a receive waits for a dump to begin
        std::string clientName = "A3 Librarian";  // the name other programs see
    };
    // At MIDI's wire speed, the pace a device's input is built for, and with
    // two minutes to start the dump on the device.
    static Settings defaultSettings();

    explicit DeviceLink(Settings settings = defaultSettings(), QObject* parent = nullptr);
    // Stops a transfer that is still running and waits for its thread.
    ~DeviceLink() override;

    // A device command holds the link from its first question to its last
    // message, so that no two run at once; false when another holds it.
    bool begin();
    void end();
    bool isBusy() const { return _busy; }

    // The port chosen last in each direction while the app runs.
    QString lastPort(Direction direction) const;
    void rememberPort(Direction direction, const QString& port);
    // The speed chosen last for each port sent to while the app runs.
    const std::map<QString, SendSpeed>& sendSpeeds() const { return _sendSpeeds; }
    void rememberSendSpeed(const QString& port, SendSpeed speed);

    // Each reports once, on the GUI thread: the ports by name, or why there
    // are none to be had (no MIDI system, say).
    using PortsReply = std::function<void(const QStringList& ports, const QString& failure)>;
    void listPorts(Direction direction, PortsReply reply);

    using Progress = std::function<void(const midi::TransferProgress&)>;
    using Finished = std::function<void(const midi::TransferResult&)>;
    // At speed's share of the settings' pace.
    void send(const QString& port, SendSpeed speed, std::vector<std::uint8_t> dump,
              Progress progress, Finished finished);
    void receive(const QString& port, Progress progress, Finished finished);
    // Stops the running transfer after the fragment going out; it then
    // finishes as cancelled.
    void cancel();

signals:
    void busyChanged(bool busy);

private:
    // A transport for one transfer; called on the link's thread.
    std::unique_ptr<midi::MidiTransport> openTransport() const;
    // Runs work on the link's thread, with a stop token for cancel().
    void runOffTheGuiThread(std::function<void(std::stop_token)> work);
    // Calls f on the GUI thread, later.
    void post(std::function<void()> f);

    Settings _settings;
    QString _midiModule; // where the MIDI system comes from, loaded at the first transfer
    bool _busy = false;
    std::map<Direction, QString> _lastPorts;
    std::map<QString, SendSpeed> _sendSpeeds;
    std::jthread _worker; // last: joined first, while everything it uses exists
};

} // namespace a3
