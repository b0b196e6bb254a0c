#pragma once

#include <QList>
#include <QTableView>

namespace a3 {

// The patch table: whole rows are selected, and only names are edited (the
// model makes the name cell every cell's buddy), by double-click, F2 or
// typing, wherever in the row the cursor stands.
class TableView : public QTableView
{
    Q_OBJECT

public:
    explicit TableView(QWidget* parent = nullptr);

    // The rows that have a selected cell, ascending.
    QList<qint64> selectedRowIndexes() const;

    // Whether a name is being typed that the bank does not hold yet.
    bool hasPendingEdit() const { return state() == EditingState; }
    // Stores a name still being typed, so that whatever reads the bank next
    // sees it.
    void commitPendingEdit();

    // Whether the window's commands act on this table: it has the focus, or
    // lent it to the menu bar that the user opened from the keyboard.
    bool holdsCommandFocus() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool _focusLentToMenuBar = false;
};

} // namespace a3
