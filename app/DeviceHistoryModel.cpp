#include "DeviceHistoryModel.h"

#include "PatchText.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>

namespace a3 {
namespace {

using library::BankChanges;
using library::PatchChange;
using library::ReceivedFile;

QString arrivalText(const ReceivedFile& file)
{
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(file.arrived.time_since_epoch());
    // To the second, as the files are named: several may come in a minute.
    return QDateTime::fromMSecsSinceEpoch(ms.count())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString fileName(const ReceivedFile& file)
{
    return QFile::decodeName(QByteArray::fromStdString(file.path.filename().native()));
}

QString notABank(const ReceivedFile& file)
{
    return DeviceHistoryModel::tr("“%1” is not a bank: %2")
        .arg(fileName(file), QString::fromStdString(file.problem));
}

// "3 patches and the chain data differ"; empty for banks that are the same.
QString differences(const BankChanges& changes)
{
    const auto count = static_cast<int>(changes.patches.size());
    if (count == 0) {
        return changes.chainDataDiffers ? DeviceHistoryModel::tr("the chain data differs")
                                        : QString();
    }
    if (changes.chainDataDiffers) {
        return count == 1
                   ? DeviceHistoryModel::tr("1 patch and the chain data differ")
                   : DeviceHistoryModel::tr("%1 patches and the chain data differ").arg(count);
    }
    return count == 1 ? DeviceHistoryModel::tr("1 patch differs")
                      : DeviceHistoryModel::tr("%1 patches differ").arg(count);
}

QString nameText(const std::string& name)
{
    return QString::fromStdString(printablePatchName(name));
}

QString kindText(PatchChange::Kind kind)
{
    switch (kind) {
    case PatchChange::Kind::Renamed:
        return DeviceHistoryModel::tr("Renamed only");
    case PatchChange::Kind::Sound:
        return DeviceHistoryModel::tr("Sound changed");
    case PatchChange::Kind::ChainData:
        return DeviceHistoryModel::tr("Sound changed: it plays the chain data");
    }
    return {};
}

QList<QStringList> changeRows(const BankChanges& changes)
{
    QList<QStringList> rows;
    if (changes.chainDataDiffers) {
        rows.append({QString(), QString::fromStdString(chainIdText(changes.chainIdBefore)),
                     QString::fromStdString(chainIdText(changes.chainIdAfter)),
                     DeviceHistoryModel::tr("Chain data differs")});
    }
    for (const PatchChange& patch : changes.patches) {
        rows.append({QString::number(patch.number), nameText(patch.nameBefore),
                     nameText(patch.nameAfter), kindText(patch.kind)});
    }
    return rows;
}

bool sameFiles(const std::vector<ReceivedFile>& a, const std::vector<ReceivedFile>& b)
{
    return std::ranges::equal(a, b, [](const ReceivedFile& x, const ReceivedFile& y) {
        return x.path == y.path && x.identity == y.identity && x.problem == y.problem;
    });
}

} // namespace

DeviceHistoryModel::DeviceHistoryModel(QObject* parent)
    : QAbstractTableModel(parent)
{}

void DeviceHistoryModel::setFiles(std::vector<ReceivedFile> files)
{
    if (sameFiles(files, _files)) {
        return;
    }
    beginResetModel();
    _files = std::move(files);
    _changes.clear();
    for (std::size_t row = 0; row < _files.size(); ++row) {
        const ReceivedFile& file = _files[row];
        const auto before = library::bankBefore(_files, row);
        QString text;
        if (!file.bank) {
            text = tr("Not a bank: %1").arg(QString::fromStdString(file.problem));
        } else if (!before) {
            text = tr("The first bank received");
        } else {
            text = differences(library::changesBetween(*_files[*before].bank, *file.bank));
            text = text.isEmpty() ? tr("Same as the one before")
                                  : text.front().toUpper() + text.sliced(1);
        }
        _changes.push_back(text);
    }
    endResetModel();
}

const ReceivedFile& DeviceHistoryModel::file(int row) const
{
    return _files.at(static_cast<std::size_t>(row));
}

DeviceHistoryModel::Detail DeviceHistoryModel::detail(QList<int> rows) const
{
    std::ranges::sort(rows);
    if (rows.isEmpty() || rows.size() > 2) {
        return {tr("Select a bank to see what changed since the bank before it, or two banks to "
                   "compare them."),
                {}};
    }
    const ReceivedFile& newer = file(rows.front());
    const auto olderRow = rows.size() == 2 ? std::optional<std::size_t>(rows.back())
                                           : library::bankBefore(_files, rows.front());
    if (!newer.bank) {
        return {notABank(newer), {}};
    }
    if (!olderRow) {
        return {tr("The first bank received: there is none before it to compare it with."), {}};
    }
    const ReceivedFile& older = _files.at(*olderRow);
    if (!older.bank) {
        return {notABank(older), {}};
    }
    const BankChanges changes = library::changesBetween(*older.bank, *newer.bank);
    const QString differs = differences(changes);
    if (differs.isEmpty()) {
        return {tr("The banks received %1 and %2 are the same.")
                    .arg(arrivalText(older), arrivalText(newer)),
                {}};
    }
    return {tr("From the bank received %1 to the one received %2, %3.")
                .arg(arrivalText(older), arrivalText(newer), differs),
            changeRows(changes)};
}

int DeviceHistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(_files.size());
}

int DeviceHistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceHistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const ReceivedFile& file = this->file(index.row());
    if (role == Qt::ToolTipRole && index.column() == Received && !file.arrivalFromName) {
        return tr("When the file last changed: its name holds no time of arrival.");
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case Received:
        return arrivalText(file);
    case ChainId:
        return file.bank ? QString::fromStdString(chainId(file.bank->chainChecksum())) : QString();
    case Changes:
        return _changes.at(static_cast<std::size_t>(index.row()));
    case File:
        return fileName(file);
    default:
        return {};
    }
}

QVariant DeviceHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case Received:
        return tr("Received");
    case ChainId:
        return tr("Chain ID");
    case Changes:
        return tr("Changes");
    case File:
        return tr("File");
    default:
        return {};
    }
}

} // namespace a3
