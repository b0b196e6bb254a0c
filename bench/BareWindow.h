#pragma once

#include <QMainWindow>
#include <QStandardItemModel>
#include <QTableView>

namespace a3::bench {

// What the app's windows are measured against: a plain QMainWindow showing a
// 100-row QTableView of three text columns, sized like a document window.
struct BareWindow
{
    BareWindow();

    // Puts new text in every row's name cell.
    void rename(int generation);

    QStandardItemModel model;
    QMainWindow window; // after the model: it goes first and takes the view
    QTableView* table = nullptr;
};

} // namespace a3::bench
