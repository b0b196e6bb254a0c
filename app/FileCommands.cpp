#include "FileCommands.h"

#include "A3AllDataDocument.h"
#include "DocumentController.h"
#include "DocumentWindow.h"
#include "UserPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace a3 {
FileCommands::FileCommands(A3AllDataDocument& document, WindowQuestions& questions,
                           DocumentController& controller)
    : _document(document)
    , _questions(questions)
    , _controller(controller)
{}

void FileCommands::open()
{
    _questions.prompts().chooseFilesToOpen(
        _questions.window(),
        _questions.whenAnswered([this](const QStringList& files) { openFiles(files); }));
}

void FileCommands::openFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        DocumentController::Opening opening = _controller.openFile(path);
        if (opening.several) {
            const QList<QStringList> rows = DocumentController::bankRows(*opening.several);
            _questions.prompts().chooseBanksToOpen(
                _questions.window(), QFileInfo(path).fileName(), rows,
                _questions.whenAnswered(
                    [&controller = _controller, banks = std::move(*opening.several)](
                        const QList<int>& chosen) { controller.openBanks(banks, chosen); }));
        } else if (!opening.window) {
            tellOpenFailure(path, opening.failure);
        }
    }
}

void FileCommands::tellOpenFailure(const QString& path,
                                   const DocumentController::OpenFailure& failure)
{
    if (!failure.recoverable) {
        _questions.showError(failure.message, failure.problem.reason, {}, failure.problem.detail);
        return;
    }
    _questions.prompts().offerRecovery(_questions.window(), failure.message, failure.problem.reason,
                                       failure.problem.detail,
                                       _questions.whenAnswered([this, path](bool recover) {
                                           if (recover) {
                                               recoverFrom(path);
                                           }
                                       }));
}

void FileCommands::recover()
{
    _questions.prompts().chooseFileToRecover(_questions.window(),
                                             _questions.whenAnswered([this](const QString& path) {
                                                 if (!path.isEmpty()) {
                                                     recoverFrom(path);
                                                 }
                                             }));
}

void FileCommands::recoverFrom(const QString& path)
{
    DocumentController::OpenFailure failure;
    if (!_controller.recoverFile(path, failure)) {
        _questions.showError(failure.message, failure.problem.reason, {}, failure.problem.detail);
    }
}

void FileCommands::save(Done done)
{
    if (_document.filePath().isEmpty()) {
        saveAs(std::move(done));
        return;
    }
    saveTo(_document.filePath(), std::move(done));
}

void FileCommands::saveAs(Done done)
{
    QString suggested = _document.filePath();
    if (suggested.isEmpty()) {
        suggested = _document.suggestedPath();
    }
    if (suggested.isEmpty()) {
        suggested = QDir::home().filePath(tr("Untitled") + QStringLiteral(".syx"));
    }
    _questions.prompts().chooseSaveLocation(
        _questions.window(), suggested,
        _questions.whenAnswered([this, done](const QString& chosen) {
            _questions.withSuffix(chosen, QStringLiteral("syx"), [this, done](const QString& path) {
                if (path.isEmpty()) {
                    report(done, false);
                    return;
                }
                // Two windows on one file would overwrite each other's work.
                if (const QWidget* other = _controller.windowForFile(path);
                    other && other != _questions.window()) {
                    _questions.showError(
                        tr("“%1” is open in another window.").arg(QFileInfo(path).fileName()),
                        tr("Close that window first, or save under another name."), done);
                    return;
                }
                saveTo(path, done);
            });
        }));
}

void FileCommands::saveTo(const QString& path, Done done)
{
    if (!_document.isStoredIn(path) || !_document.fileChangedOnDisk()) {
        writeTo(path, std::move(done));
        return;
    }
    _questions.prompts().askAboutChangedFile(
        _questions.window(), _document.displayName(),
        _questions.whenAnswered([this, path, done](UserPrompts::ChangedFileChoice choice) {
            switch (choice) {
            case UserPrompts::ChangedFileChoice::SaveAnyway:
                writeTo(path, done);
                return;
            case UserPrompts::ChangedFileChoice::Revert:
                reloadFromFile();
                break;
            case UserPrompts::ChangedFileChoice::Cancel:
                break;
            }
            report(done, false);
        }));
}

void FileCommands::writeTo(const QString& path, Done done)
{
    const WriteResult written = _document.save(path);
    if (_questions.reportWritten(path, written, done)) {
        return;
    }
    // A file the user may not write, a full disk: another name or place may do.
    _questions.prompts().offerSaveAs(_questions.window(),
                                     tr("The document “%1” could not be saved as “%2”.")
                                         .arg(_document.displayName(), QFileInfo(path).fileName()),
                                     QString::fromLocal8Bit(written.failure().reason),
                                     _questions.whenAnswered([this, done](bool saveElsewhere) {
                                         if (saveElsewhere) {
                                             saveAs(done);
                                         } else {
                                             report(done, false);
                                         }
                                     }));
}

void FileCommands::revert()
{
    if (!_document.isModified() || _document.filePath().isEmpty()) {
        return;
    }
    _questions.prompts().confirmRevert(_questions.window(), _document.displayName(),
                                       _questions.whenAnswered([this](bool confirmed) {
                                           if (confirmed) {
                                               reloadFromFile();
                                           }
                                       }));
}

void FileCommands::reloadFromFile()
{
    if (const Result<void, FileProblem> reloaded = _document.reload(); !reloaded.ok()) {
        _questions.showError(
            tr("The document “%1” could not be reverted.").arg(_document.displayName()),
            reloaded.failure().reason, {}, reloaded.failure().detail);
    }
}

} // namespace a3
