#include "app/ProjectorView.h"

#include "app/BigText.h"

#include "platform/Locale.h"
#include "protocol/NumberFormat.h"
#include "widgets/IAeverLiquidIndicator.h"
#include "widgets/QrCode.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace app {

namespace {

// The main window's display is 349 x 85; the big one keeps its proportions.
constexpr int FaceWidth = 349;
constexpr int FaceHeight = 85;

QString timeText(long double ticks)
{
    return timing::TicksToStr(timing::Ticks(std::llround(ticks)));
}

QString speedText(long double speed)
{
    return protocol::formatFixed3(speed, platform::locale().decimalSeparator()) +
           QStringLiteral(" m/s");
}

// Largest pixel size up to `most` at which `sample` fits `width`.
int fittingPixelSize(const QFont &base, const QString &sample, int width, int most)
{
    QFont font = base;
    int size = std::max(most, 8);
    font.setPixelSize(size);
    const int advance = QFontMetrics(font).horizontalAdvance(sample);
    if (advance > width && advance > 0)
        size = std::max(8, int(size * double(width) / advance));
    return size;
}

} // namespace

int projectorScreenIndex(int screenCount, int mainIndex, bool preferOther)
{
    if (screenCount <= 0)
        return -1;
    const int own = std::clamp(mainIndex, 0, screenCount - 1);
    if (!preferOther || screenCount == 1)
        return own;
    return own == 0 ? 1 : 0;
}

ProjectorView::ProjectorView(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Projector"));
    setWindowTitle(QStringLiteral("Großanzeige"));
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    setPalette(dark);
    setAutoFillBackground(true);

    m_digits = new widgets::TIAeverLiquidIndicator(this);
    m_digits->setObjectName(QStringLiteral("ProjectorDigits"));
    m_digits->setFocusPolicy(Qt::NoFocus);
    // Live from the start: every size set later re-renders the face at once.
    m_digits->loaded();

    const auto label = [this](const char *name) {
        auto *l = new BigText(this);
        l->setObjectName(QLatin1StringView(name));
        return l;
    };
    m_state = label("ProjectorState");
    m_lastRun = label("ProjectorLastRun");
    m_statistics = label("ProjectorStatistics");
    setArmedState(session::ArmedState::NoPort);
    setFigures({});
}

ProjectorView::~ProjectorView() = default;

void ProjectorView::copyLook(const widgets::TIAeverLiquidIndicator &source)
{
    m_digits->setSignNumber(source.SignNumber());
    m_digits->setIndicatorKind(source.IndicatorKind());
    m_digits->setIndicatorStyle(source.IndicatorStyle());
    m_digits->setBackColor(source.BackColor());
    m_digits->setBevelColor(source.BevelColor());
    m_digits->setNumberForeColor(source.NumberForeColor());
    m_digits->setNumberBackColor(source.NumberBackColor());
    m_digits->setInnerBevel(source.InnerBevel());
    m_digits->setOuterBevel(source.OuterBevel());
    m_digits->setIndicatorstring(source.Indicatorstring());
    layOut();
}

void ProjectorView::showOn(QScreen *screen)
{
    if (screen) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }
    showFullScreen();
    raise();
    activateWindow();
}

void ProjectorView::setTime(const QString &text)
{
    m_digits->setIndicatorstring(text);
}

void ProjectorView::setArmedState(session::ArmedState state)
{
    m_state->setText(session::armedStateText(state));
    m_state->setColor(session::armedStateColor(state));
}

void ProjectorView::setFigures(const ProjectorFigures &f)
{
    const QChar separator = platform::locale().decimalSeparator();
    QString last = QStringLiteral("Letzte Messung: ");
    if (!f.last)
        last += QStringLiteral("–");
    else if (f.last->ticks)
        last += timeText(*f.last->ticks);
    else
        last += QStringLiteral("???");
    if (f.last) {
        if (const std::optional<long double> v = f.last->speed();
            v && f.last->mode == timing::MeasurementMode::BetweenBarriers)
            last += QStringLiteral("   ") + speedText(*v);
        // The mode's own headline values: a, v1 and v2, a flag's speed; a period is the time.
        for (const protocol::RunValue &value : f.last->extra)
            if (session::isHeadline(f.last->mode, value.name) && value.value
                && f.last->mode != timing::MeasurementMode::Pendulum)
                last += QStringLiteral("   ") + value.name + QStringLiteral(" = ") +
                        protocol::formatFixed(*value.value, value.decimals, separator) + u' ' +
                        value.unit;
        if (f.last->manual)
            last += QStringLiteral("   (von Hand)");
    }
    const bool longer = last.size() > m_lastRun->text().size();
    m_lastRun->setText(last);

    const session::SeriesResult &s = f.series;
    QString stats = s.name;
    if (!s.setting.isEmpty())
        stats += QStringLiteral(", ") + s.setting;
    stats += QStringLiteral(":   %1 %2").arg(s.count).arg(s.count == 1 ? QStringLiteral("Messung")
                                                                       : QStringLiteral("Messungen"));
    if (s.meanSeconds) {
        stats += QStringLiteral("   Mittel ") +
                 timeText(*s.meanSeconds * timing::TicksPerSecond);
        for (const QString &result : s.results)
            stats += QStringLiteral("   ") + result;
    }
    const bool grew = longer || stats.size() > m_statistics->text().size();
    m_statistics->setText(stats);
    // A longer line is fitted anew; the next shorter one keeps the size.
    if (grew)
        layOut();
}

QString ProjectorView::stateText() const
{
    return m_state->text();
}

QString ProjectorView::lastRunText() const
{
    return m_lastRun->text();
}

QString ProjectorView::statisticsText() const
{
    return m_statistics->text();
}

void ProjectorView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_F5: emit contact1Requested(); break;
    case Qt::Key_F6: emit contact2Requested(); break;
    case Qt::Key_F8: emit resetRequested(); break;
    case Qt::Key_F11:
    case Qt::Key_Escape:
        if (!event->isAutoRepeat())
            close();
        break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

void ProjectorView::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit closed();
}

void ProjectorView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
}

// The display takes most of the width and up to half the height; the three lines of text
// share the rest.
void ProjectorView::layOut()
{
    const int w = width();
    const int h = height();
    const int margin = std::max(4, h / 40);
    int faceWidth = w - 2 * margin;
    int faceHeight = faceWidth * FaceHeight / FaceWidth;
    if (faceHeight > h / 2) {
        faceHeight = h / 2;
        faceWidth = faceHeight * FaceWidth / FaceHeight;
    }
    faceWidth = std::max(faceWidth, 1);
    faceHeight = std::max(faceHeight, 1);
    // Bevels and gap grow with the face, as if the small display were magnified.
    const int scale = std::max(1, int(std::lround(double(faceHeight) / FaceHeight)));
    m_digits->setIndicatorGap(2 * scale);
    m_digits->setInnerBevelWidth(2 * scale);
    m_digits->setOuterBevelWidth(2 * scale);
    m_digits->move((w - faceWidth) / 2, margin);
    m_digits->setIndicatorWidth(faceWidth);
    m_digits->setIndicatorHeight(faceHeight);

    const int top = margin + faceHeight + margin;
    const int lineHeight = std::max(1, (h - top - margin) / 3);
    const int textWidth = w - 2 * margin;
    // The texts shown, but never smaller than a common line needs, so that the size
    // does not jump with every run.
    QString widest = QStringLiteral("Fahrten: 999   Mittel: 00:00.0000   000,000 m/s");
    for (const BigText *line : {m_lastRun, m_statistics})
        if (line->text().size() > widest.size())
            widest = line->text();
    const int figures = fittingPixelSize(m_lastRun->font(), widest, textWidth, lineHeight * 6 / 10);
    const int state = fittingPixelSize(m_state->font(), QStringLiteral("Kontakt offen/gestört"),
                                       textWidth, lineHeight * 7 / 10);
    const auto place = [&](BigText *line, int row, int pixels) {
        line->setPixelSize(pixels);
        line->setGeometry(margin, top + row * lineHeight, textWidth, lineHeight);
    };
    place(m_state, 0, state);
    place(m_lastRun, 1, figures);
    place(m_statistics, 2, figures);
    if (m_join) {
        const int side = std::max(1, std::min(w, h) / 5);
        m_join->setGeometry(w - margin - side, h - margin - side, side, side);
        m_join->raise();
    }
}

void ProjectorView::setJoinUrl(const QString &url)
{
    if (!m_join && url.isEmpty())
        return;
    if (!m_join) {
        m_join = new widgets::QrCode(this);
        m_join->setObjectName(QStringLiteral("qrJoin"));
    }
    m_join->setText(url);
    m_join->setVisible(!url.isEmpty());
    layOut();
}

QString ProjectorView::joinUrl() const
{
    return m_join ? m_join->text() : QString();
}

} // namespace app
