#include "EditCommands.h"

#include "A3AllDataDocument.h"
#include "BankView.h"
#include "TableView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>

namespace a3 {

EditCommands::EditCommands(A3AllDataDocument& document, BankView& view, QMenu* menu)
    : _document(document)
    , _view(view)
{
    const auto add = [&](const QString& text, QKeySequence::StandardKey keys,
                         std::function<void()> handler) {
        QAction* action = menu->addAction(text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, [this, handler] {
            _view.table().commitPendingEdit();
            handler();
        });
        return action;
    };
    QUndoStack& stack = document.undoStack();
    _undo = add(tr("&Undo"), QKeySequence::Undo, [&stack] { stack.undo(); });
    _redo = add(tr("&Redo"), QKeySequence::Redo, [&stack] { stack.redo(); });
    menu->addSeparator();
    _copy = add(tr("&Copy"), QKeySequence::Copy, [this] { copy(); });
    _paste = add(tr("&Paste"), QKeySequence::Paste, [this] { paste(); });
    add(tr("Select &All"), QKeySequence::SelectAll, [this] { _view.table().selectAll(); });

    // Each command's state is refreshed by what it depends on, so that its
    // shortcut obeys it too; reading the clipboard is left to the changes
    // that can alter Paste.
    connect(&stack, &QUndoStack::indexChanged, this, &EditCommands::updateUndo);
    connect(&stack, &QUndoStack::cleanChanged, this, &EditCommands::updateUndo);
    connect(qApp, &QApplication::focusChanged, this, &EditCommands::updateCopyAndPaste);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &EditCommands::updateCopyAndPaste);
    connect(view.table().selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &EditCommands::updateCopyAndPaste);
    updateUndo();
    updateCopyAndPaste();
}

void EditCommands::updateUndo()
{
    // "Undo Paste 3 Patches": the menu says what the command takes back.
    const QUndoStack& stack = _document.undoStack();
    _undo->setEnabled(stack.canUndo());
    _undo->setText(stack.canUndo() ? tr("&Undo %1").arg(stack.undoText()) : tr("&Undo"));
    _redo->setEnabled(stack.canRedo());
    _redo->setText(stack.canRedo() ? tr("&Redo %1").arg(stack.redoText()) : tr("&Redo"));
}

void EditCommands::updateCopyAndPaste()
{
    const TableView& table = _view.table();
    const bool focused = table.holdsCommandFocus();
    _copy->setEnabled(focused && !table.selectedRowIndexes().isEmpty());
    _paste->setEnabled(focused && _document.isPastable());
}

void EditCommands::copy()
{
    if (_view.table().holdsCommandFocus()) {
        QGuiApplication::clipboard()->setMimeData(
            _document.writeRows(_view.table().selectedRowIndexes()).release());
    }
}

void EditCommands::paste()
{
    // A paste that does not apply (nothing selected, the patches would run
    // past the last) changes nothing; the bell says so, as elsewhere.
    if (_view.table().holdsCommandFocus() && !_document.paste(_view.table().selectedRowIndexes())) {
        QApplication::beep();
    }
}

} // namespace a3
