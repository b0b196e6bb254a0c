#include "DocumentWindow.h"

#include "A3AllDataDocument.h"
#include "AppController.h"
#include "AppMenus.h"
#include "AppServices.h"
#include "BankView.h"
#include "DeviceCommands.h"
#include "DeviceLink.h"
#include "DocumentController.h"
#include "EditCommands.h"
#include "FileDrop.h"
#include "SoundCommands.h"
#include "Sounds.h"
#include "TableView.h"
#include "UserPrompts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QPointer>
#include <algorithm>

namespace a3 {

DocumentWindow::DocumentWindow(std::unique_ptr<A3AllDataDocument> document,
                               DocumentController& controller, AppServices& services,
                               AppController& appController, UserPrompts& prompts)
    : _document(std::move(document))
    , _controller(controller)
    , _services(services)
    , _appController(appController)
    , _prompts(prompts)
    , _questions(*this, prompts, [this] { closeIfDeferred(); })
    , _view(new BankView(*_document))
    , _files(*_document, _questions, controller)
    , _printing(*_document, _questions, services)
    , _exporting(*_document, _questions)
    , _device(std::make_unique<DeviceCommands>(*_document, _questions, services, controller))
{
    setCentralWidget(_view);
    new FileDrop(*this, [this](const QStringList& files) { _files.openFiles(files); });
    resize(460, 640);
    createMenus();
    updateTitle();

    const auto documentChanged = [this] {
        updateTitle();
        updateFileActions();
    };
    connect(_document.get(), &A3AllDataDocument::modificationChanged, this, documentChanged);
    connect(_document.get(), &A3AllDataDocument::filePathChanged, this, documentChanged);
    // Focus moves into the name editor when a rename starts: a pending edit.
    connect(qApp, &QApplication::focusChanged, this, &DocumentWindow::updateFileActions);
    connect(&services.deviceLink(), &DeviceLink::busyChanged, this,
            &DocumentWindow::updateDeviceActions);
    updateFileActions();
    updateDeviceActions();
}

DocumentWindow::~DocumentWindow()
{
    // The view and commands go before the document; the app must not call in.
    disconnect(qApp, nullptr, this, nullptr);
    _edit.reset();
    delete takeCentralWidget();
}

std::vector<library::Sound> DocumentWindow::selectedSounds() const
{
    std::vector<library::Sound> sounds;
    for (const qint64 row : _view->table().selectedRowIndexes()) {
        library::Sound sound = soundOf(_document->bank(), row);
        if (std::ranges::none_of(
                sounds, [&](const library::Sound& held) { return held.key() == sound.key(); })) {
            sounds.push_back(sound);
        }
    }
    return sounds;
}

void DocumentWindow::createMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    addCommand(file, tr("&New"), QKeySequence::New, [this] { _controller.newDocument(); });
    addCommand(file, tr("&Open…"), QKeySequence::Open, [this] { _files.open(); });
    addCommand(file, tr("Recover Patc&hes…"), {}, [this] { _files.recover(); });
    file->addSeparator();
    addCommand(file, tr("&Close"), QKeySequence::Close, [this] { closeDocument(); });
    _save = addCommand(file, tr("&Save"), QKeySequence::Save, [this] { _files.save(); });
    addCommand(file, tr("Save &As…"), commandShortcut(QKeySequence::SaveAs, "Ctrl+Shift+S"),
               [this] { _files.saveAs(); });
    _revert = addCommand(file, tr("&Revert to Saved"), {}, [this] { _files.revert(); });
    file->addSeparator();
    addCommand(file, tr("Page Set&up…"), {}, [this] { _printing.runPageLayout(); });
    addCommand(file, tr("Print Pre&view…"), {}, [this] { _printing.printPreview(); });
    addCommand(file, tr("&Print…"), QKeySequence::Print, [this] { _printing.printDocument(); });
    QMenu* exports = file->addMenu(tr("&Export"));
    addCommand(exports, tr("&PDF…"), {}, [this] { _printing.exportAsPdf(); });
    addCommand(exports, tr("&MIDI File…"), {}, [this] { _exporting.exportMidiFile(); });
    file->addSeparator();
    addCommand(file, tr("&Quit"), commandShortcut(QKeySequence::Quit, "Ctrl+Q"), [this] {
        _controller.quit();
    })->setMenuRole(QAction::QuitRole);

    _edit = std::make_unique<EditCommands>(*_document, *_view, menuBar()->addMenu(tr("&Edit")));

    // What the user says of the selected patches' sounds: kept at once, for
    // the sounds and not in the bank, so the bank is not modified by it.
    Sounds& sounds = _services.sounds();
    QMenu* soundMenu = menuBar()->addMenu(tr("&Sound"));
    new SoundCommands(
        sounds, _view->table(), [this] { return selectedSounds(); },
        SoundCommands::Keys::WithCtrlShift, soundMenu);
    soundMenu->addSeparator();
    soundMenu->addAction(sounds.undoStack().createUndoAction(soundMenu, tr("Undo")));
    _view->setMarks([sounds = QPointer<Sounds>(&sounds), document = _document.get()](int row) {
        return sounds ? soundMarks(sounds->dataOf(soundOf(document->bank(), row).key()))
                      : QString();
    });
    connect(&sounds, &Sounds::snapshotChanged, _view, &BankView::showMarksAgain);

    // One transfer at a time for the whole app: the commands wait meanwhile.
    QMenu* device = menuBar()->addMenu(tr("&Device"));
    _deviceActions = {
        addCommand(device, tr("&Send Bank to Device…"), {}, [this] { _device->sendBank(); }),
        addCommand(device, tr("&Receive Bank from Device…"), {},
                   [this] { _device->receiveBank(); }),
        addCommand(device, tr("&Compare with Device…"), {},
                   [this] { _device->compareWithDevice(); }),
    };

    addWindowMenu(menuBar(), _controller);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    addCommand(help, tr("Visit &Web Site"), {}, [this] { _appController.openWebSite(); });
    addCommand(help, tr("&About A3 Librarian"), {}, [this] {
        _prompts.showAbout(this, tr("About A3 Librarian"), AppController::aboutText(),
                           _questions.whenAnswered([] {}));
    })->setMenuRole(QAction::AboutRole);
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

void DocumentWindow::updateFileActions()
{
    // A name still being typed is an unsaved change too: the commands store
    // it before they run.
    const bool unsaved = _document->isModified() || _view->table().hasPendingEdit();
    const bool stored = !_document->filePath().isEmpty();
    _save->setEnabled(unsaved || !stored);
    _revert->setEnabled(unsaved && stored);
}

void DocumentWindow::updateDeviceActions()
{
    const bool free = !_services.deviceLink().isBusy();
    for (QAction* device : _deviceActions) {
        device->setEnabled(free);
    }
}

void DocumentWindow::updateTitle()
{
    setWindowTitle(_document->displayName() + QStringLiteral("[*]"));
    setWindowModified(_document->isModified());
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
        comeForward();
        return;
    }
    _view->table().commitPendingEdit();
    if (!_document->isModified()) {
        finishClosing(true);
        return;
    }
    _closing = true;
    // A quit from another window asks about this one: show which it is.
    comeForward();
    _prompts.askToSaveChanges(this, _document->displayName(),
                              _questions.whenAnswered([this](UserPrompts::SaveChoice choice) {
                                  if (choice == UserPrompts::SaveChoice::Save) {
                                      _files.save([this](bool saved) { finishClosing(saved); });
                                  } else {
                                      finishClosing(choice == UserPrompts::SaveChoice::DontSave);
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

void DocumentWindow::comeForward()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
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
    static_cast<void>(_document->reload());
}

} // namespace a3
