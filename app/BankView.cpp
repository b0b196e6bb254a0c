#include "BankView.h"

#include "A3AllDataDocument.h"
#include "PatchNameDelegate.h"
#include "PatchTableModel.h"
#include "PatchText.h"
#include "TableView.h"

#include <QLabel>
#include <QVBoxLayout>

namespace a3 {

BankView::BankView(A3AllDataDocument& document, QWidget* parent)
    : QWidget(parent)
    , _document(document)
    , _model(new PatchTableModel(document, this))
    , _chainIdLabel(new QLabel(this))
    , _table(new TableView(this))
    , _nameDelegate(new PatchNameDelegate(_table))
{
    _chainIdLabel->setObjectName(QStringLiteral("chainIdLabel"));
    _chainIdLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    _table->setObjectName(QStringLiteral("patchTableView"));
    _table->setModel(_model);
    _table->setItemDelegateForColumn(PatchTableModel::columnForIdentifier(QStringLiteral("name")),
                                     _nameDelegate);
    _table->setContextMenuPolicy(Qt::ActionsContextMenu);
    // The table takes drops of the types its model names: the patch type and
    // plain text. Every transfer is a copy.
    _table->setDragDropMode(QAbstractItemView::DragDrop);
    _table->setDefaultDropAction(Qt::CopyAction);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(_chainIdLabel);
    layout->addWidget(_table);

    connect(&document, &A3AllDataDocument::chainIdChanged, this, &BankView::showChainId);
    connect(&document, &A3AllDataDocument::patchesEdited, this, &BankView::select);
    showChainId();
}

BankView::~BankView()
{
    // The table goes before the model it shows.
    delete _table;
}

void BankView::setMarks(std::function<QString(int row)> marks)
{
    _nameDelegate->setMarks(std::move(marks));
    showMarksAgain();
}

void BankView::showMarksAgain()
{
    _table->viewport()->update();
}

void BankView::showChainId()
{
    _chainIdLabel->setText(QString::fromStdString(chainIdText(_document.bank().chainChecksum())));
}

void BankView::select(const QList<qint64>& rows)
{
    QItemSelection selection;
    for (qint64 row : rows) {
        const QModelIndex index = _model->index(static_cast<int>(row), 0);
        selection.select(index, index);
    }
    _table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
    // The current row stays where it is among them: a rename being stored is
    // one of them.
    if (!rows.isEmpty() && !rows.contains(_table->currentIndex().row())) {
        const QModelIndex first = _model->index(static_cast<int>(rows.front()), 0);
        _table->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        _table->scrollTo(first);
    }
}

} // namespace a3
