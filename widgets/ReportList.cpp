#include "widgets/ReportList.h"

#include <QItemSelectionModel>
#include <QScrollBar>

#include <algorithm>

namespace widgets {

TReportList::TReportList(QWidget *parent) : QTableView(parent) {}

void TReportList::setColumnCaptions(const QStringList &captions)
{
    m_captions = captions;
    applyCaptions();
}

void TReportList::setModel(QAbstractItemModel *model)
{
    QTableView::setModel(model);
    applyCaptions();
}

void TReportList::applyCaptions()
{
    if (!model())
        return;
    for (int c = 0; c < m_captions.size(); ++c)
        model()->setHeaderData(c, Qt::Horizontal, m_captions[c]);
}

QList<int> TReportList::selectedRowNumbers() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TReportList::rowsInserted(const QModelIndex &parent, int start, int end)
{
    // The scroll range is still the one before the insertion: at its end means the user
    // follows the newest rows.
    const QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    QTableView::rowsInserted(parent, start, end);
    if (following && !parent.isValid() && end == model()->rowCount() - 1)
        scrollToBottom();
}

} // namespace widgets
