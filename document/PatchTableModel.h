#pragma once

#include <QAbstractTableModel>

namespace a3 {

class A3AllDataDocument;

// The patch table's face of a document: one row a patch, columns told apart
// by their identifiers "number", "chain" and "name". Nothing is cached; every
// cell is read from the bank when the view asks for it, and the rows the
// document reports changed are refreshed.
class PatchTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit PatchTableModel(A3AllDataDocument& document, QObject* parent = nullptr);

    static QString columnIdentifier(int column);
    static int columnForIdentifier(const QString& identifier);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Every cell of a row edits the row's name.
    QModelIndex buddy(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Drags carry the rows' patches; drops overwrite rows from the one they
    // land on. Both are always copies.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

private:
    // The row a drop lands on: the row under it, the row below a gap between
    // rows, or the last row below the table's end.
    int dropRow(int row, const QModelIndex& parent) const;
    void refresh(const QList<qint64>& rows);

    A3AllDataDocument& _document;
};

} // namespace a3
