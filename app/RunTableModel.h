#pragma once

#include "protocol/RunCsv.h"
#include "protocol/RunLog.h"
#include "timing/Measurement.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace app {

// The protocol's runs as the list shows them: date/time, time, distance and speed as
// texts in the user's formats, and the run's label as a fifth, editable column. A run
// whose contact was found late has its time marked and a note in its tooltip. In a
// measurement mode other than the default one, its named columns follow the label.
class RunTableModel : public QAbstractTableModel, private protocol::RunLog::Observer
{
    Q_OBJECT

public:
    enum Column { DateTime, Time, Distance, Speed, Label, ColumnCount };

    explicit RunTableModel(protocol::RunLog &runs, QObject *parent = nullptr);
    ~RunTableModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // The captions come from the view's translated layout.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;

    protocol::RunLog &runs() { return m_runs; }

    // The mode whose columns are shown; runs of another mode still in the list keep theirs.
    void setMode(timing::MeasurementMode mode);
    // The further columns after the label, in order.
    const QList<protocol::CsvExtraColumn> &extraColumns() const { return m_extra; }

private:
    void runsAboutToBeInserted(int first, int last) override;
    void runsInserted(int first, int last) override;
    void runsAboutToBeRemoved(int first, int last) override;
    void runsRemoved(int first, int last) override;
    void runsAboutToBeReset() override;
    void runsReset() override;
    void runChanged(int row) override;

    // Follows a change of the runs that may have brought or taken further columns.
    void refreshColumns();

    protocol::RunLog &m_runs;
    QStringList m_captions;
    timing::MeasurementMode m_mode = timing::MeasurementMode::BetweenBarriers;
    QList<protocol::CsvExtraColumn> m_extra;
};

} // namespace app
