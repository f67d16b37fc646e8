#pragma once

#include <QStringList>
#include <QTableWidget>

// A report-style list whose column captions are one string-list property, so a
// translation walk over the properties reaches them.
class TReportList : public QTableWidget
{
    Q_OBJECT
    Q_PROPERTY(QStringList ColumnCaptions READ ColumnCaptions WRITE setColumnCaptions)

public:
    explicit TReportList(QWidget *parent = nullptr);

    QStringList ColumnCaptions() const;
    // One caption per column, in order; more captions than columns add columns.
    void setColumnCaptions(const QStringList &captions);
};
