#pragma once

#include "UserPrompts.h"

#include <QStringList>
#include <QTimer>

namespace a3::test {

// Answers the app's questions as a test scripts them and records what the
// user would have been shown. Like a dialog, it answers from the event loop,
// never inside the call that asked.
class FakePrompts final : public UserPrompts
{
    using S = const QString&;
    using Closed = std::function<void()>;

public:
    void askToSaveChanges(QWidget*, S name, Reply<SaveChoice> reply) override
    {
        ask(name, reply, saveAnswers.isEmpty() ? SaveChoice::Cancel : saveAnswers.takeFirst());
    }
    void confirmRevert(QWidget*, S name, Reply<bool> reply) override { ask(name, reply, revert); }
    void confirmReplace(QWidget*, S name, Reply<bool> reply) override { ask(name, reply, replace); }
    void askAboutChangedFile(QWidget*, S name, Reply<ChangedFileChoice> reply) override
    {
        ask("changed: " + name, reply, changedFileAnswer);
    }
    void showError(QWidget*, S message, S reason, S detail, Closed closed) override
    {
        errors.append(message + '|' + reason + (detail.isEmpty() ? QString() : '|' + detail));
        QTimer::singleShot(0, closed ? closed : Closed([] {}));
    }
    void offerSaveAs(QWidget*, S message, S reason, Reply<bool> reply) override
    {
        errors.append(message + '|' + reason);
        answer(reply, saveAsAnswer);
    }
    void offerRecovery(QWidget*, S message, S reason, S detail, Reply<bool> reply) override
    {
        recoveryOffers.append(message + '|' + reason +
                              (detail.isEmpty() ? QString() : '|' + detail));
        answer(reply, recoverAnswer);
    }
    void showWarning(QWidget*, S message, S reason, Closed closed) override
    {
        warnings.append(message + '|' + reason);
        QTimer::singleShot(0, closed ? closed : Closed([] {}));
    }
    void showAbout(QWidget*, S, S, Closed closed) override { QTimer::singleShot(0, closed); }
    void showInformation(QWidget*, S message, S detail, Closed closed) override
    {
        information.append(message + '|' + detail);
        QTimer::singleShot(0, closed ? closed : Closed([] {}));
    }
    void choosePort(QWidget*, S question, const QStringList& ports, S preselected,
                    Reply<QString> reply) override
    {
        offeredPorts = ports;
        preselectedPort = preselected;
        ask(question, reply, ports.contains(portAnswer) ? portAnswer : QString());
    }
    void chooseSendPort(QWidget*, S question, const QStringList& ports, S preselected,
                        const std::map<QString, SendSpeed>& lastSpeeds,
                        Reply<SendChoice> reply) override
    {
        offeredPorts = ports;
        preselectedPort = preselected;
        offeredSpeeds = lastSpeeds;
        ask(question, reply,
            ports.contains(portAnswer) ? SendChoice{portAnswer, speedAnswer} : SendChoice());
    }
    void showComparison(QWidget*, S summary, const QList<QStringList>& rows, Closed closed) override
    {
        comparisons.append({summary, rows});
        QTimer::singleShot(0, closed);
    }
    void chooseBanksToOpen(QWidget*, S fileName, const QList<QStringList>& rows,
                           Reply<QList<int>> reply) override
    {
        bankChoices.append({fileName, rows});
        QList<int> chosen = banksToOpen;
        chosen.removeIf([&rows](int row) { return row < 0 || row >= rows.size(); });
        answer(reply, chosen);
    }
    void chooseFilesToOpen(QWidget*, Reply<QStringList> reply) override
    {
        answer(reply, filesToOpen);
    }
    void chooseFileToRecover(QWidget*, Reply<QString> reply) override
    {
        answer(reply, fileToRecover);
    }
    void chooseMidiExport(QWidget*, S suggested, Reply<MidiExport> reply) override
    {
        suggestedSavePaths.append(suggested);
        answer(reply, midiExport);
    }
    void chooseSaveLocation(QWidget*, S suggested, Reply<QString> reply) override
    {
        suggestedSavePaths.append(suggested);
        answer(reply, saveLocation);
    }
    void choosePdfLocation(QWidget*, S suggested, Reply<QString> reply) override
    {
        suggestedSavePaths.append(suggested);
        answer(reply, pdfLocation);
    }
    void chooseSoundsExportLocation(QWidget*, S suggested, Reply<QString> reply) override
    {
        suggestedSavePaths.append(suggested);
        answer(reply, soundsFile);
    }
    void chooseSoundsFileToImport(QWidget*, Reply<QString> reply) override
    {
        answer(reply, soundsFile);
    }

    QList<SaveChoice> saveAnswers; // then Cancel
    bool revert = true;
    bool replace = false;
    bool saveAsAnswer = false;
    bool recoverAnswer = false;
    QString fileToRecover;
    MidiExport midiExport; // no path: cancelled
    ChangedFileChoice changedFileAnswer = ChangedFileChoice::Cancel;
    QString saveLocation;
    QString pdfLocation;
    QString soundsFile; // exported to, imported from
    QString portAnswer; // not offered: cancel
    QStringList filesToOpen;
    QList<int> banksToOpen; // rows beyond those offered are left out
    SendSpeed speedAnswer = SendSpeed::Full;

    QStringList asked;
    QStringList offeredPorts;
    QString preselectedPort;
    std::map<QString, SendSpeed> offeredSpeeds;
    QList<std::pair<QString, QList<QStringList>>> comparisons;
    QList<std::pair<QString, QList<QStringList>>> bankChoices;
    QStringList errors;
    QStringList recoveryOffers; // errors with recovering offered
    QStringList warnings;
    QStringList information;
    QStringList suggestedSavePaths;

private:
    template <typename Answer>
    static void answer(const Reply<Answer>& reply, const Answer& answer)
    {
        QTimer::singleShot(0, [reply, answer] { reply(answer); });
    }
    template <typename Answer>
    void ask(const QString& question, const Reply<Answer>& reply, const Answer& answer)
    {
        asked.append(question);
        FakePrompts::answer(reply, answer);
    }
};

} // namespace a3::test
