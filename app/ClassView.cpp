#include "app/ClassView.h"

#include "app/ClassViewDialog.h"
#include "app/Classroom.h"
#include "app/ExceptionHandler.h"
#include "app/ProjectorView.h"
#include "app/RunReport.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "protocol/NumberFormat.h"
#include "protocol/RunCsv.h"
#include "protocol/RunTexts.h"
#include "protocol/Statistics.h"
#include "session/ArmedState.h"
#include "session/Series.h"
#include "settings/Settings.h"
#include "timing/TimeBase.h"

#include <QAction>
#include <QCheckBox>
#include <QSignalBlocker>

#include <cstdio>
#include <numeric>

namespace app {

namespace {

// Read after the window's own settings: a failing read has been reported there.
settings::ClassViewSettings loadSettings()
{
    try {
        return settings::LoadClassViewSettings();
    } catch (const platform::ERegistryException &) {
        return {};
    }
}

} // namespace

ClassView::ClassView(session::Session &session, std::function<QString()> timeText, QObject *parent)
    : QObject(parent), m_session(session), m_timeText(std::move(timeText))
{
    setObjectName(QStringLiteral("ClassView"));
    m_options.port = quint16(loadSettings().port);
    m_publishTimer.setSingleShot(true);
    m_publishTimer.setInterval(0);
    connect(&m_publishTimer, &QTimer::timeout, this, &ClassView::publishNow);
    // The PDF is drawn in the window's thread: at most once a second, never per contact.
    m_pdfTimer.setSingleShot(true);
    m_pdfTimer.setInterval(1000);
    connect(&m_pdfTimer, &QTimer::timeout, this, &ClassView::makePdf);
    session.addObserver(this);
}

ClassView::~ClassView()
{
    m_session.removeObserver(this);
}

web::ClassViewState ClassView::state(const session::Session &session, const QString &timeText,
                                     timing::Ticks now)
{
    const platform::Locale &locale = platform::locale();
    const QChar decimal = locale.decimalSeparator();
    const QList<protocol::Run> &runs = session.runs().runs();

    web::ClassViewState s;
    s.running = session.running();
    if (s.running) {
        const timing::Ticks start = session.mode() == timing::MeasurementMode::BetweenBarriers
                                        ? session.chronometer().startTicks()
                                        : session.engine().runningSince().value_or(now);
        s.runningMs = std::max<qint64>(0, (now - start) * 1000 / timing::TicksPerSecond);
    }
    s.timeText = timeText;
    s.decimalSeparator = QString(decimal);
    const session::ArmedState armed = session.armedState();
    s.armedText = session::armedStateText(armed);
    if (!session.stateNote().isEmpty())
        s.armedText += QStringLiteral(" – ") + session.stateNote();
    s.armedColor = session::armedStateColor(armed).name();

    // The series the next run joins, as the projector shows it.
    const ProjectorFigures figures = Classroom::figures(session);
    s.seriesLabel = figures.series.setting.isEmpty()
                        ? figures.series.name
                        : figures.series.name + QStringLiteral(" (") + figures.series.setting +
                              u')';
    s.modeName = session::modeName(session.mode());
    s.resultText = figures.series.results.join(QStringLiteral("; "));
    if (s.resultText.isEmpty() && figures.series.meanSeconds)
        s.resultText = QStringLiteral("t = %1 s")
                           .arg(protocol::formatFixed(*figures.series.meanSeconds, 4, decimal));

    // The runs as the protocol list has them, with the label and the modes' own columns.
    s.runColumns = {QStringLiteral("Nr."), QStringLiteral("Zeit"), QStringLiteral("Strecke"),
                    QStringLiteral("v"), QStringLiteral("Bezeichnung")};
    const QList<protocol::CsvExtraColumn> extra = protocol::extraColumns(runs);
    for (const protocol::CsvExtraColumn &c : extra)
        s.runColumns << (c.unit.isEmpty() ? c.name : c.name + QStringLiteral(" in ") + c.unit);
    const QList<protocol::ProtocolRow> rows = protocol::protocolRows(runs, locale);
    s.runs.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const protocol::ProtocolRow &row = rows[i];
        const protocol::Run &run = runs[i];
        QStringList cells{QString::number(i + 1), row.time, row.distance, row.speed, run.label};
        for (const protocol::CsvExtraColumn &c : extra) {
            QString cell;
            for (qsizetype j = 0; j < run.extra.size() && j < row.extra.size(); ++j)
                if (run.extra[j].name == c.name && run.extra[j].unit == c.unit)
                    cell = row.extra[j];
            cells << cell;
        }
        s.runs.append(cells);
        if (const auto v = run.speed())
            s.chartPoints.append({double(i + 1), double(*v)});
        else if (run.ticks)
            s.chartPoints.append({double(i + 1), double(timing::secondsOf(*run.ticks))});
    }
    s.chartXLabel = QStringLiteral("Messung");
    s.chartYLabel = QStringLiteral("v in m/s");

    // The statistics of every series, as the window's strip lists them.
    QList<qsizetype> all(runs.size());
    std::iota(all.begin(), all.end(), qsizetype(0));
    const session::StatisticsView view = session::statisticsView(runs, session.series(), all, decimal);
    const protocol::StatisticsTable table = protocol::statisticsTable(view.groups(), decimal);
    for (const QStringList &row : table.rows) {
        const QString group = row.value(0);
        for (qsizetype c = 1; c < row.size() && c < table.descriptions.size(); ++c)
            s.statistics.append({group + QStringLiteral(": ") + table.descriptions[c].section(u';', 0, 0),
                                 row[c]});
    }
    return s;
}

QString ClassView::setOn(bool on)
{
    QString message;
    if (on && !m_server) {
        m_server = std::make_unique<web::ClassViewServer>(m_options);
        message = m_server->start();
        if (!message.isEmpty()) {
            m_server.reset();
        } else {
            // Once per start, for the teacher who started the program from a terminal.
            std::fprintf(stderr, "Klassenansicht: %s\n", qPrintable(m_server->url()));
            std::fflush(stderr);
            m_csvDirty = true;
            publishNow();
            makePdf();
        }
    } else if (!on && m_server) {
        m_server->stop();
        m_server.reset();
        m_publishTimer.stop();
        m_pdfTimer.stop();
    }
    // Remembered only when it took effect: a taken port does not switch it on next time.
    if (message.isEmpty() || !on) {
        settings::ClassViewSettings stored = loadSettings();
        if (stored.on != isOn()) {
            stored.on = isOn();
            settings::SaveClassViewSettings(stored);
        }
    }
    emit switched(isOn(), url());
    return message;
}

void ClassView::addControls(QWidget *strip, const QRect &geometry, QWidget *display)
{
    m_dialogParent = strip->window();
    m_box = new QCheckBox(QStringLiteral("&Klassenansicht"), strip);
    m_box->setObjectName(QStringLiteral("chkClassView"));
    m_box->setFocusPolicy(Qt::NoFocus);
    m_box->setGeometry(geometry);
    m_box->setToolTip(QStringLiteral("Zeiten und Diagramm im Browser der Klasse zeigen"));
    connect(m_box, &QCheckBox::clicked, this, &ClassView::switchByUser);
    m_action = new QAction(QStringLiteral("Klassenansicht"), strip);
    m_action->setObjectName(QStringLiteral("Klassenansicht1"));
    m_action->setCheckable(true);
    connect(m_action, &QAction::triggered, this, &ClassView::switchByUser);
    auto *address = new QAction(QStringLiteral("Adresse der Klassenansicht …"), strip);
    address->setObjectName(QStringLiteral("KlassenansichtAdresse1"));
    connect(address, &QAction::triggered, this, [this] { showAddress(); });
    display->addActions({m_action, address});
    connect(this, &ClassView::switched, this, [this](bool on, const QString &address) {
        const QSignalBlocker blockBox(m_box);
        const QSignalBlocker blockAction(m_action);
        m_box->setChecked(on);
        m_action->setChecked(on);
        if (m_projector)
            m_projector->setJoinUrl(address);
        if (m_dialog)
            m_dialog->setUrl(address);
    });
}

void ClassView::setProjector(ProjectorView *projector)
{
    m_projector = projector;
    if (m_projector)
        m_projector->setJoinUrl(url());
}

void ClassView::startIfRemembered()
{
    if (loadSettings().on)
        guarded([this] {
            if (const QString message = setOn(true); !message.isEmpty())
                throw platform::TfError(message);
        });
}

void ClassView::switchByUser(bool on)
{
    guarded([&] {
        const QString message = setOn(on);
        if (!message.isEmpty())
            throw platform::TfError(message);
        if (on)
            showAddress();
    });
}

ClassViewDialog *ClassView::showAddress()
{
    if (!m_dialog) {
        m_dialog = new ClassViewDialog(m_dialogParent);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_dialog->setUrl(url());
    m_dialog->show();
    m_dialog->raise();
    return m_dialog;
}

QString ClassView::url() const
{
    return m_server ? m_server->url() : QString();
}

void ClassView::schedule()
{
    if (m_server && !m_publishTimer.isActive())
        m_publishTimer.start();
}

void ClassView::publishNow()
{
    if (!m_server)
        return;
    // Stopped, the session's own text: the display takes it over only at its next tick.
    const timing::Ticks now = timing::GetTicks();
    const QString text = m_session.running() ? (m_timeText ? m_timeText() : QString())
                                             : m_session.digitsText(now);
    m_server->publish(state(m_session, text, now));
    if (m_csvDirty) {
        m_csvDirty = false;
        m_server->setCsv(protocol::csvBytes(
            m_session.runs().runs(),
            protocol::CsvConvention::forDecimalSeparator(platform::locale().decimalSeparator())));
    }
}

void ClassView::makePdf()
{
    if (!m_server)
        return;
    const platform::Locale &locale = platform::locale();
    ReportContent content;
    content.runs = m_session.runs().runs();
    content.rows.resize(content.runs.size());
    std::iota(content.rows.begin(), content.rows.end(), qsizetype(0));
    content.made = locale.currentDateTime();
    m_server->setPdf(reportPdf(content, locale));
}

} // namespace app
