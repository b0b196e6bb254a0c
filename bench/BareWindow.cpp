#include "BareWindow.h"

namespace a3::bench {

BareWindow::BareWindow()
    : model(100, 3)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        model.setItem(row, 0, new QStandardItem(QString::number(row + 1)));
        model.setItem(row, 1, new QStandardItem(QStringLiteral("00")));
        model.setItem(row, 2, new QStandardItem(QStringLiteral("Patch %1").arg(row + 1)));
    }
    table = new QTableView;
    table->setModel(&model);
    window.setCentralWidget(table);
    window.resize(460, 640);
}

void BareWindow::rename(int generation)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        model.item(row, 2)->setText(QStringLiteral("P%1 %2").arg(generation % 10).arg(row + 1));
    }
}

} // namespace a3::bench
