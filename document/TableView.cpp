#include "TableView.h"

#include "PatchTableModel.h"

#include <QHeaderView>
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
    horizontalHeader()->setDefaultSectionSize(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 8);
}

QList<qint64> TableView::selectedRowIndexes() const
{
    QList<qint64> rows;
    if (!selectionModel()) {
        return rows;
    }
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool TableView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (!index.isValid() || !model()) {
        return QTableView::edit(index, trigger, event);
    }
    const int nameColumn = PatchTableModel::columnForIdentifier(QStringLiteral("name"));
    return QTableView::edit(index.siblingAtColumn(nameColumn), trigger, event);
}

} // namespace a3
