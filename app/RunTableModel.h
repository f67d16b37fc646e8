#pragma once

#include "protocol/RunLog.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace app {

// The protocol's runs as the list shows them: date/time, time, distance and speed as
// texts in the user's formats, and the run's label as a fifth, editable column. A run
// whose contact was found late has its time marked and a note in its tooltip.
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

private:
    void runsAboutToBeInserted(int first, int last) override;
    void runsInserted(int first, int last) override;
    void runsAboutToBeRemoved(int first, int last) override;
    void runsRemoved(int first, int last) override;
    void runsAboutToBeReset() override;
    void runsReset() override;
    void runChanged(int row) override;

    protocol::RunLog &m_runs;
    QStringList m_captions;
};

} // namespace app
