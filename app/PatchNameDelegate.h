#pragma once

#include <QStyledItemDelegate>

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

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
};

} // namespace a3
