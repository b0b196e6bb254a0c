#pragma once

#include <QMainWindow>

class QLabel;
class QPushButton;
class QTableView;
class QTreeWidget;

namespace a3 {

class DeviceHistoryModel;
class DocumentController;
class Library;

// The banks received from the device, newest first, as the Received folder
// keeps them: what changed since the bank before the one selected, or
// between two selected, and Open for any. It reads the folder again when it
// is shown or comes to the front, and when the library changes or a bank
// arrives.
class DeviceHistoryWindow : public QMainWindow
{
    Q_OBJECT

public:
    DeviceHistoryWindow(Library& library, DocumentController& controller,
                        QWidget* parent = nullptr);
    ~DeviceHistoryWindow() override;

    QTableView& list() const { return *_list; }
    QLabel& summary() const { return *_summary; }
    QTreeWidget& detail() const { return *_detail; }
    QPushButton& openButton() const { return *_open; }
    QLabel& statusText() const { return *_status; }
    DeviceHistoryModel& model() const { return *_model; }

    void reload();
    // Opens each selected bank in its window.
    void openSelected();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createMenus();
    void showDetail();
    void open(int row);
    QList<int> selectedRows() const;

    Library& _library;
    DocumentController& _controller;
    DeviceHistoryModel* _model;
    QTableView* _list;
    QLabel* _summary;
    QTreeWidget* _detail;
    QPushButton* _open;
    QLabel* _status;
};

} // namespace a3
