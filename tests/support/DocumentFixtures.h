#pragma once

#include "A3AllDataDocument.h"
#include "TempDir.h"

#include <QApplication>
#include <QByteArray>
#include <QMainWindow>
#include <QTest>
#include <QWidget>
#include <memory>

namespace a3::test {

inline QByteArray toQByteArray(const std::vector<std::uint8_t>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

inline QString qPath(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

// A document from the shipped factory bank with its window content in a
// shown, active top-level widget, as the app builds it.
struct ShownDocument
{
    ShownDocument()
        : document(std::make_unique<A3AllDataDocument>(std::filesystem::path(A3_FACTORY_BANK_PATH)))
    {
        window.setCentralWidget(document->makeWindowContent());
        window.resize(460, 640);
        window.show();
        QApplication::setActiveWindow(&window);
        (void)QTest::qWaitForWindowActive(&window);
    }

    TableView& table() { return *document->patchTableView(); }

    void focusTable()
    {
        table().setFocus();
        QApplication::processEvents();
    }

    void selectRows(const std::vector<int>& rows)
    {
        table().clearSelection();
        for (int row : rows) {
            table().selectionModel()->select(table().model()->index(row, 0),
                                             QItemSelectionModel::Select |
                                                 QItemSelectionModel::Rows);
        }
    }

    std::unique_ptr<A3AllDataDocument> document;
    QMainWindow window;
};

} // namespace a3::test
