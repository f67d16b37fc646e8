#include "app/AnalysisCommands.h"

#include "app/AnalysisPlot.h"
#include "app/AnalysisWindow.h"
#include "platform/Locale.h"
#include "widgets/FitPlot.h"

#include <QAction>
#include <QMenu>
#include <QVBoxLayout>

namespace app {

AnalysisCommands::AnalysisCommands(QWidget *window, QMenu *menu, session::Session &session,
                                   std::function<int()> currentRow)
    : m_parent(window), m_session(session), m_currentRow(std::move(currentRow))
{
    auto *analyse = new QAction(QStringLiteral("Auswertung …"), window);
    analyse->setObjectName(QStringLiteral("Auswertung1"));
    analyse->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    analyse->setShortcutContext(Qt::WindowShortcut);
    window->addAction(analyse);
    QObject::connect(analyse, &QAction::triggered, window, [this] { showAnalysis(); });
    auto *pass = new QAction(QStringLiteral("v(t) anzeigen …"), window);
    pass->setObjectName(QStringLiteral("PassChart1"));
    QObject::connect(pass, &QAction::triggered, window, [this] {
        const int row = m_currentRow();
        if (row >= 0 && row < m_session.runs().runs().size())
            showPass(m_session.runs().runs().at(row));
    });
    menu->addSeparator();
    menu->addAction(analyse);
    menu->addAction(pass);
    QObject::connect(menu, &QMenu::aboutToShow, window, [this, pass] {
        const int row = m_currentRow();
        const QList<protocol::Run> &runs = m_session.runs().runs();
        pass->setVisible(row >= 0 && row < runs.size()
                         && runs.at(row).mode == timing::MeasurementMode::PicketFence);
        pass->setEnabled(pass->isVisible() && !runs.at(row).speeds.isEmpty());
    });
}

AnalysisCommands::~AnalysisCommands()
{
    delete m_window.data();
}

AnalysisWindow *AnalysisCommands::showAnalysis()
{
    if (!m_window)
        m_window = new AnalysisWindow(m_session, m_parent);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window;
}

QWidget *AnalysisCommands::showPass(const protocol::Run &run)
{
    if (run.speeds.isEmpty())
        return nullptr;
    timing::ModeRun pass;
    pass.ticks = run.ticks;
    pass.meters = run.meters;
    pass.extra = run.extra;
    pass.speeds = run.speeds;
    auto *window = new QWidget(m_parent, Qt::Window);
    window->setObjectName(QStringLiteral("PassWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QStringLiteral("Lattenzaun: v(t)"));
    auto *plot = new widgets::FitPlot(window);
    plot->setData(passPlot(pass, platform::locale().decimalSeparator()));
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(plot);
    window->resize(520, 420);
    window->show();
    return window;
}

} // namespace app
