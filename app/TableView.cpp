#include "TableView.h"

#include "PatchTableModel.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <algorithm>

namespace a3 {

TableView::TableView(QWidget* parent)
    : QTableView(parent)
{
    setSelectionBehavior(SelectRows);
    setSelectionMode(ExtendedSelection);
    setEditTriggers(DoubleClicked | EditKeyPressed | AnyKeyPressed);
    // Drops land on rows or in the gaps between them; each way has its row.
    setDragDropOverwriteMode(false);
    setDropIndicatorShown(true);
    setAlternatingRowColors(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setDefaultSectionSize(fontMetrics().horizontalAdvance(QLatin1Char('0')) *
                                              8);
}

QList<qint64> TableView::selectedRowIndexes() const
{
    QList<qint64> rows;
    if (!selectionModel()) {
        return rows;
    }
    // From the selection's ranges, not from an index for each selected cell.
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.append(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TableView::commitPendingEdit()
{
    if (!model()) {
        return;
    }
    if (QWidget* editor = indexWidget(model()->buddy(currentIndex()))) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

bool TableView::holdsCommandFocus() const
{
    // The window's focus widget, active or not: a window's commands follow
    // its own focus.
    const QWidget* focus = window()->focusWidget();
    return focus == this || (_focusLentToMenuBar && focus && focus->inherits("QMenuBar"));
}

void TableView::keyPressEvent(QKeyEvent* event)
{
    // Copying is the Edit menu's: while it is disabled the view must not
    // put a cell's text on the clipboard in its place.
    if (event->matches(QKeySequence::Copy)) {
        event->ignore();
        return;
    }
    // Ctrl+Space toggles the current row, so that the keyboard alone builds a
    // selection of rows apart; without this it would start a rename.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::ControlModifier &&
        selectionModel()) {
        selectionModel()->select(currentIndex(), selectionCommand(currentIndex(), event));
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TableView::focusInEvent(QFocusEvent* event)
{
    _focusLentToMenuBar = false;
    QTableView::focusInEvent(event);
}

void TableView::focusOutEvent(QFocusEvent* event)
{
    // A menu opened from the keyboard (Alt+E) takes the focus for the menu
    // bar and gives it back when it closes; meanwhile Copy and Paste still
    // mean this table.
    _focusLentToMenuBar = event->reason() == Qt::MenuBarFocusReason;
    QTableView::focusOutEvent(event);
}

namespace {

// Files from a file manager are for the window to open, even when the drag
// also offers their paths as text: such drags pass the table by.
bool carriesFiles(const QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

void TableView::dragEnterEvent(QDragEnterEvent* event)
{
    if (carriesFiles(event)) {
        event->ignore();
        return;
    }
    QTableView::dragEnterEvent(event);
}

void TableView::dragMoveEvent(QDragMoveEvent* event)
{
    if (carriesFiles(event)) {
        event->ignore();
        return;
    }
    QTableView::dragMoveEvent(event);
}

void TableView::dropEvent(QDropEvent* event)
{
    if (carriesFiles(event)) {
        event->ignore();
        return;
    }
    QTableView::dropEvent(event);
}

} // namespace a3
