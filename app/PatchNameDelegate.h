#pragma once

#include <QStyledItemDelegate>
#include <functional>

namespace a3 {

// Edits a patch name as the bank stores it: at most seven characters, each
// one the bank holds, so that what the editor shows is what is stored. An
// editor closed without typing stores nothing: bytes of a name that the
// editor cannot show stay as they are.
class PatchNameDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // What to show beside the name of a row (what the user said of its
    // sound); the name alone while none is set.
    void setMarks(std::function<QString(int row)> marks) { _marks = std::move(marks); }
    // The text a row's cell shows: its name, and its marks after it.
    QString shownText(const QModelIndex& index) const;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    std::function<QString(int row)> _marks;
};

} // namespace a3
