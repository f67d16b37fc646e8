#pragma once

#include "session/Session.h"
#include "session/SessionAnalysis.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

namespace widgets {
class FitPlot;
}

namespace app {

// "Auswertung": the session's series of one mode as points at their setting, the pair and
// model the user picks, the plot with its fit, the result with its uncertainty and the
// series table; and the report's title, class and notes, kept in the session. Follows the
// session while it is open.
class AnalysisWindow : public QWidget, private session::Session::Observer
{
    Q_OBJECT

public:
    explicit AnalysisWindow(session::Session &session, QWidget *parent = nullptr);
    ~AnalysisWindow() override;

    // What the window shows now, for the report and the tests.
    const session::SessionAnalysis &current() const { return m_current; }
    // The session's mode, and the pair and model as chosen here.
    session::SessionAnalysis analyse() const;
    // Chooses the mode whose series are analysed (its stored index), as the selector does.
    void setModeIndex(int index);

private:
    void sessionChanged() override;
    void refresh();
    void fillPairs();
    void showTexts();
    void storeTexts();

    session::Session &m_session;
    session::SessionAnalysis m_current;
    QComboBox *m_mode = nullptr;
    QComboBox *m_pair = nullptr;
    QComboBox *m_model = nullptr;
    widgets::FitPlot *m_plot = nullptr;
    QLabel *m_summary = nullptr;
    QTableWidget *m_table = nullptr;
    QLineEdit *m_title = nullptr;
    QLineEdit *m_class = nullptr;
    QPlainTextEdit *m_notes = nullptr;
    bool m_showing = false; // the fields are being filled from the session
};

// The pair shown first for a mode: the first whose slope gives a quantity (a, g).
analysis::Pair defaultPair(timing::MeasurementMode mode);
// The analysis a report shows when no window chose: that pair, proportional.
session::SessionAnalysis defaultAnalysis(const QList<protocol::Run> &runs,
                                         timing::MeasurementMode mode);

} // namespace app
