#pragma once

#include "SendSpeed.h"

#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <map>

class QWidget;

namespace a3 {

// The questions and messages the document commands put to the user. Every
// one returns at once and answers later, from the event loop: a question
// never runs an event loop of its own under a window that could be deleted
// meanwhile. Each answers once; a dialog closed any other way than by its
// buttons answers as cancelled. Names are shown as they are, never as
// markup. The app uses native dialogs; tests answer in their place.
class UserPrompts
{
public:
    enum class SaveChoice
    {
        Save,
        DontSave,
        Cancel,
    };
    enum class ChangedFileChoice
    {
        SaveAnyway,
        Revert,
        Cancel,
    };
    // Where a bank goes, and how fast; no port when the user cancels.
    struct SendChoice
    {
        QString port;
        SendSpeed speed = SendSpeed::Full;
    };
    // Where a bank goes as a MIDI file, and how; no path when the user
    // cancels.
    struct MidiExport
    {
        QString path;
        std::size_t packetSize = 0;        // of each SysEx event; 0 for the dump in one
        SendSpeed speed = SendSpeed::Full; // that the packets follow each other at
    };
    template <typename Answer>
    using Reply = std::function<void(Answer)>;

    virtual ~UserPrompts() = default;

    virtual void askToSaveChanges(QWidget* window, const QString& displayName,
                                  Reply<SaveChoice> reply) = 0;
    virtual void confirmRevert(QWidget* window, const QString& displayName, Reply<bool> reply) = 0;
    // Asked when a name the user typed, completed with its extension, is
    // taken by a file the save dialog did not ask about.
    virtual void confirmReplace(QWidget* window, const QString& fileName, Reply<bool> reply) = 0;
    // Asked before a save would overwrite what another program wrote.
    virtual void askAboutChangedFile(QWidget* window, const QString& displayName,
                                     Reply<ChangedFileChoice> reply) = 0;
    // closed runs once the user has dismissed the message; detail, when
    // there is one, is there for the user who asks for it.
    virtual void showError(QWidget* parent, const QString& message, const QString& reason,
                           const QString& detail, std::function<void()> closed) = 0;
    // A file that could not be saved, with Save As offered in its place:
    // reply is true when the user wants to save under another name.
    virtual void offerSaveAs(QWidget* window, const QString& message, const QString& reason,
                             Reply<bool> reply) = 0;
    // A file or a dump that could not be opened, with recovering its patches
    // offered: reply is true when the user wants them recovered.
    virtual void offerRecovery(QWidget* parent, const QString& message, const QString& reason,
                               const QString& detail, Reply<bool> reply) = 0;
    // Something done, but not quite as it should have been.
    virtual void showWarning(QWidget* parent, const QString& message, const QString& reason,
                             std::function<void()> closed) = 0;
    virtual void showAbout(QWidget* parent, const QString& title, const QString& text,
                           std::function<void()> closed) = 0;
    // Something done, and what came of it.
    virtual void showInformation(QWidget* parent, const QString& message, const QString& detail,
                                 std::function<void()> closed) = 0;
    // One of ports, preselected first when it is among them; nothing when the
    // user cancels.
    virtual void choosePort(QWidget* window, const QString& question, const QStringList& ports,
                            const QString& preselected, Reply<QString> reply) = 0;
    // As choosePort, and the speed to send at: as each port is chosen, the
    // one lastSpeeds holds for it is offered, Full for a port not there.
    virtual void chooseSendPort(QWidget* window, const QString& question, const QStringList& ports,
                                const QString& preselected,
                                const std::map<QString, SendSpeed>& lastSpeeds,
                                Reply<SendChoice> reply) = 0;
    // A bank compared with the device's: the summary, and a row for each
    // patch that differs (number, name here, name on the device).
    virtual void showComparison(QWidget* window, const QString& summary,
                                const QList<QStringList>& rows, std::function<void()> closed) = 0;
    // The banks a file holds, a row each (place, chain ID, first patch
    // names): the rows the user chose to open, every one for Open All;
    // none when the user cancels.
    virtual void chooseBanksToOpen(QWidget* parent, const QString& fileName,
                                   const QList<QStringList>& rows, Reply<QList<int>> reply) = 0;
    // Nothing (an empty list or path) when the user cancels.
    virtual void chooseFilesToOpen(QWidget* parent, Reply<QStringList> reply) = 0;
    virtual void chooseFileToRecover(QWidget* parent, Reply<QString> reply) = 0;
    virtual void chooseSaveLocation(QWidget* parent, const QString& suggestedPath,
                                    Reply<QString> reply) = 0;
    // How the dump goes into the file, then where the file goes.
    virtual void chooseMidiExport(QWidget* parent, const QString& suggestedPath,
                                  Reply<MidiExport> reply) = 0;
    virtual void choosePdfLocation(QWidget* parent, const QString& suggestedPath,
                                   Reply<QString> reply) = 0;
    // Where what was said of every sound goes, and which such file comes in.
    virtual void chooseSoundsExportLocation(QWidget* parent, const QString& suggestedPath,
                                            Reply<QString> reply) = 0;
    virtual void chooseSoundsFileToImport(QWidget* parent, Reply<QString> reply) = 0;
};

// The real thing: message boxes and the platform's file dialogs, each on the
// heap, shown window-modal with open() and deleted once closed.
class DialogPrompts final : public UserPrompts
{
public:
    void askToSaveChanges(QWidget* window, const QString& displayName,
                          Reply<SaveChoice> reply) override;
    void confirmRevert(QWidget* window, const QString& displayName, Reply<bool> reply) override;
    void confirmReplace(QWidget* window, const QString& fileName, Reply<bool> reply) override;
    void askAboutChangedFile(QWidget* window, const QString& displayName,
                             Reply<ChangedFileChoice> reply) override;
    void showError(QWidget* parent, const QString& message, const QString& reason,
                   const QString& detail, std::function<void()> closed) override;
    void offerSaveAs(QWidget* window, const QString& message, const QString& reason,
                     Reply<bool> reply) override;
    void offerRecovery(QWidget* parent, const QString& message, const QString& reason,
                       const QString& detail, Reply<bool> reply) override;
    void showWarning(QWidget* parent, const QString& message, const QString& reason,
                     std::function<void()> closed) override;
    void showAbout(QWidget* parent, const QString& title, const QString& text,
                   std::function<void()> closed) override;
    void showInformation(QWidget* parent, const QString& message, const QString& detail,
                         std::function<void()> closed) override;
    void choosePort(QWidget* window, const QString& question, const QStringList& ports,
                    const QString& preselected, Reply<QString> reply) override;
    void chooseSendPort(QWidget* window, const QString& question, const QStringList& ports,
                        const QString& preselected, const std::map<QString, SendSpeed>& lastSpeeds,
                        Reply<SendChoice> reply) override;
    void showComparison(QWidget* window, const QString& summary, const QList<QStringList>& rows,
                        std::function<void()> closed) override;
    void chooseBanksToOpen(QWidget* parent, const QString& fileName, const QList<QStringList>& rows,
                           Reply<QList<int>> reply) override;
    void chooseFilesToOpen(QWidget* parent, Reply<QStringList> reply) override;
    void chooseFileToRecover(QWidget* parent, Reply<QString> reply) override;
    void chooseSaveLocation(QWidget* parent, const QString& suggestedPath,
                            Reply<QString> reply) override;
    void chooseMidiExport(QWidget* parent, const QString& suggestedPath,
                          Reply<MidiExport> reply) override;
    void choosePdfLocation(QWidget* parent, const QString& suggestedPath,
                           Reply<QString> reply) override;
    void chooseSoundsExportLocation(QWidget* parent, const QString& suggestedPath,
                                    Reply<QString> reply) override;
    void chooseSoundsFileToImport(QWidget* parent, Reply<QString> reply) override;
};

} // namespace a3
