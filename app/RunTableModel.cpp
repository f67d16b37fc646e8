#include "app/RunTableModel.h"

#include "platform/Locale.h"
#include "protocol/ModeRuns.h"
#include "protocol/ProtocolExport.h"
#include "protocol/RunTexts.h"

namespace app {

namespace {

// Date/time and label read from the left, the numbers line up on the right.
int alignment(int column)
{
    const bool left = column == RunTableModel::DateTime || column == RunTableModel::Label;
    return int((left ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
}

} // namespace

RunTableModel::RunTableModel(protocol::RunLog &runs, QObject *parent)
    : QAbstractTableModel(parent), m_runs(runs), m_captions(ColumnCount)
{
    m_runs.addObserver(this);
}

RunTableModel::~RunTableModel()
{
    m_runs.removeObserver(this);
}

int RunTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_runs.size();
}

int RunTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ColumnCount + m_extra.size());
}

QVariant RunTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_runs.size())
        return {};
    const protocol::Run &run = m_runs.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        if (column == Label)
            return run.label;
        if (column > Label)
            return protocol::cellText(run, m_extra.value(column - ColumnCount),
                                      platform::locale().decimalSeparator());
        // Formatted when shown: only the visible rows are ever asked.
        const protocol::ProtocolRow row = protocol::protocolRow(run, platform::locale());
        switch (column) {
        case DateTime:
            return row.caption;
        case Time: {
            const QString time = row.late ? row.time + protocol::LateMark : row.time;
            // A hand's reaction is in the time: no instrument's uncertainty covers it.
            return run.manual && run.ticks && *run.ticks > 0 ? time + QStringLiteral(" H") : time;
        }
        case Distance:
            return row.distance;
        case Speed:
            return row.speed;
        default:
            return {};
        }
    }
    case Qt::TextAlignmentRole:
        return alignment(column);
    case Qt::ToolTipRole:
        if (run.late && run.ticks)
            return protocol::lateNote();
        if (run.manual && run.ticks)
            return QStringLiteral("Von Hand gemessen (Taste oder Knopf): die Zeit enthält die "
                                  "Reaktionszeit.");
        return {};
    default:
        return {};
    }
}

bool RunTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != Label)
        return false;
    m_runs.setLabel(index.row(), value.toString());
    return true;
}

Qt::ItemFlags RunTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == Label)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant RunTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return section < ColumnCount ? m_captions.at(section)
                                     : protocol::columnCaption(m_extra.at(section - ColumnCount));
    if (role == Qt::TextAlignmentRole)
        return alignment(section);
    return {};
}

bool RunTableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                                  int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount ||
        (role != Qt::EditRole && role != Qt::DisplayRole))
        return false;
    m_captions[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

void RunTableModel::runsAboutToBeInserted(int first, int last)
{
    beginInsertRows({}, first, last);
}

void RunTableModel::runsInserted(int, int)
{
    endInsertRows();
    refreshColumns();
}

void RunTableModel::runsAboutToBeRemoved(int first, int last)
{
    beginRemoveRows({}, first, last);
}

void RunTableModel::runsRemoved(int, int)
{
    endRemoveRows();
    refreshColumns();
}

void RunTableModel::runsAboutToBeReset()
{
    beginResetModel();
}

void RunTableModel::runsReset()
{
    m_extra = protocol::shownColumns(m_mode, m_runs.runs());
    endResetModel();
}

void RunTableModel::runChanged(int row)
{
    emit dataChanged(index(row, Label), index(row, Label));
}

void RunTableModel::setMode(timing::MeasurementMode mode)
{
    m_mode = mode;
    refreshColumns();
}

void RunTableModel::refreshColumns()
{
    const QList<protocol::CsvExtraColumn> extra = protocol::shownColumns(m_mode, m_runs.runs());
    if (extra == m_extra)
        return;
    // Rare (a mode change, a run of another mode coming back): the view is rebuilt whole.
    beginResetModel();
    m_extra = extra;
    endResetModel();
}

} // namespace app
