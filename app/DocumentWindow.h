#pragma once

#include "A3AllDataDocument.h"

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>

class QAction;

namespace a3 {

class AppController;
class DocumentController;
class UserPrompts;

// The window of one document: it owns the document, carries the menus and
// runs the document commands with the questions a user expects.
class DocumentWindow : public QMainWindow
{
    Q_OBJECT

public:
    DocumentWindow(std::unique_ptr<A3AllDataDocument> document, DocumentController& controller,
                   AppController& appController, UserPrompts& prompts);
    ~DocumentWindow() override;

    A3AllDataDocument& document() { return *_document; }
    // The action of a command whose enabling the document decides.
    QAction* action(MenuAction command) const { return _actions.at(command); }

    // Each returns whether the document ended up saved.
    bool save();
    bool saveAs();
    void revertDocumentToSaved();

    // The printed listing: paper and margins, the print and preview dialogs,
    // and the same page as a PDF file.
    void runPageLayout();
    void printDocument();
    void printPreview();
    bool exportAsPdf();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createMenus();
    QAction* addCommand(QMenu* menu, const QString& text, const QKeySequence& shortcut,
                        const std::function<void()>& handler,
                        MenuAction command = MenuAction::Other);
    void updateActions(std::initializer_list<MenuAction> commands);
    // The path the user chose with its extension; empty when the completed
    // name is taken and the user does not want it replaced.
    QString withExtension(const QString& path, const QString& suffix);
    void updateTitle();
    bool saveTo(const QString& path);
    // Asks about unsaved changes; true when the window may close.
    bool maybeSave();

    std::unique_ptr<A3AllDataDocument> _document;
    DocumentController& _controller;
    AppController& _appController;
    UserPrompts& _prompts;
    std::map<MenuAction, QAction*> _actions;
};

} // namespace a3
