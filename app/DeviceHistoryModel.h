#pragma once

#include "DeviceHistory.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <vector>

namespace a3 {

// The banks received from the device as a table, newest first: when each
// came, its chain ID and what changed since the bank before it. Every text
// is made here, so that the window only shows it.
class DeviceHistoryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Received,
        ChainId,
        Changes,
        File,
        ColumnCount
    };

    // What the selection shows below the list: a sentence, and a row for
    // the chain data and for each patch that changed (number, name before,
    // name after, what changed).
    struct Detail
    {
        QString summary;
        QList<QStringList> rows;
    };

    explicit DeviceHistoryModel(QObject* parent = nullptr);

    // The Received folder as read again; the rows are made anew only when a
    // file came, went or changed, so that the selection stays otherwise.
    void setFiles(std::vector<library::ReceivedFile> files);
    const std::vector<library::ReceivedFile>& files() const { return _files; }
    const library::ReceivedFile& file(int row) const;

    // What changed since the bank before the row's, or between two rows'
    // banks, the older first; a word on what to select otherwise.
    Detail detail(QList<int> rows) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<library::ReceivedFile> _files;
    std::vector<QString> _changes; // each row's Changes text
};

} // namespace a3
