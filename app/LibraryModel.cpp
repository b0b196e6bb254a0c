#include "LibraryModel.h"

#include "DumpsInFile.h"
#include "PasteboardTypes.h"
#include "PatchClipboard.h"
#include "PatchText.h"

#include <QColor>
#include <QFile>
#include <QMimeData>
#include <QTextDocument>
#include <QtConcurrent/QtConcurrentRun>
#include <set>

namespace a3 {

QString describeBank(const library::CatalogBank& bank, bool withFolder)
{
    const std::string file =
        withFolder ? bank.path : std::filesystem::path(bank.path).filename().native();
    return QFile::decodeName(
        QByteArray::fromStdString(bank.place ? describePlace(file, *bank.place) : file));
}

LibraryModel::LibraryModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    connect(&_searching, &QFutureWatcher<Results>::finished, this,
            [this] { show(_searching.future().takeResult()); });
}

void LibraryModel::setCatalog(std::shared_ptr<const library::PatchCatalog> catalog)
{
    _catalog = std::move(catalog);
    search();
}

void LibraryModel::setSounds(std::shared_ptr<const library::SoundsSnapshot> sounds)
{
    _sounds = std::move(sounds);
    if (_query.asksOfSounds()) {
        search(); // the columns come with the results
    } else if (_rows > 0) {
        emit dataChanged(index(0, Favourite), index(static_cast<int>(_rows) - 1, Tags));
    }
}

void LibraryModel::setSearch(const QString& text, bool onePerSound)
{
    _onePerSound = onePerSound;
    Result<library::SoundQuery> query = library::SoundQuery::parse(text.toStdString());
    _searchProblem = query.ok() ? QString() : QString::fromStdString(query.failure().reason);
    if (!query.ok()) {
        return;
    }
    _query = std::move(*query);
    search();
}

void LibraryModel::search()
{
    if (!_catalog) {
        show({});
        return;
    }
    static const auto kNothingSaid = std::make_shared<const library::SoundsSnapshot>();
    const auto sounds = _sounds ? _sounds : kNothingSaid;
    std::shared_ptr<const Said> said = isCurrent(_said.get()) ? _said : nullptr;
    // A search started before is left to run out; its results are not shown.
    _searching.setFuture(QtConcurrent::run([catalog = _catalog, query = _query, sounds,
                                            said = std::move(said),
                                            onePerSound = _onePerSound]() mutable {
        if (!query.asksOfSounds()) {
            return Results{catalog, catalog->search(query, library::SaidOfSounds{}, onePerSound),
                           said};
        }
        if (!said) {
            said = std::make_shared<const Said>(Said{catalog, sounds, catalog->saidOf(*sounds)});
        }
        return Results{catalog, catalog->search(query, said->ofSounds, onePerSound), said};
    }));
}

bool LibraryModel::isCurrent(const Said* said) const
{
    return said && said->catalog == _catalog &&
           (said->sounds == _sounds || (!_sounds && said->sounds->empty()));
}

void LibraryModel::show(Results results)
{
    if (isCurrent(results.said.get())) {
        _said = results.said; // else it would keep a catalog or sounds gone
    }
    beginResetModel();
    _shown = std::move(results);
    _rows = std::min(_shown.found.size(), kRowsAFetch);
    endResetModel();
}

library::PatchCatalog::PatchId LibraryModel::patchAt(int row) const
{
    return _shown.found.at(static_cast<std::size_t>(row));
}

int LibraryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(_rows);
}

bool LibraryModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && _rows < _shown.found.size();
}

void LibraryModel::fetchMore(const QModelIndex& parent)
{
    const std::size_t more = std::min(_shown.found.size() - _rows, kRowsAFetch);
    if (parent.isValid() || more == 0) {
        return;
    }
    beginInsertRows({}, static_cast<int>(_rows), static_cast<int>(_rows + more - 1));
    _rows += more;
    endInsertRows();
}

int LibraryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const auto patch = patchAt(index.row());
    const library::PatchCatalog& catalog = *_shown.catalog;
    const library::CatalogBank& bank = catalog.bank(patch);
    if (index.column() == Bank && role == Qt::ToolTipRole) {
        // Tooltips take what looks like markup for markup: a file name is
        // shown as it is, on one line, and never loads what an
        // "<img src=...>" in it names.
        QString tip = QStringLiteral("<p style='white-space:nowrap'>%1</p>")
                          .arg(describeBank(bank, true).toHtmlEscaped());
        if (bank.hasDefects) {
            tip += Qt::convertFromPlainText(tr("Has defects that a3bank check warns of, such as a "
                                               "stored checksum that does not match the content."),
                                            Qt::WhiteSpaceNormal);
        }
        return tip;
    }
    if (index.column() == Bank && role == Qt::ForegroundRole && bank.hasDefects) {
        return QColor(Qt::darkRed);
    }
    if (role == Qt::TextAlignmentRole && index.column() == Favourite) {
        return Qt::AlignCenter;
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const library::SoundData* said = index.column() >= Favourite ? soundData(patch) : nullptr;
    switch (index.column()) {
    case Name:
        return QString::fromStdString(printablePatchName(catalog.name(patch)));
    case Chain:
        return QString::fromStdString(chainText(catalog.chain(patch)));
    case Bank:
        return describeBank(bank, false);
    case Number:
        return static_cast<int>(catalog.row(patch) + 1);
    case SameSound:
        return static_cast<int>(catalog.otherPlaces(patch));
    case Favourite:
        return !said || said->favourite == library::Favourite::Undecided ? QString()
               : said->favourite == library::Favourite::Yes              ? QString(QChar(0x2665))
                                                                         : tr("no");
    case Rating:
        return said ? QString(said->rating, QChar(0x2605)) : QString();
    case Tags: {
        QStringList tags;
        for (const std::string& tag : said ? said->tags : std::vector<std::string>()) {
            tags.append(QString::fromStdString(tag));
        }
        return tags.join(QStringLiteral(", "));
    }
    default:
        return {};
    }
}

const library::SoundData* LibraryModel::soundData(library::PatchCatalog::PatchId patch) const
{
    if (!_sounds || _sounds->empty()) {
        return nullptr;
    }
    const auto found = _sounds->find(_shown.catalog->soundKey(patch));
    return found != _sounds->end() ? &found->second : nullptr;
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case Name:
        return tr("Name");
    case Chain:
        return tr("Chain");
    case Bank:
        return tr("Bank");
    case Number:
        return tr("Number");
    case SameSound:
        return tr("Also In");
    case Favourite:
        return tr("Favourite");
    case Rating:
        return tr("Rating");
    case Tags:
        return tr("Tags");
    default:
        return {};
    }
}

Qt::ItemFlags LibraryModel::flags(const QModelIndex& index) const
{
    return QAbstractTableModel::flags(index) |
           (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}

QStringList LibraryModel::mimeTypes() const
{
    return {QString::fromLatin1(kPlainTextType), patchPasteboardType()};
}

library::CatalogPayload LibraryModel::payload(const QModelIndexList& indexes) const
{
    std::set<int> rows;
    for (const QModelIndex& index : indexes) {
        rows.insert(index.row());
    }
    std::vector<library::PatchCatalog::PatchId> patches;
    for (const int row : rows) {
        patches.push_back(patchAt(row));
    }
    return _shown.catalog ? _shown.catalog->payload(patches) : library::CatalogPayload{};
}

QMimeData* LibraryModel::mimeData(const QModelIndexList& indexes) const
{
    const library::CatalogPayload carried = payload(indexes);
    if (carried.bytes.empty() || carried.chainsDiffer) {
        return nullptr;
    }
    return patchPasteboard(carried.bytes, carried.refersToChainData, carried.chainChecksum)
        .release();
}

} // namespace a3
