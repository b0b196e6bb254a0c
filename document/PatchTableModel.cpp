#include "PatchTableModel.h"

#include "A3AllDataDocument.h"
#include "PasteboardTypes.h"
#include "PatchText.h"

#include <QFontDatabase>
#include <QMimeData>
#include <algorithm>
#include <array>

namespace a3 {
namespace {

const std::array<QString, 3> kColumnIdentifiers{QStringLiteral("number"), QStringLiteral("chain"),
                                                QStringLiteral("name")};

} // namespace

PatchTableModel::PatchTableModel(A3AllDataDocument& document, QObject* parent)
    : QAbstractTableModel(parent)
    , _document(document)
{
    connect(&document, &A3AllDataDocument::bankChanged, this, &PatchTableModel::refresh);
}

QString PatchTableModel::columnIdentifier(int column)
{
    if (column < 0 || column >= static_cast<int>(kColumnIdentifiers.size())) {
        return {};
    }
    return kColumnIdentifiers[static_cast<std::size_t>(column)];
}

int PatchTableModel::columnForIdentifier(const QString& identifier)
{
    const auto found = std::find(kColumnIdentifiers.begin(), kColumnIdentifiers.end(), identifier);
    return found == kColumnIdentifiers.end()
               ? -1
               : static_cast<int>(std::distance(kColumnIdentifiers.begin(), found));
}

int PatchTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(_document.bank().numberOfRows());
}

int PatchTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kColumnIdentifiers.size());
}

QVariant PatchTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const QString identifier = columnIdentifier(index.column());
    const bool isName = identifier == QLatin1String("name");
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        break;
    case Qt::TextAlignmentRole:
        return isName ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                      : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::FontRole:
        // Names are seven fixed cells on the device; trailing spaces show.
        return isName ? QVariant(QFontDatabase::systemFont(QFontDatabase::FixedFont)) : QVariant();
    default:
        return {};
    }
    const A3AllDataSource& bank = _document.bank();
    if (identifier == QLatin1String("number")) {
        return QVariant::fromValue<qlonglong>(index.row() + 1);
    }
    if (identifier == QLatin1String("chain")) {
        return QString::fromStdString(chainText(bank.chainAtIndex(index.row())));
    }
    // The editor starts from the name as it is; a cell shows it as a line.
    const std::string name = bank.patchNameAt(index.row());
    return QString::fromStdString(role == Qt::EditRole ? name : printablePatchName(name));
}

bool PatchTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::EditRole ||
        columnIdentifier(index.column()) != QLatin1String("name")) {
        return false;
    }
    // The document reports the change, which refreshes the row.
    return _document.renamePatch(index.row(), value.toString());
}

Qt::ItemFlags PatchTableModel::flags(const QModelIndex& index) const
{
    // Drops are taken on rows and on the empty space below them.
    Qt::ItemFlags flags = QAbstractTableModel::flags(index) | Qt::ItemIsDropEnabled;
    if (!index.isValid()) {
        return flags;
    }
    flags |= Qt::ItemIsDragEnabled;
    if (columnIdentifier(index.column()) == QLatin1String("name")) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

QModelIndex PatchTableModel::buddy(const QModelIndex& index) const
{
    return index.isValid() ? index.siblingAtColumn(columnForIdentifier(QStringLiteral("name")))
                           : index;
}

QVariant PatchTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal) {
        return {};
    }
    const QString identifier = columnIdentifier(section);
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (identifier == QLatin1String("number")) {
        return tr("#");
    }
    if (identifier == QLatin1String("chain")) {
        return tr("Chain");
    }
    return tr("Name");
}

QStringList PatchTableModel::mimeTypes() const
{
    return {patchPasteboardType(), QString::fromLatin1(kPlainTextType)};
}

QMimeData* PatchTableModel::mimeData(const QModelIndexList& indexes) const
{
    QList<qint64> rows;
    for (const QModelIndex& index : indexes) {
        rows.append(index.row());
    }
    // Taken now, so that a drop onto the same table reads the rows as they
    // were when the drag began.
    return _document.writeRows(rows).release();
}

bool PatchTableModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                      const QModelIndex&) const
{
    if (!data || action != Qt::CopyAction) {
        return false;
    }
    const QStringList types = mimeTypes();
    return std::any_of(types.begin(), types.end(),
                       [data](const QString& type) { return data->hasFormat(type); });
}

bool PatchTableModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                   int column, const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent)) {
        return false;
    }
    return _document.drop(data, dropRow(row, parent));
}

int PatchTableModel::dropRow(int row, const QModelIndex& parent) const
{
    if (parent.isValid()) {
        return parent.row();
    }
    const int last = rowCount() - 1;
    return row < 0 ? last : std::min(row, last);
}

Qt::DropActions PatchTableModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

Qt::DropActions PatchTableModel::supportedDropActions() const
{
    return Qt::CopyAction;
}

void PatchTableModel::refresh(const QList<qint64>& rows)
{
    if (rows.isEmpty()) {
        return;
    }
    // One signal for the span of rows: the rows stay, and so does the selection.
    const auto [first, last] = std::minmax_element(rows.begin(), rows.end());
    emit dataChanged(index(static_cast<int>(*first), 0),
                     index(static_cast<int>(*last), columnCount() - 1));
}

} // namespace a3
