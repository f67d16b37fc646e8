#pragma once

#include <QStringList>
#include <QTableView>

namespace widgets {

// A report-style list over a table model. Its column captions are one string-list
// property, so a translation walk over the properties reaches them; they are handed to
// whichever model the list shows. A row added at the end is scrolled into view unless
// the user has scrolled up to older rows.
class TReportList : public QTableView
{
    Q_OBJECT
    Q_PROPERTY(QStringList ColumnCaptions READ ColumnCaptions WRITE setColumnCaptions)

public:
    explicit TReportList(QWidget *parent = nullptr);

    QStringList ColumnCaptions() const { return m_captions; }
    // One caption per column, in order.
    void setColumnCaptions(const QStringList &captions);

    void setModel(QAbstractItemModel *model) override;

    // The rows that are selected, ascending.
    QList<int> selectedRowNumbers() const;

protected:
    void rowsInserted(const QModelIndex &parent, int start, int end) override;

private:
    void applyCaptions();

    QStringList m_captions;
};

} // namespace widgets
