#pragma once

#include "A3AllDataDocument.h"
#include "OpenQuestions.h"

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QDialog;

namespace a3 {

class AppController;
class DeviceCommands;
class DocumentController;
class UserPrompts;

// The window of one document: it owns the document, carries the menus and
// runs the document commands with the questions a user expects.
//
// Questions never run an event loop of their own: each command goes on when
// its question is answered, and the window tells its caller the outcome
// through a callback. A window is never closed, and so never deleted, while
// one of its questions is open: a close asked for meanwhile waits for it.
class DocumentWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Called with whether the command got where it was going (the document
    // saved, the window closed, the file written).
    using Done = std::function<void(bool)>;

    DocumentWindow(std::unique_ptr<A3AllDataDocument> document, DocumentController& controller,
                   AppController& appController, UserPrompts& prompts);
    ~DocumentWindow() override;

    A3AllDataDocument& document() { return *_document; }
    // The action of a command whose enabling the document decides.
    QAction* action(MenuAction command) const { return _actions.at(command); }

    void save(Done done = {});
    void saveAs(Done done = {});
    void revertDocumentToSaved();
    // Closes the window once nothing unsaved would be lost: asks about
    // unsaved changes, after any question already open in this window.
    void closeDocument(Done done = {});
    bool hasOpenQuestion() const { return _openQuestions.any(); }

    // The printed listing: paper and margins, the print and preview dialogs,
    // and the same page as a PDF file.
    void runPageLayout();
    void printDocument();
    void printPreview();
    void exportAsPdf(Done done = {});
    // The document's paper and margins, the default ones until chosen.
    QPageLayout pageLayout();

    // Opens files in windows of their own and tells here about any that
    // cannot be opened.
    void openFiles(const QStringList& paths);

    // For the commands' questions: the returned reply counts the question as
    // open until the answer has been handled, or until every copy of the
    // reply has gone unanswered; a close that waited for it then goes on.
    // The handler runs at most once, and never once the window is going.
    template <typename Handler>
    auto whenAnswered(Handler handler)
    {
        struct Pending
        {
            std::shared_ptr<OpenQuestions::Question> question;
            std::optional<Handler> handler;
        };
        auto pending = std::make_shared<Pending>(Pending{_openQuestions.ask(), std::move(handler)});
        return [pending](auto&&... answer) {
            const auto question = std::exchange(pending->question, nullptr);
            if (question && question->isCounted()) {
                Handler handle = std::move(*pending->handler);
                pending->handler.reset();
                handle(std::forward<decltype(answer)>(answer)...);
            }
        };
    }
    // A dialog of this window's own, shown window-modal and counted as an
    // open question until it finishes or goes.
    void showDialog(QDialog* dialog, std::function<void(int)> finished);
    void showError(const QString& message, const QString& reason, Done done = {});

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createMenus();
    QAction* addCommand(QMenu* menu, const QString& text, const QKeySequence& shortcut,
                        const std::function<void()>& handler,
                        MenuAction command = MenuAction::Other);
    void updateActions(std::initializer_list<MenuAction> commands);
    void updateTitle();

    void closeIfDeferred();
    void updateDeviceActions();

    // The path the user chose with its extension; nothing when the completed
    // name is taken and the user does not want it replaced.
    void withExtension(const QString& path, const QString& suffix,
                       std::function<void(const QString&)> then);
    void saveTo(const QString& path, Done done);
    void writeTo(const QString& path, Done done);
    // The file at path is written, but may not outlast a crash: reason says why.
    void warnNotDurable(const QString& path, const QString& reason, Done done);
    void reloadFromFile();
    void finishClosing(bool close);
    void reloadIfChangedOnDisk();

    std::unique_ptr<A3AllDataDocument> _document;
    DocumentController& _controller;
    AppController& _appController;
    UserPrompts& _prompts;
    std::map<MenuAction, QAction*> _actions;
    std::unique_ptr<DeviceCommands> _device;
    QList<QAction*> _deviceActions;

    OpenQuestions _openQuestions;
    bool _closing = false;       // asking whether to close
    bool _closeDeferred = false; // a close waits for the open question
    bool _closeApproved = false; // nothing would be lost: the next close event closes
    std::vector<Done> _closeWaiters;
};

} // namespace a3
