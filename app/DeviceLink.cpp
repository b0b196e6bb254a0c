#include "DeviceLink.h"

#include "DumpReceiver.h"
#include "MidiModuleLoader.h"
#include "PacedSender.h"

namespace a3 {

using namespace std::chrono_literals;

DeviceLink::Settings DeviceLink::defaultSettings()
{
    return {midi::kWireSpeed, 2min};
}

DeviceLink::DeviceLink(Settings settings, QObject* parent)
    : QObject(parent)
    , _settings(std::move(settings))
    , _midiModule(installedMidiModule())
{}

DeviceLink::~DeviceLink() = default;

bool DeviceLink::begin()
{
    if (_busy) {
        return false;
    }
    _busy = true;
    emit busyChanged(true);
    return true;
}

void DeviceLink::end()
{
    if (_busy) {
        _busy = false;
        emit busyChanged(false);
    }
}

QString DeviceLink::lastPort(Direction direction) const
{
    const auto found = _lastPorts.find(direction);
    return found == _lastPorts.end() ? QString() : found->second;
}

void DeviceLink::rememberPort(Direction direction, const QString& port)
{
    _lastPorts[direction] = port;
}

void DeviceLink::rememberSendSpeed(const QString& port, SendSpeed speed)
{
    _sendSpeeds[port] = speed;
}

void DeviceLink::listPorts(Direction direction, PortsReply reply)
{
    runOffTheGuiThread([this, direction, reply = std::move(reply)](std::stop_token) {
        QStringList ports;
        QString failure;
        try {
            const auto transport = openTransport();
            for (const midi::MidiPort& port : direction == Direction::ToDevice
                                                  ? transport->outputPorts()
                                                  : transport->inputPorts()) {
                ports.append(QString::fromStdString(port.name));
            }
        } catch (const midi::MidiError& error) {
            failure = QString::fromStdString(error.what());
        }
        post([reply, ports, failure] { reply(ports, failure); });
    });
}

void DeviceLink::send(const QString& port, SendSpeed speed, std::vector<std::uint8_t> dump,
                      Progress progress, Finished finished)
{
    const double bytesPerSecond = _settings.bytesPerSecond * percentOf(speed) / 100;
    runOffTheGuiThread([this, port = port.toStdString(), bytesPerSecond, dump = std::move(dump),
                        progress = std::move(progress),
                        finished = std::move(finished)](std::stop_token stop) {
        midi::TransferResult result;
        try {
            const auto transport = openTransport();
            result = midi::sendDump(
                *transport, port, dump, stop,
                [this, progress](const midi::TransferProgress& now) {
                    post([progress, now] { progress(now); });
                },
                bytesPerSecond);
        } catch (const midi::MidiError& error) {
            result.message = error.what();
        }
        post([finished, result = std::move(result)] { finished(result); });
    });
}

void DeviceLink::receive(const QString& port, Progress progress, Finished finished)
{
    runOffTheGuiThread([this, port = port.toStdString(), progress = std::move(progress),
                        finished = std::move(finished)](std::stop_token stop) {
        midi::TransferResult result;
        try {
            const auto transport = openTransport();
            result = midi::receiveDump(*transport, port, _settings.receiveTimeout, stop,
                                       [this, progress](const midi::TransferProgress& now) {
                                           post([progress, now] { progress(now); });
                                       });
        } catch (const midi::MidiError& error) {
            result.message = error.what();
        }
        post([finished, result = std::move(result)] { finished(result); });
    });
}

void DeviceLink::cancel()
{
    _worker.request_stop();
}

std::unique_ptr<midi::MidiTransport> DeviceLink::openTransport() const
{
    return openMidiSystemFromModule(_midiModule, _settings.clientName);
}

void DeviceLink::runOffTheGuiThread(std::function<void(std::stop_token)> work)
{
    _worker = std::jthread(std::move(work));
}

void DeviceLink::post(std::function<void()> f)
{
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

} // namespace a3
