#include "PatchNameDelegate.h"

#include "A3AllData.h"

#include <QLineEdit>
#include <QValidator>
#include <algorithm>

namespace a3 {
namespace {

class PatchNameValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString& input, int& /*position*/) const override
    {
        const bool storable = input.size() <= static_cast<qsizetype>(kPatchNameLength) &&
                              std::all_of(input.cbegin(), input.cend(), [](QChar c) {
                                  return isPatchNameCharacter(c.unicode());
                              });
        return storable ? Acceptable : Invalid;
    }
};

} // namespace

QWidget* PatchNameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setMaxLength(static_cast<int>(kPatchNameLength));
        line->setValidator(new PatchNameValidator(line));
    }
    return editor;
}

void PatchNameDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    // The name as an edit would store it: a character the bank cannot hold
    // shows as the space it would become, and the padding is left off.
    QString name = index.data(Qt::EditRole).toString();
    for (QChar& c : name) {
        if (!isPatchNameCharacter(c.unicode())) {
            c = QLatin1Char(' ');
        }
    }
    while (name.endsWith(QLatin1Char(' '))) {
        name.chop(1);
    }
    line->setText(name);
}

void PatchNameDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                     const QModelIndex& index) const
{
    if (auto* line = qobject_cast<QLineEdit*>(editor); line && !line->isModified()) {
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

QString PatchNameDelegate::shownText(const QModelIndex& index) const
{
    QStyleOptionViewItem option;
    initStyleOption(&option, index);
    return option.text;
}

void PatchNameDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (const QString marks = _marks ? _marks(index.row()) : QString(); !marks.isEmpty()) {
        option->text += QStringLiteral("   ") + marks;
    }
}

} // namespace a3
