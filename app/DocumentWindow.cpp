#include "DocumentWindow.h"

#include "A3AllDataDocument.h"
#include "AppController.h"
#include "BankView.h"
#include "DeviceCommands.h"
#include "DeviceLink.h"
#include "DocumentController.h"
#include "TableView.h"
#include "UserPrompts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMimeData>

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
    , _questions(*this, prompts, [this] { closeIfDeferred(); })
    , _view(new BankView(*_document))
    , _files(*_document, _questions, controller)
    , _printing(*_document, _questions, controller)
    , _device(std::make_unique<DeviceCommands>(*_document, _questions, controller.deviceLink(),
                                               controller))
{
    setCentralWidget(_view);
    setAcceptDrops(true); // files dropped from a file manager open as documents
    resize(460, 640);
    createMenus();
    updateTitle();

    // Each command's state is refreshed by what it depends on, so that its
    // shortcut obeys it too; reading the clipboard is left to the changes
    // that can alter Paste.
    connect(_document.get(), &A3AllDataDocument::modificationChanged, this, [this] {
        updateTitle();
        updateFileActions();
    });
    connect(_document.get(), &A3AllDataDocument::filePathChanged, this, [this] {
        updateTitle();
        updateFileActions();
    });
    QUndoStack& undo = _document->undoStack();
    connect(&undo, &QUndoStack::indexChanged, this, &DocumentWindow::updateUndoActions);
    connect(&undo, &QUndoStack::cleanChanged, this, &DocumentWindow::updateUndoActions);
    // Focus moves into the name editor when a rename starts: a pending edit.
    connect(qApp, &QApplication::focusChanged, this, [this] {
        updateEditActions();
        updateFileActions();
    });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &DocumentWindow::updateEditActions);
    connect(_view->table().selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DocumentWindow::updateEditActions);
    connect(&controller.deviceLink(), &DeviceLink::busyChanged, this,
            &DocumentWindow::updateDeviceActions);
    updateEditActions();
    updateFileActions();
    updateUndoActions();
    updateDeviceActions();
}

DocumentWindow::~DocumentWindow()
{
    // The view goes before the document it shows, and nothing may call into
    // this window while it is torn down: not the app, nor the document's undo
    // stack as it empties.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    disconnect(&_document->undoStack(), nullptr, this, nullptr);
    delete takeCentralWidget();
}

void DocumentWindow::createMenus()
{
    const auto add = [this](QMenu* menu, const QString& text, const QKeySequence& keys,
                            const std::function<void()>& handler, std::optional<Command> command) {
        QAction* action = addCommand(menu, text, keys, handler);
        if (command) {
            _actions[static_cast<std::size_t>(*command)] = action;
        }
        return action;
    };
    _actions.resize(static_cast<std::size_t>(Command::Revert) + 1);
    QMenu* file = menuBar()->addMenu(tr("&File"));
    add(file, tr("&New"), QKeySequence::New, [this] { _controller.newDocument(); }, {});
    add(file, tr("&Open…"), QKeySequence::Open, [this] { _files.open(); }, {});
    file->addSeparator();
    add(file, tr("&Close"), QKeySequence::Close, [this] { closeDocument(); }, {});
    add(
        file, tr("&Save"), QKeySequence::Save, [this] { _files.save(); }, Command::Save);
    add(file, tr("Save &As…"), shortcut(QKeySequence::SaveAs, "Ctrl+Shift+S"),
        [this] { _files.saveAs(); }, {});
    add(
        file, tr("&Revert to Saved"), {}, [this] { _files.revert(); }, Command::Revert);
    file->addSeparator();
    add(file, tr("Page Set&up…"), {}, [this] { _printing.runPageLayout(); }, {});
    add(file, tr("Print Pre&view…"), {}, [this] { _printing.printPreview(); }, {});
    add(file, tr("&Print…"), QKeySequence::Print, [this] { _printing.printDocument(); }, {});
    add(file, tr("&Export as PDF…"), {}, [this] { _printing.exportAsPdf(); }, {});
    file->addSeparator();
    add(file, tr("&Quit"), shortcut(QKeySequence::Quit, "Ctrl+Q"), [this] { _controller.quit(); },
        {})
        ->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    add(
        edit, tr("&Undo"), QKeySequence::Undo, [this] { _document->undoStack().undo(); },
        Command::Undo);
    add(
        edit, tr("&Redo"), QKeySequence::Redo, [this] { _document->undoStack().redo(); },
        Command::Redo);
    edit->addSeparator();
    add(
        edit, tr("&Copy"), QKeySequence::Copy, [this] { copy(); }, Command::Copy);
    add(
        edit, tr("&Paste"), QKeySequence::Paste, [this] { paste(); }, Command::Paste);
    add(edit, tr("Select &All"), QKeySequence::SelectAll, [this] { _view->table().selectAll(); },
        {});

    // One transfer at a time for the whole app: the commands wait meanwhile.
    QMenu* device = menuBar()->addMenu(tr("&Device"));
    _deviceActions = {
        add(device, tr("&Send Bank to Device…"), {}, [this] { _device->sendBank(); }, {}),
        add(device, tr("&Receive Bank from Device…"), {}, [this] { _device->receiveBank(); }, {}),
        add(device, tr("&Compare with Device…"), {}, [this] { _device->compareWithDevice(); }, {}),
    };

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    add(help, tr("Visit &Web Site"), {}, [this] { _appController.openWebSite(); }, {});
    add(help, tr("&About A3 Librarian"), {},
        [this] {
            _prompts.showAbout(this, tr("About A3 Librarian"),
                               tr("<p><b>A3 Librarian</b> %1</p><p>Keeps the patch banks of the "
                                  "A3 multi-effects processor: rename, copy, print and save "
                                  "All-Data files.</p>")
                                   .arg(QApplication::applicationVersion()),
                               _questions.whenAnswered([] {}));
        },
        {})
        ->setMenuRole(QAction::AboutRole);
}

QAction* DocumentWindow::addCommand(QMenu* menu, const QString& text, const QKeySequence& shortcut,
                                    const std::function<void()>& handler)
{
    QAction* action = menu->addAction(text);
    action->setShortcut(shortcut);
    // Every command sees the bank with the name still being typed stored.
    connect(action, &QAction::triggered, this, [this, handler] {
        _view->table().commitPendingEdit();
        handler();
    });
    return action;
}

bool DocumentWindow::holdsUnsavedChanges() const
{
    // A name still being typed is an unsaved change too: the commands store
    // it before they run.
    return _document->isModified() || _view->table().hasPendingEdit();
}

void DocumentWindow::updateEditActions()
{
    const TableView& table = _view->table();
    const bool focused = table.holdsCommandFocus();
    action(Command::Copy)->setEnabled(focused && !table.selectedRowIndexes().isEmpty());
    action(Command::Paste)->setEnabled(focused && _document->isPastable());
}

void DocumentWindow::updateFileActions()
{
    const bool stored = !_document->filePath().isEmpty();
    action(Command::Save)->setEnabled(holdsUnsavedChanges() || !stored);
    action(Command::Revert)->setEnabled(holdsUnsavedChanges() && stored);
}

void DocumentWindow::updateUndoActions()
{
    const QUndoStack& undo = _document->undoStack();
    // "Undo Paste 3 Patches": the menu says what the command takes back.
    action(Command::Undo)->setEnabled(undo.canUndo());
    action(Command::Undo)
        ->setText(undo.canUndo() ? tr("&Undo %1").arg(undo.undoText()) : tr("&Undo"));
    action(Command::Redo)->setEnabled(undo.canRedo());
    action(Command::Redo)
        ->setText(undo.canRedo() ? tr("&Redo %1").arg(undo.redoText()) : tr("&Redo"));
}

void DocumentWindow::updateDeviceActions()
{
    const bool free = !_controller.deviceLink().isBusy();
    for (QAction* device : _deviceActions) {
        device->setEnabled(free);
    }
}

void DocumentWindow::updateTitle()
{
    setWindowTitle(_document->displayName() + QStringLiteral("[*]"));
    setWindowModified(_document->isModified());
}

void DocumentWindow::copy()
{
    if (_view->table().holdsCommandFocus()) {
        QGuiApplication::clipboard()->setMimeData(
            _document->writeRows(_view->table().selectedRowIndexes()).release());
    }
}

void DocumentWindow::paste()
{
    if (_view->table().holdsCommandFocus()) {
        _document->paste(_view->table().selectedRowIndexes());
    }
}

void DocumentWindow::closeIfDeferred()
{
    if (!_questions.any() && _closeDeferred) {
        _closeDeferred = false;
        closeDocument();
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
    if (_questions.any()) {
        _closeDeferred = true;
        raise();
        activateWindow();
        return;
    }
    _view->table().commitPendingEdit();
    if (!_document->isModified()) {
        finishClosing(true);
        return;
    }
    _closing = true;
    // A quit from another window asks about this one: show which it is.
    raise();
    activateWindow();
    _prompts.askToSaveChanges(this, _document->displayName(),
                              _questions.whenAnswered([this](UserPrompts::SaveChoice choice) {
                                  switch (choice) {
                                  case UserPrompts::SaveChoice::Save:
                                      _files.save([this](bool saved) { finishClosing(saved); });
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
    if (_questions.any() || _closing || _document->isModified() ||
        !_document->fileChangedOnDisk()) {
        return;
    }
    _document->reload();
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
        this, [this, files] { _files.openFiles(files); }, Qt::QueuedConnection);
}

} // namespace a3
