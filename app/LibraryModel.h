#pragma once

#include "PatchCatalog.h"

#include <QAbstractTableModel>
#include <memory>
#include <vector>

namespace a3 {

// The patches of the library that a search finds, as a table. It keeps the
// catalog's places only: a cell's text is made when the view asks for it.
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
        ColumnCount
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setCatalog(std::shared_ptr<const library::PatchCatalog> catalog);
    void setSearch(const QString& text, bool onePerSound);
    const library::PatchCatalog* catalog() const { return _catalog.get(); }
    library::PatchCatalog::PatchId patchAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
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
    void search();

    std::shared_ptr<const library::PatchCatalog> _catalog;
    std::vector<library::PatchCatalog::PatchId> _found;
    QString _text;
    bool _onePerSound = false;
};

} // namespace a3
