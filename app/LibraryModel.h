#pragma once

#include "PatchCatalog.h"
#include "SoundData.h"
#include "SoundQuery.h"

#include <QAbstractTableModel>
#include <QFutureWatcher>
#include <memory>
#include <vector>

namespace a3 {

// A bank as the Library names it: its file, with its folder or without, and
// where in the file its dump is when the file is not itself the bank
// ("Factory.zip › bank 2.syx").
QString describeBank(const library::CatalogBank& bank, bool withFolder);

// The patches of the library that a search finds, as a table. It keeps the
// catalog's places only: a cell's text is made when the view asks for it.
// Searches run on a thread of the pool, so that typing never waits for one;
// the table shows the last search's results until the next one's are in.
// The rows are given to the view a thousand at a time as it scrolls to
// them, so that a search's results cost the view the same whatever their
// number.
class LibraryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Name,
        Chain,
        Bank,
        Number,
        SameSound,
        Favourite,
        Rating,
        Tags,
        ColumnCount
    };

    explicit LibraryModel(QObject* parent = nullptr);

    void setCatalog(std::shared_ptr<const library::PatchCatalog> catalog);
    // What the user said of each sound, as the columns show it and as
    // searches ask of it.
    void setSounds(std::shared_ptr<const library::SoundsSnapshot> sounds);
    // A search as the user types it: words and filters (library::SoundQuery).
    void setSearch(const QString& text, bool onePerSound);
    // Why the search typed cannot be read, or an empty text; the table keeps
    // the last search's results meanwhile.
    const QString& searchProblem() const { return _searchProblem; }
    bool isSearching() const { return _searching.isRunning(); }
    // The catalog of the rows shown.
    const library::PatchCatalog* catalog() const { return _shown.catalog.get(); }
    library::PatchCatalog::PatchId patchAt(int row) const;
    // How many patches the search found (the table may not show them all yet).
    std::size_t foundCount() const { return _shown.found.size(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    // The selected rows' patches, as a copy from a bank puts them; nothing
    // when patches that need chain data need that of different banks.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

    // The patches of the rows (each once, in table order) as a copy carries them.
    library::CatalogPayload payload(const QModelIndexList& indexes) const;

private:
    // What a snapshot of the sounds says of each sound of a catalog, kept
    // for the searches typed until either changes.
    struct Said
    {
        std::shared_ptr<const library::PatchCatalog> catalog;
        std::shared_ptr<const library::SoundsSnapshot> sounds;
        library::SaidOfSounds ofSounds;
    };
    struct Results
    {
        std::shared_ptr<const library::PatchCatalog> catalog;
        std::vector<library::PatchCatalog::PatchId> found;
        std::shared_ptr<const Said> said; // when the search asked of sounds
    };

    void search();
    void show(Results results);
    // Whether said is of the catalog and sounds searched now.
    bool isCurrent(const Said* said) const;

    const library::SoundData* soundData(library::PatchCatalog::PatchId patch) const;

    std::shared_ptr<const library::PatchCatalog> _catalog; // the latest
    std::shared_ptr<const library::SoundsSnapshot> _sounds;
    std::shared_ptr<const Said> _said; // of _catalog and _sounds, once a search made it
    library::SoundQuery _query;        // all patches, until a search is typed
    QString _searchProblem;
    static constexpr std::size_t kRowsAFetch = 1000;

    Results _shown;
    std::size_t _rows = 0; // of _shown, given to the view
    QFutureWatcher<Results> _searching;
    bool _onePerSound = false;
};

} // namespace a3
