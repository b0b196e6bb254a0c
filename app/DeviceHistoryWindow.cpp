#include "DeviceHistoryWindow.h"

#include "AppMenus.h"
#include "DeviceHistoryModel.h"
#include "DocumentController.h"
#include "DocumentWindow.h"
#include "Library.h"

#include <QEvent>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace a3 {
namespace {

QString fromPath(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

} // namespace

DeviceHistoryWindow::DeviceHistoryWindow(Library& library, DocumentController& controller,
                                         QWidget* parent)
    : QMainWindow(parent)
    , _library(library)
    , _controller(controller)
    , _model(new DeviceHistoryModel(this))
    , _list(new QTableView)
    , _summary(new QLabel)
    , _detail(new QTreeWidget)
    , _open(new QPushButton(tr("Open")))
    , _status(new QLabel)
{
    setWindowTitle(tr("Device History"));
    _list->setModel(_model);
    _list->setSelectionBehavior(QAbstractItemView::SelectRows);
    _list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    _list->verticalHeader()->hide();
    _list->setWordWrap(false);
    _list->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    _list->horizontalHeader()->setSectionResizeMode(DeviceHistoryModel::Changes,
                                                    QHeaderView::Stretch);

    // File names and patch names are shown as they are, never as markup.
    _summary->setTextFormat(Qt::PlainText);
    _summary->setWordWrap(true);
    _detail->setRootIsDecorated(false);
    _detail->setHeaderLabels({tr("#"), tr("Before"), tr("After"), tr("Change")});
    // Names are seven fixed cells on the device; trailing spaces show.
    _detail->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    _detail->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* below = new QWidget;
    auto* belowLayout = new QVBoxLayout(below);
    belowLayout->setContentsMargins(0, 0, 0, 0);
    belowLayout->addWidget(_summary);
    belowLayout->addWidget(_detail, 1);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(_list);
    splitter->addWidget(below);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(_open);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    setCentralWidget(content);
    _status->setTextFormat(Qt::PlainText);
    _status->setWordWrap(true);
    statusBar()->addWidget(_status, 1);
    resize(680, 560);

    createMenus();
    connect(_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DeviceHistoryWindow::showDetail);
    connect(_model, &QAbstractItemModel::modelReset, this, &DeviceHistoryWindow::showDetail);
    connect(_list, &QTableView::activated, this,
            [this](const QModelIndex& index) { open(index.row()); });
    connect(_open, &QPushButton::clicked, this, &DeviceHistoryWindow::openSelected);
    // Received banks are what the library searches too: a change there is
    // a change of its catalog.
    connect(&_library, &Library::catalogChanged, this, &DeviceHistoryWindow::reload);
    connect(&_library, &Library::bankReceived, this, &DeviceHistoryWindow::reload);
    showDetail();
}

DeviceHistoryWindow::~DeviceHistoryWindow() = default;

void DeviceHistoryWindow::createMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Close"), QKeySequence::Close, this, &QWidget::close);
    file->addSeparator();
    file->addAction(tr("&Quit"), commandShortcut(QKeySequence::Quit, "Ctrl+Q"), &_controller,
                    [this] { _controller.quit(); })
        ->setMenuRole(QAction::QuitRole);
    addWindowMenu(menuBar(), _controller);
}

void DeviceHistoryWindow::reload()
{
    // Read on the GUI thread: the folder is the app's own, on the local
    // disk, and a bank read once is not read again while its file is
    // unchanged.
    const auto folder = _library.receivedFolder();
    auto read = library::readDeviceHistory(folder, _model->files());
    if (!read.ok()) {
        _model->setFiles({});
        _status->setText(tr("The folder “%1” could not be read: %2")
                             .arg(fromPath(folder), QString::fromStdString(read.failure().reason)));
        return;
    }
    // The rows selected stay selected when the rows are made anew.
    QStringList selected;
    for (const int row : selectedRows()) {
        selected << fromPath(_model->file(row).path);
    }
    _model->setFiles(std::move(read).value());
    if (!selected.isEmpty() && !_list->selectionModel()->hasSelection()) {
        for (int row = 0; row < _model->rowCount(); ++row) {
            if (selected.contains(fromPath(_model->file(row).path))) {
                _list->selectionModel()->select(
                    _model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        }
    }

    const auto& files = _model->files();
    const auto banks = static_cast<int>(std::ranges::count_if(
        files, [](const library::ReceivedFile& file) { return file.bank != nullptr; }));
    const auto others = static_cast<int>(files.size()) - banks;
    const QString place = fromPath(folder);
    QString text;
    if (banks == 0) {
        text = tr("No bank received yet: each bank the device sends is kept in “%1”.").arg(place);
    } else if (banks == 1) {
        text = tr("1 bank received, kept in “%1”.").arg(place);
    } else {
        text = tr("%1 banks received, kept in “%2”.").arg(QString::number(banks), place);
    }
    if (others > 0) {
        text += QLatin1Char(' ') + (others == 1 ? tr("1 file there is not a bank.")
                                                : tr("%1 files there are not banks.").arg(others));
    }
    _status->setText(text);
}

QList<int> DeviceHistoryWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : _list->selectionModel()->selectedRows()) {
        rows << index.row();
    }
    std::ranges::sort(rows);
    return rows;
}

void DeviceHistoryWindow::showDetail()
{
    const QList<int> rows = selectedRows();
    const DeviceHistoryModel::Detail detail = _model->detail(rows);
    _summary->setText(detail.summary);
    _detail->clear();
    for (const QStringList& row : detail.rows) {
        auto* item = new QTreeWidgetItem(row);
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        _detail->addTopLevelItem(item);
    }
    _open->setEnabled(
        std::ranges::any_of(rows, [this](int row) { return _model->file(row).bank != nullptr; }));
}

void DeviceHistoryWindow::openSelected()
{
    for (const int row : selectedRows()) {
        open(row);
    }
}

void DeviceHistoryWindow::open(int row)
{
    const library::ReceivedFile& file = _model->file(row);
    if (!file.bank) {
        return;
    }
    // As the Library opens a bank it found; a file changed since it was
    // read is told of over this window.
    if (DocumentWindow* window = _controller.openLibraryBank(
            {file.path.native(), file.bank->chainChecksum(), false}, this)) {
        DocumentController::bringForward(window);
    }
}

void DeviceHistoryWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    reload();
}

void DeviceHistoryWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Files changed by other programs show when the window comes to the
    // front, as in the Library.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        reload();
    }
}

} // namespace a3
