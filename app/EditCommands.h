#pragma once

#include <QObject>

class QAction;
class QMenu;

namespace a3 {

class A3AllDataDocument;
class BankView;

// The Edit menu of one window: undo and redo of the document's edits, copy
// and paste of the selected patches, select all. Undo and Redo say what they
// take back or do again; Copy and Paste act only while the patch table has
// the focus, Paste only when the clipboard holds patches the bank takes.
class EditCommands : public QObject
{
    Q_OBJECT

public:
    // Fills menu with the commands; each stores a name still being typed
    // before it runs.
    EditCommands(A3AllDataDocument& document, BankView& view, QMenu* menu);

private:
    void copy();
    void paste();
    void updateUndo();
    void updateCopyAndPaste();

    A3AllDataDocument& _document;
    BankView& _view;
    QAction* _undo;
    QAction* _redo;
    QAction* _copy;
    QAction* _paste;
};

} // namespace a3
