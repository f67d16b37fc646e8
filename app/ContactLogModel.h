#pragma once

#include "app/ContactLog.h"

#include <QAbstractTableModel>

#include <cstdint>

namespace app {

// The contact display's table: one row per kept edge, oldest first, the columns of
// contactLogFields(). It follows the log when told to (sync()), so that a burst of edges
// costs one insertion and one removal of rows, not one per edge.
class ContactLogModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ContactLogModel(const ContactLog &log, QObject *parent = nullptr);

    // Brings the rows in line with the log: the forgotten ones removed, the new appended.
    void sync();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The log's index of a row, if the log still keeps it.
    std::optional<std::size_t> logIndex(int row) const;

private:
    const ContactLog &m_log;
    std::uint64_t m_generation = 0;
    std::uint64_t m_first = 0; // number of the edge in row 0, counted from 0 since the clear
    int m_rows = 0;
};

} // namespace app
