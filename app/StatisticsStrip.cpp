#include "app/StatisticsStrip.h"

#include <QHeaderView>

namespace app {

namespace {

// The group's name gets the room a label may need; the figures share the rest.
constexpr int NameWidth = 100;
constexpr int CountWidth = 41;
constexpr int FigureWidth = 60;

} // namespace

StatisticsStrip::StatisticsStrip(QWidget *parent) : QTableWidget(parent)
{
    setObjectName(QStringLiteral("Statistik"));
    setAccessibleName(QStringLiteral("Statistik"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(17);
    verticalHeader()->setMinimumSectionSize(15);
    horizontalHeader()->setHighlightSections(false);
    // Like the protocol list's rows: the captions and three groups fit without scrolling.
    horizontalHeader()->setFixedHeight(18);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const protocol::StatisticsTable empty = protocol::statisticsTable({}, u',');
    setColumnCount(int(empty.captions.size()));
    for (int c = 0; c < columnCount(); ++c) {
        auto *header = new QTableWidgetItem(empty.captions[c]);
        header->setToolTip(empty.descriptions[c]);
        header->setTextAlignment((c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
        setHorizontalHeaderItem(c, header);
        setColumnWidth(c, c == 0 ? NameWidth : c == 1 ? CountWidth : FigureWidth);
    }
}

void StatisticsStrip::showStatistics(const QList<protocol::RunStatistics> &groups,
                                     QChar decimalSeparator)
{
    const protocol::StatisticsTable table = protocol::statisticsTable(groups, decimalSeparator);
    setRowCount(int(table.rows.size()));
    for (int r = 0; r < rowCount(); ++r) {
        for (int c = 0; c < columnCount(); ++c) {
            auto *item = new QTableWidgetItem(table.rows[r].value(c));
            item->setTextAlignment((c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            if (c > 1 && !item->text().isEmpty())
                item->setToolTip(table.descriptions[c]);
            setItem(r, c, item);
        }
    }
    const QString summary = protocol::statisticsSummary(groups, decimalSeparator);
    setAccessibleDescription(summary);
    setToolTip(summary);
}

QList<QStringList> StatisticsStrip::cellTexts() const
{
    QList<QStringList> rows;
    for (int r = 0; r < rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < columnCount(); ++c)
            cells << (item(r, c) ? item(r, c)->text() : QString());
        rows << cells;
    }
    return rows;
}

} // namespace app
