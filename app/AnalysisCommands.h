#pragma once

#include "protocol/Run.h"
#include "session/Session.h"

#include <QPointer>

#include <functional>

class QMenu;
class QWidget;

namespace app {

class AnalysisWindow;

// The main window's way to the analysis: "Auswertung …" (Ctrl+U) opens the one analysis
// window of `window`, and "v(t) anzeigen …" the chart of the picket fence pass in the row
// `currentRow` gives (-1: none), offered only on such a row.
class AnalysisCommands
{
public:
    AnalysisCommands(QWidget *window, QMenu *menu, session::Session &session,
                     std::function<int()> currentRow);
    // The analysis window observes the session: it goes first.
    ~AnalysisCommands();
    AnalysisCommands(const AnalysisCommands &) = delete;
    AnalysisCommands &operator=(const AnalysisCommands &) = delete;

    // Opens the window, or raises it.
    AnalysisWindow *showAnalysis();
    AnalysisWindow *analysisWindow() const { return m_window; }
    // A small window with the pass's v(t) and its fit; nothing for a run without speeds.
    QWidget *showPass(const protocol::Run &run);

private:
    QWidget *m_parent;
    session::Session &m_session;
    std::function<int()> m_currentRow;
    QPointer<AnalysisWindow> m_window;
};

} // namespace app
