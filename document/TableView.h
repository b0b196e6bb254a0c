#pragma once

#include <QList>
#include <QTableView>

namespace a3 {

// The patch table: whole rows are selected, and only names are edited, by
// double-click, F2 or typing, wherever in the row the cursor stands.
class TableView : public QTableView
{
    Q_OBJECT

public:
    explicit TableView(QWidget* parent = nullptr);
    using QTableView::edit;

    // The rows that have a selected cell, ascending.
    QList<qint64> selectedRowIndexes() const;

    // Stores a name still being typed, so that saving or closing takes it.
    void commitPendingEdit();

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace a3
