#include "DeviceCommands.h"

#include "A3AllDataDocument.h"
#include "AppServices.h"
#include "DocumentController.h"
#include "Library.h"
#include "ProgressDialog.h"
#include "UserPrompts.h"
#include "WindowQuestions.h"

#include <QFile>
#include <QPointer>

namespace a3 {
namespace {

using Status = midi::TransferResult::Status;

QString minutesAndSeconds(std::chrono::milliseconds time)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time).count();
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString patchName(const std::string& name)
{
    return QString::fromStdString(name);
}

QString patchCount(int count)
{
    return count == 1 ? DeviceCommands::tr("1 patch") : DeviceCommands::tr("%1 patches").arg(count);
}

// How long the receive has waited, asking for the dump once the port listens
// so that no dump starts too early; then how far the dump has come.
void showReceiving(ProgressDialog& progress, const QString& port, const midi::TransferProgress& now)
{
    if (now.bytes == 0) {
        progress.setMaximum(0);
        progress.setText(DeviceCommands::tr("Start the All-Data dump on the device now.\n\nWaiting "
                                            "for it on “%1”: %2")
                             .arg(port, minutesAndSeconds(now.elapsed)));
        return;
    }
    progress.setMaximum(static_cast<int>(kAllDataFileSize));
    progress.setValue(static_cast<int>(now.bytes));
    progress.setText(DeviceCommands::tr("Receiving the dump from “%1”…\n\n%2 of %3 bytes, %4 left")
                         .arg(port, QString::number(now.bytes), QString::number(kAllDataFileSize),
                              minutesAndSeconds(now.remaining)));
}

// Once the transfer has reported; unless the user closed it already.
void closeProgress(const QPointer<ProgressDialog>& progress)
{
    if (progress && progress->isVisible()) {
        progress->accept();
    }
}

} // namespace

ComparisonReport comparisonReport(const BankDifference& difference, const QString& documentName)
{
    ComparisonReport report;
    const auto count = static_cast<int>(difference.patches.size());
    if (difference.identical()) {
        report.summary =
            DeviceCommands::tr("The device holds the same bank as “%1”.").arg(documentName);
    } else if (count == 0) {
        report.summary = DeviceCommands::tr("The device’s bank differs from “%1” in the chain "
                                            "data only.")
                             .arg(documentName);
    } else if (difference.chainDataDiffers) {
        report.summary =
            DeviceCommands::tr("The device’s bank differs from “%1” in %2 and in the chain data.")
                .arg(documentName, patchCount(count));
    } else {
        report.summary = DeviceCommands::tr("The device’s bank differs from “%1” in %2.")
                             .arg(documentName, patchCount(count));
    }
    for (const PatchDifference& patch : difference.patches) {
        report.rows.append(
            {QString::number(patch.number), patchName(patch.nameA), patchName(patch.nameB)});
    }
    return report;
}

DeviceCommands::DeviceCommands(A3AllDataDocument& document, WindowQuestions& questions,
                               AppServices& services, DocumentController& controller)
    : _document(document)
    , _questions(questions)
    , _link(services.deviceLink())
    , _services(services)
    , _controller(controller)
{}

void DeviceCommands::sendBank()
{
    if (!_link.begin()) {
        return;
    }
    // Exactly what saving writes, checksums recomputed, made from a copy so
    // that sending leaves the document as it is.
    A3AllDataSource bank = _document.bank();
    std::vector<std::uint8_t> dump(kAllDataFileSize);
    bank.writeSyxData(std::span<std::uint8_t, kAllDataFileSize>(dump));
    const QString name = _document.displayName();

    withPorts(DeviceLink::Direction::ToDevice,
              [this, name, dump = std::move(dump)](const QStringList& ports) mutable {
                  _questions.prompts().chooseSendPort(
                      _questions.window(), tr("Send “%1” to:").arg(name), ports,
                      _link.lastPort(DeviceLink::Direction::ToDevice), _link.sendSpeeds(),
                      _questions.whenAnswered([this, name, dump = std::move(dump)](
                                                  const UserPrompts::SendChoice& choice) mutable {
                          if (choice.port.isEmpty()) {
                              _link.end();
                              return;
                          }
                          _link.rememberPort(DeviceLink::Direction::ToDevice, choice.port);
                          _link.rememberSendSpeed(choice.port, choice.speed);
                          sendTo(choice, name, std::move(dump));
                      }));
              });
}

void DeviceCommands::sendTo(const UserPrompts::SendChoice& choice, const QString& name,
                            std::vector<std::uint8_t> dump)
{
    const QString port = choice.port;
    QPointer<ProgressDialog> progress = showProgress(tr("Sending “%1” to “%2”…").arg(name, port),
                                                     static_cast<int>(kAllDataFileSize));
    _link.send(
        port, choice.speed, std::move(dump),
        [progress, name, port](const midi::TransferProgress& now) {
            if (progress) {
                progress->setValue(static_cast<int>(now.bytes));
                progress->setText(tr("Sending “%1” to “%2”…\n\n%3 left")
                                      .arg(name, port, minutesAndSeconds(now.remaining)));
            }
        },
        _questions.whenAnswered([this, progress, name, port](const midi::TransferResult& result) {
            closeProgress(progress);
            endWith(result.done() ? QString() : tr("“%1” was not sent to “%2”.").arg(name, port),
                    QString::fromStdString(result.message));
        }));
}

void DeviceCommands::receiveBank()
{
    if (!_link.begin()) {
        return;
    }
    chooseInput(tr("Receive a bank from:"), [this](const QString& port) {
        receiveFrom(
            port,
            [this](const std::vector<std::uint8_t>& dump) { _controller.openReceivedBank(dump); },
            true);
    });
}

void DeviceCommands::compareWithDevice()
{
    if (!_link.begin()) {
        return;
    }
    const QString name = _document.displayName();
    chooseInput(
        tr("Compare “%1” with the bank from:").arg(name), [this, name](const QString& port) {
            receiveFrom(port, [this, name](const std::vector<std::uint8_t>& dump) {
                // Judged a dump as it arrived, so the bank takes it.
                const Result<A3AllDataSource> device = A3AllDataSource::fromSyxData(dump);
                if (!device.ok()) {
                    return;
                }
                const ComparisonReport report =
                    comparisonReport(compareBanks(_document.bank(), *device), name);
                _questions.prompts().showComparison(_questions.window(), report.summary,
                                                    report.rows, _questions.whenAnswered([] {}));
            });
        });
}

void DeviceCommands::withPorts(DeviceLink::Direction direction,
                               std::function<void(const QStringList&)> then)
{
    _link.listPorts(direction,
                    _questions.whenAnswered([this, direction, then = std::move(then)](
                                                const QStringList& ports, const QString& failure) {
                        if (!failure.isEmpty() || ports.isEmpty()) {
                            endWith(tr("The device cannot be reached."),
                                    !failure.isEmpty() ? failure
                                    : direction == DeviceLink::Direction::ToDevice
                                        ? tr("The MIDI system offers no output to send to.")
                                        : tr("The MIDI system offers no input to receive from."));
                            return;
                        }
                        then(ports);
                    }));
}

void DeviceCommands::chooseInput(const QString& question, std::function<void(const QString&)> then)
{
    constexpr auto kFromDevice = DeviceLink::Direction::FromDevice;
    withPorts(kFromDevice, [this, question, then = std::move(then)](const QStringList& ports) {
        _questions.prompts().choosePort(_questions.window(), question, ports,
                                        _link.lastPort(kFromDevice),
                                        _questions.whenAnswered([this, then](const QString& port) {
                                            if (port.isEmpty()) {
                                                _link.end();
                                                return;
                                            }
                                            _link.rememberPort(kFromDevice, port);
                                            then(port);
                                        }));
    });
}

void DeviceCommands::receiveFrom(const QString& port,
                                 std::function<void(std::vector<std::uint8_t>)> then,
                                 bool recoverCut)
{
    QPointer<ProgressDialog> progress =
        showProgress(tr("Getting ready to receive on “%1”…").arg(port), 0);
    _link.receive(
        port,
        [progress, port](const midi::TransferProgress& now) {
            if (progress) {
                showReceiving(*progress, port, now);
            }
        },
        _questions.whenAnswered(
            [this, progress, port, then, recoverCut](const midi::TransferResult& result) {
                closeProgress(progress);
                if (recoverCut && !result.cutShort.empty()) {
                    offerRecovery(port, result);
                    return;
                }
                if (result.done()) {
                    // Shown while the command is still a question of the window:
                    // a close or a Quit waiting for it then finds the bank there.
                    _link.end();
                    // Every bank the device sends is kept, whatever the user
                    // does with it next.
                    const Result<NewFile> kept = _services.library().keepReceivedBank(result.dump);
                    then(result.dump);
                    if (!kept.ok()) {
                        _questions.showError(tr("The bank received could not be kept in the "
                                                "Library's received banks."),
                                             QString::fromLocal8Bit(kept.failure().reason));
                    } else if (!kept->written.durable) {
                        _questions.prompts().showWarning(
                            _questions.window(),
                            tr("The bank received was kept as “%1”, but it may not outlast a power "
                               "cut: its folder could not be synced.")
                                .arg(QFile::decodeName(kept->path.c_str())),
                            QString::fromLocal8Bit(kept->written.whyNotDurable),
                            _questions.whenAnswered([] {}));
                    }
                    return;
                }
                endWith(result.status == Status::Cancelled
                            ? QString()
                            : tr("No bank was received from “%1”.").arg(port),
                        QString::fromStdString(result.message));
            }));
}

void DeviceCommands::offerRecovery(const QString& port, const midi::TransferResult& result)
{
    _link.end();
    _questions.prompts().offerRecovery(
        _questions.window(), tr("No bank was received from “%1”.").arg(port),
        QString::fromStdString(result.message), {},
        _questions.whenAnswered([this, port, cut = result.cutShort](bool recover) {
            DocumentController::OpenFailure failure;
            if (recover && !_controller.recoverReceived(cut, port, failure)) {
                _questions.showError(failure.message, failure.problem.reason);
            }
        }));
}

ProgressDialog* DeviceCommands::showProgress(const QString& text, int maximum)
{
    auto* progress = new ProgressDialog(text, maximum, _questions.window());
    _questions.showDialog(progress, [this](int result) {
        if (result == QDialog::Rejected) {
            _link.cancel();
        }
    });
    return progress;
}

void DeviceCommands::endWith(const QString& message, const QString& reason)
{
    _link.end();
    if (!message.isEmpty()) {
        _questions.showError(message, reason);
    }
}

} // namespace a3
