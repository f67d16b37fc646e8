#include "app/ContactLogModel.h"

#include "app/ContactLogRows.h"
#include "platform/Locale.h"

namespace app {

ContactLogModel::ContactLogModel(const ContactLog &log, QObject *parent)
    : QAbstractTableModel(parent), m_log(log)
{
    sync();
}

void ContactLogModel::sync()
{
    const std::uint64_t oldest = m_log.added() - m_log.size();
    const std::uint64_t shownEnd = m_first + std::uint64_t(m_rows);
    if (m_log.generation() != m_generation || oldest > shownEnd ||
        (oldest == shownEnd && m_rows > 0)) {
        // Cleared, or everything shown is forgotten: start over.
        beginResetModel();
        m_generation = m_log.generation();
        m_first = oldest;
        m_rows = int(m_log.size());
        endResetModel();
        return;
    }
    if (const auto gone = int(oldest - m_first); gone > 0) {
        beginRemoveRows({}, 0, gone - 1);
        m_first = oldest;
        m_rows -= gone;
        endRemoveRows();
    }
    if (const auto fresh = int(m_log.added() - (m_first + std::uint64_t(m_rows))); fresh > 0) {
        beginInsertRows({}, m_rows, m_rows + fresh - 1);
        m_rows += fresh;
        endInsertRows();
    }
}

std::optional<std::size_t> ContactLogModel::logIndex(int row) const
{
    if (row < 0 || row >= m_rows)
        return std::nullopt;
    const std::uint64_t number = m_first + std::uint64_t(row);
    const std::uint64_t oldest = m_log.added() - m_log.size();
    if (number < oldest || number >= m_log.added())
        return std::nullopt;
    return std::size_t(number - oldest);
}

int ContactLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ContactLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ContactLogColumnCount;
}

QVariant ContactLogModel::data(const QModelIndex &index, int role) const
{
    const std::optional<std::size_t> at = logIndex(index.row());
    if (!at)
        return {};
    if (role == Qt::TextAlignmentRole) {
        const auto column = ContactLogColumn(index.column());
        return column == ContactLogColumn::State || column == ContactLogColumn::Late
                   ? int(Qt::AlignCenter)
                   : int(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole)
        return {};
    if (index.column() < 0 || index.column() >= ContactLogColumnCount)
        return {};
    return contactLogField(m_log, *at, ContactLogColumn(index.column()),
                           platform::locale().decimalSeparator());
}

QVariant ContactLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return contactLogCaptions().value(section);
}

} // namespace app
