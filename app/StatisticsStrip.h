#pragma once

#include "protocol/Statistics.h"

#include <QTableWidget>

namespace app {

// The statistics under the protocol list: a caption row and one line per group ("Alle",
// then one per label), read-only. Empty when the protocol is.
class StatisticsStrip : public QTableWidget
{
    Q_OBJECT

public:
    explicit StatisticsStrip(QWidget *parent = nullptr);

    void showStatistics(const QList<protocol::RunStatistics> &groups, QChar decimalSeparator);

    // The texts shown, row by row, for tests and screen readers.
    QList<QStringList> cellTexts() const;

    // Room for the captions and this many groups; more scroll.
    static constexpr int VisibleGroups = 3;
};

} // namespace app
