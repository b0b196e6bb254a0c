#pragma once

#include "ExportCommands.h"
#include "FileCommands.h"
#include "PrintCommands.h"
#include "Sound.h"
#include "WindowQuestions.h"

#include <QMainWindow>
#include <functional>
#include <memory>
#include <vector>

class QAction;

namespace a3 {

class A3AllDataDocument;
class AppController;
class AppServices;
class BankView;
class DeviceCommands;
class EditCommands;
class DocumentController;
class UserPrompts;

// The window of one document: it owns the document and shows it, carries the
// menus, enables each command from the document's and the table's state, and
// closes only once nothing unsaved would be lost. The commands themselves
// are the file, print, export and device families.
//
// A window is never closed, and so never deleted, while one of its questions
// is open: a close asked for meanwhile waits for it.
class DocumentWindow : public QMainWindow
{
    Q_OBJECT

public:
    using Done = WindowQuestions::Done;

    DocumentWindow(std::unique_ptr<A3AllDataDocument> document, DocumentController& controller,
                   AppServices& services, AppController& appController, UserPrompts& prompts);
    ~DocumentWindow() override;

    A3AllDataDocument& document() { return *_document; }
    BankView& view() { return *_view; }
    FileCommands& files() { return _files; }
    WindowQuestions& questions() { return _questions; }

    // Closes the window once nothing unsaved would be lost: asks about
    // unsaved changes, after any question already open in this window.
    void closeDocument(Done done = {});

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createMenus();
    // The sounds of the selected rows, each once.
    std::vector<library::Sound> selectedSounds() const;
    QAction* addCommand(QMenu* menu, const QString& text, const QKeySequence& shortcut,
                        const std::function<void()>& handler);
    void updateFileActions();
    void updateDeviceActions();
    void updateTitle();

    // Out of the dock and in front, for a question about this window.
    void comeForward();
    void closeIfDeferred();
    void finishClosing(bool close);
    void reloadIfChangedOnDisk();

    std::unique_ptr<A3AllDataDocument> _document;
    DocumentController& _controller;
    AppServices& _services;
    AppController& _appController;
    UserPrompts& _prompts;
    WindowQuestions _questions;
    BankView* _view;
    FileCommands _files;
    PrintCommands _printing;
    ExportCommands _exporting;
    std::unique_ptr<DeviceCommands> _device;
    std::unique_ptr<EditCommands> _edit;
    QAction* _save = nullptr;
    QAction* _revert = nullptr;
    QList<QAction*> _deviceActions;

    bool _closing = false;       // asking whether to close
    bool _closeDeferred = false; // a close waits for the open question
    bool _closeApproved = false; // nothing would be lost: the next close event closes
    std::vector<Done> _closeWaiters;
};

} // namespace a3
