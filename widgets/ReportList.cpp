#include "widgets/ReportList.h"

TReportList::TReportList(QWidget *parent) : QTableWidget(parent) {}

QStringList TReportList::ColumnCaptions() const
{
    QStringList captions;
    for (int c = 0; c < columnCount(); ++c) {
        const QTableWidgetItem *header = horizontalHeaderItem(c);
        captions.append(header ? header->text() : QString());
    }
    return captions;
}

void TReportList::setColumnCaptions(const QStringList &captions)
{
    if (captions.size() > columnCount())
        setColumnCount(int(captions.size()));
    for (int c = 0; c < captions.size(); ++c) {
        if (QTableWidgetItem *header = horizontalHeaderItem(c))
            header->setText(captions[c]);
        else
            setHorizontalHeaderItem(c, new QTableWidgetItem(captions[c]));
    }
}
