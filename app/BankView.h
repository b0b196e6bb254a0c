#pragma once

#include <QWidget>
#include <functional>

class QLabel;

namespace a3 {

class A3AllDataDocument;
class PatchNameDelegate;
class PatchTableModel;
class TableView;

// What a window shows of its document: the bank's chain ID above the patch
// table. It follows the document: the rows it reports changed are refreshed,
// and an edit, undone or redone, selects the rows it changed.
class BankView : public QWidget
{
    Q_OBJECT

public:
    explicit BankView(A3AllDataDocument& document, QWidget* parent = nullptr);
    ~BankView() override;

    TableView& table() const { return *_table; }
    QLabel& chainIdLabel() const { return *_chainIdLabel; }
    PatchNameDelegate& nameDelegate() const { return *_nameDelegate; }
    // Shows marks(row) beside each row's name, and again whenever they
    // change: call showMarksAgain().
    void setMarks(std::function<QString(int row)> marks);
    void showMarksAgain();

private:
    void showChainId();
    void select(const QList<qint64>& rows);

    A3AllDataDocument& _document;
    PatchTableModel* _model;
    QLabel* _chainIdLabel;
    TableView* _table;
    PatchNameDelegate* _nameDelegate;
};

} // namespace a3
