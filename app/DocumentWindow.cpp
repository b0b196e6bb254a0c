#include "DocumentWindow.h"

#include "AppController.h"
#include "DeviceCommands.h"
#include "DeviceLink.h"
#include "DocumentController.h"
#include "ListingPrinter.h"
#include "TableView.h"
#include "UserPrompts.h"
#include "WindowModal.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace a3 {
namespace {

QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            files.append(url.toLocalFile());
        }
    }
    return files;
}

void report(const DocumentWindow::Done& done, bool outcome)
{
    if (done) {
        done(outcome);
    }
}

// The platform's keys for a command, or the common ones where the platform
// has none (Save As and Quit have none without a desktop environment).
QKeySequence shortcut(QKeySequence::StandardKey key, const char* common)
{
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    return bindings.isEmpty() ? QKeySequence(QString::fromLatin1(common)) : bindings.front();
}

} // namespace

DocumentWindow::DocumentWindow(std::unique_ptr<A3AllDataDocument> document,
                               DocumentController& controller, AppController& appController,
                               UserPrompts& prompts)
    : _document(std::move(document))
    , _controller(controller)
    , _appController(appController)
    , _prompts(prompts)
    , _device(std::make_unique<DeviceCommands>(*this, controller.deviceLink(), prompts, controller))
    // From the event loop: a question can end inside its dialog's destruction.
    , _openQuestions([this] {
        QMetaObject::invokeMethod(this, &DocumentWindow::closeIfDeferred, Qt::QueuedConnection);
    })
{
    setCentralWidget(_document->makeWindowContent());
    setAcceptDrops(true); // files dropped from a file manager open as documents
    resize(460, 640);
    createMenus();
    updateTitle();
    updateActions({MenuAction::Copy, MenuAction::Paste, MenuAction::Save, MenuAction::Revert});

    // Each command's state is refreshed by what it depends on, so that its
    // shortcut obeys it too; reading the clipboard is left to the changes
    // that can alter Paste.
    const auto documentChanged = [this] {
        updateTitle();
        updateActions({MenuAction::Save, MenuAction::Revert});
    };
    connect(_document.get(), &Document::documentEditedChanged, this, documentChanged);
    connect(_document.get(), &Document::fileURLChanged, this, documentChanged);
    // Focus moves into the name editor when a rename starts: a pending edit.
    connect(qApp, &QApplication::focusChanged, this, [this] {
        updateActions({MenuAction::Copy, MenuAction::Paste, MenuAction::Save, MenuAction::Revert});
    });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { updateActions({MenuAction::Paste}); });
    connect(_document->patchTableView()->selectionModel(), &QItemSelectionModel::selectionChanged,
            this, [this] { updateActions({MenuAction::Copy}); });
    connect(&controller.deviceLink(), &DeviceLink::busyChanged, this,
            &DocumentWindow::updateDeviceActions);
    updateDeviceActions();
}

DocumentWindow::~DocumentWindow()
{
    // The views go before the document whose model they show, and nothing
    // application-wide may call into this window while it is torn down.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    delete takeCentralWidget();
}

void DocumentWindow::createMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    addCommand(file, tr("&New"), QKeySequence::New, [this] { _controller.newDocument(); });
    addCommand(file, tr("&Open…"), QKeySequence::Open, [this] {
        _prompts.chooseFilesToOpen(
            this, whenAnswered([this](const QStringList& files) { openFiles(files); }));
    });
    file->addSeparator();
    addCommand(file, tr("&Close"), QKeySequence::Close, [this] { closeDocument(); });
    addCommand(
        file, tr("&Save"), QKeySequence::Save, [this] { save(); }, MenuAction::Save);
    addCommand(file, tr("Save &As…"), shortcut(QKeySequence::SaveAs, "Ctrl+Shift+S"),
               [this] { saveAs(); });
    addCommand(
        file, tr("&Revert to Saved"), {}, [this] { revertDocumentToSaved(); }, MenuAction::Revert);
    file->addSeparator();
    addCommand(file, tr("Page Set&up…"), {}, [this] { runPageLayout(); });
    addCommand(file, tr("Print Pre&view…"), {}, [this] { printPreview(); });
    addCommand(file, tr("&Print…"), QKeySequence::Print, [this] { printDocument(); });
    addCommand(file, tr("&Export as PDF…"), {}, [this] { exportAsPdf(); });
    file->addSeparator();
    addCommand(file, tr("&Quit"), shortcut(QKeySequence::Quit, "Ctrl+Q"), [this] {
        _controller.quit();
    })->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    addCommand(
        edit, tr("&Copy"), QKeySequence::Copy, [this] { _document->copy(); }, MenuAction::Copy);
    addCommand(
        edit, tr("&Paste"), QKeySequence::Paste, [this] { _document->paste(); }, MenuAction::Paste);

    // One transfer at a time for the whole app: the commands wait meanwhile.
    QMenu* device = menuBar()->addMenu(tr("&Device"));
    _deviceActions = {
        addCommand(device, tr("&Send Bank to Device…"), {}, [this] { _device->sendBank(); }),
        addCommand(device, tr("&Receive Bank from Device…"), {},
                   [this] { _device->receiveBank(); }),
        addCommand(device, tr("&Compare with Device…"), {},
                   [this] { _device->compareWithDevice(); }),
    };

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    addCommand(help, tr("Visit &Web Site"), {}, [this] { _appController.openWebSite(); });
    addCommand(help, tr("&About A3 Librarian"), {}, [this] {
        _prompts.showAbout(this, tr("About A3 Librarian"),
                           tr("<p><b>A3 Librarian</b> %1</p><p>Keeps the patch banks of the "
                              "A3 multi-effects processor: rename, copy, print and save "
                              "All-Data files.</p>")
                               .arg(QApplication::applicationVersion()),
                           whenAnswered([] {}));
    })->setMenuRole(QAction::AboutRole);
}

QAction* DocumentWindow::addCommand(QMenu* menu, const QString& text, const QKeySequence& shortcut,
                                    const std::function<void()>& handler, MenuAction command)
{
    QAction* action = menu->addAction(text);
    action->setShortcut(shortcut);
    // Every command sees the bank with the name still being typed stored.
    connect(action, &QAction::triggered, this, [this, handler] {
        _document->patchTableView()->commitPendingEdit();
        handler();
    });
    if (command != MenuAction::Other) {
        _actions[command] = action;
    }
    return action;
}

void DocumentWindow::updateActions(std::initializer_list<MenuAction> commands)
{
    for (MenuAction command : commands) {
        _actions.at(command)->setEnabled(_document->validateMenuItem(command));
    }
}

void DocumentWindow::updateDeviceActions()
{
    const bool free = !_controller.deviceLink().isBusy();
    for (QAction* action : _deviceActions) {
        action->setEnabled(free);
    }
}

void DocumentWindow::updateTitle()
{
    setWindowTitle(_document->displayName() + QStringLiteral("[*]"));
    setWindowModified(_document->isDocumentEdited());
}

void DocumentWindow::closeIfDeferred()
{
    if (!_openQuestions.any() && _closeDeferred) {
        _closeDeferred = false;
        closeDocument();
    }
}

void DocumentWindow::showDialog(QDialog* dialog, std::function<void(int)> finished)
{
    showWindowModal(dialog, whenAnswered(std::move(finished)));
}

void DocumentWindow::showError(const QString& message, const QString& reason, Done done)
{
    _prompts.showError(this, message, reason, whenAnswered([done] { report(done, false); }));
}

void DocumentWindow::save(Done done)
{
    if (_document->fileURL().isEmpty()) {
        saveAs(std::move(done));
        return;
    }
    saveTo(_document->fileURL().toLocalFile(), std::move(done));
}

void DocumentWindow::saveAs(Done done)
{
    const QUrl file = _document->fileURL();
    const QString suggested = file.isEmpty()
                                  ? QDir::home().filePath(tr("Untitled") + QStringLiteral(".syx"))
                                  : file.toLocalFile();
    _prompts.chooseSaveLocation(
        this, suggested, whenAnswered([this, done](const QString& chosen) {
            withExtension(chosen, QStringLiteral("syx"), [this, done](const QString& path) {
                if (path.isEmpty()) {
                    report(done, false);
                    return;
                }
                // Two windows on one file would overwrite each other's work.
                if (DocumentWindow* other = _controller.windowForFile(path);
                    other && other != this) {
                    showError(tr("“%1” is open in another window.").arg(QFileInfo(path).fileName()),
                              tr("Close that window first, or save under another name."), done);
                    return;
                }
                saveTo(path, done);
            });
        }));
}

void DocumentWindow::withExtension(const QString& path, const QString& suffix,
                                   std::function<void(const QString&)> then)
{
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) {
        then(path);
        return;
    }
    const QString completed = path + QLatin1Char('.') + suffix;
    if (!QFileInfo::exists(completed)) {
        then(completed);
        return;
    }
    _prompts.confirmReplace(
        this, QFileInfo(completed).fileName(),
        whenAnswered([completed, then](bool replace) { then(replace ? completed : QString()); }));
}

void DocumentWindow::saveTo(const QString& path, Done done)
{
    if (!_document->isStoredIn(path) || !_document->fileChangedOnDisk()) {
        writeTo(path, std::move(done));
        return;
    }
    _prompts.askAboutChangedFile(
        this, _document->displayName(),
        whenAnswered([this, path, done](UserPrompts::ChangedFileChoice choice) {
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

void DocumentWindow::writeTo(const QString& path, Done done)
{
    DocumentError error;
    switch (_document->saveToURL(QUrl::fromLocalFile(path), &error)) {
    case Document::SaveOutcome::Saved:
        report(done, true);
        return;
    case Document::SaveOutcome::SavedDurabilityUnknown:
        warnNotDurable(path, error.description, done);
        return;
    case Document::SaveOutcome::NotSaved:
        break;
    }
    // A file the user may not write, a full disk: another name or place may do.
    _prompts.offerSaveAs(this,
                         tr("The document “%1” could not be saved as “%2”.")
                             .arg(_document->displayName(), QFileInfo(path).fileName()),
                         error.description, whenAnswered([this, done](bool saveElsewhere) {
                             if (saveElsewhere) {
                                 saveAs(done);
                             } else {
                                 report(done, false);
                             }
                         }));
}

void DocumentWindow::warnNotDurable(const QString& path, const QString& reason, Done done)
{
    _prompts.showWarning(this,
                         tr("“%1” was written, but a crash or power failure may yet undo it.")
                             .arg(QFileInfo(path).fileName()),
                         tr("Its folder could not be synced: %1").arg(reason),
                         whenAnswered([done] { report(done, true); }));
}

void DocumentWindow::revertDocumentToSaved()
{
    if (!_document->validateMenuItem(MenuAction::Revert)) {
        return;
    }
    _prompts.confirmRevert(this, _document->displayName(), whenAnswered([this](bool confirmed) {
                               if (confirmed) {
                                   reloadFromFile();
                               }
                           }));
}

void DocumentWindow::reloadFromFile()
{
    DocumentError error;
    if (!_document->revertToSaved(&error)) {
        showError(tr("The document “%1” could not be reverted.").arg(_document->displayName()),
                  error.description);
    }
}

void DocumentWindow::closeDocument(Done done)
{
    if (_closeApproved) {
        report(done, true);
        return;
    }
    if (done) {
        _closeWaiters.push_back(std::move(done));
    }
    if (_closing) {
        return; // the answer to the question already open serves every caller
    }
    if (_openQuestions.any()) {
        _closeDeferred = true;
        raise();
        activateWindow();
        return;
    }
    _document->patchTableView()->commitPendingEdit();
    if (!_document->isDocumentEdited()) {
        finishClosing(true);
        return;
    }
    _closing = true;
    // A quit from another window asks about this one: show which it is.
    raise();
    activateWindow();
    _prompts.askToSaveChanges(this, _document->displayName(),
                              whenAnswered([this](UserPrompts::SaveChoice choice) {
                                  switch (choice) {
                                  case UserPrompts::SaveChoice::Save:
                                      save([this](bool saved) { finishClosing(saved); });
                                      return;
                                  case UserPrompts::SaveChoice::DontSave:
                                      finishClosing(true);
                                      return;
                                  case UserPrompts::SaveChoice::Cancel:
                                      finishClosing(false);
                                      return;
                                  }
                              }));
}

void DocumentWindow::finishClosing(bool close)
{
    _closing = false;
    _closeApproved = close;
    const std::vector<Done> waiters = std::exchange(_closeWaiters, {});
    if (close) {
        QMainWindow::close();
    }
    for (const Done& waiter : waiters) {
        waiter(close);
    }
}

void DocumentWindow::closeEvent(QCloseEvent* event)
{
    if (_closeApproved) {
        event->accept();
        return;
    }
    // Decided from the event loop, never inside a close event: the window
    // closes itself again once nothing would be lost.
    event->ignore();
    QMetaObject::invokeMethod(
        this, [this] { closeDocument(); }, Qt::QueuedConnection);
}

void DocumentWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        reloadIfChangedOnDisk();
    }
}

void DocumentWindow::reloadIfChangedOnDisk()
{
    // Only a document without unsaved changes follows its file; one with
    // changes is asked about it when it is saved. A file that does not read
    // as a bank now (half written, say) is left for the next time.
    if (_openQuestions.any() || _closing || _document->isDocumentEdited() ||
        !_document->fileChangedOnDisk()) {
        return;
    }
    _document->revertToSaved(nullptr);
}

QPageLayout DocumentWindow::pageLayout()
{
    if (!_document->pageLayout()) {
        _document->setPageLayout(_controller.defaultPageLayout());
    }
    return *_document->pageLayout();
}

void DocumentWindow::runPageLayout()
{
    auto printer = std::make_shared<QPrinter>();
    printer->setPageLayout(pageLayout());
    showDialog(new QPageSetupDialog(printer.get(), this), [this, printer](int result) {
        if (result == QDialog::Accepted) {
            _document->setPageLayout(printer->pageLayout());
        }
    });
}

void DocumentWindow::printDocument()
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(_document->displayName());
    printer->setPageLayout(pageLayout());
    auto* dialog = new QPrintDialog(printer.get(), this);
    // The listing is one page: nothing to choose from.
    dialog->setMinMax(1, 1);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog->setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
    // The document's paper is where the dialog starts; the user's choice there wins.
    showDialog(dialog, [this, printer](int result) {
        if (result == QDialog::Accepted &&
            !printListing(*printer, printer->pageLayout(), _document->dataSource(),
                          _document->displayName())) {
            showError(tr("“%1” could not be printed.").arg(_document->displayName()),
                      tr("The printer could not be reached or its output file could not be "
                         "written."));
        }
    });
}

void DocumentWindow::printPreview()
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(_document->displayName());
    printer->setPageLayout(pageLayout());
    auto* dialog = new QPrintPreviewDialog(printer.get(), this);
    connect(dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) {
        printListing(*target, target->pageLayout(), _document->dataSource(),
                     _document->displayName());
    });
    showDialog(dialog, [printer](int) {});
}

void DocumentWindow::exportAsPdf(Done done)
{
    const QUrl file = _document->fileURL();
    const QString directory =
        file.isEmpty() ? QDir::homePath() : QFileInfo(file.toLocalFile()).absolutePath();
    const QString suggested = QDir(directory).filePath(
        QFileInfo(_document->displayName()).completeBaseName() + QStringLiteral(".pdf"));
    _prompts.choosePdfLocation(
        this, suggested, whenAnswered([this, done](const QString& chosen) {
            withExtension(chosen, QStringLiteral("pdf"), [this, done](const QString& path) {
                if (path.isEmpty()) {
                    report(done, false);
                    return;
                }
                const WriteResult written =
                    exportListingPdf(QFile::encodeName(path).constData(), pageLayout(),
                                     _document->dataSource(), _document->displayName());
                const QString reason = QString::fromLocal8Bit(written.reason);
                switch (written.outcome) {
                case WriteResult::Outcome::Durable:
                    report(done, true);
                    return;
                case WriteResult::Outcome::DurabilityUnknown:
                    warnNotDurable(path, reason, done);
                    return;
                case WriteResult::Outcome::NotWritten:
                    showError(tr("“%1” could not be exported as “%2”.")
                                  .arg(_document->displayName(), QFileInfo(path).fileName()),
                              reason, done);
                    return;
                }
            });
        }));
}

void DocumentWindow::openFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        DocumentController::OpenFailure failure;
        if (!_controller.openDocument(path, &failure)) {
            showError(failure.message, failure.reason);
        }
    }
}

void DocumentWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void DocumentWindow::dropEvent(QDropEvent* event)
{
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // Opened once the drag is over: a refused file's message must not hold
    // the file manager's drag open.
    QMetaObject::invokeMethod(
        this, [this, files] { openFiles(files); }, Qt::QueuedConnection);
}

} // namespace a3
