#include "app/ContactLogView.h"

#include "platform/Locale.h"
#include "protocol/NumberFormat.h"
#include "timing/TimeBase.h"

#include <QKeyEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace app {

QString ContactLogView::lengthText(timing::Ticks length, QChar decimal)
{
    if (length >= 10'000)
        return protocol::formatFixed(length / 10'000.0L, length % 10'000 ? 1 : 0, decimal) +
               QStringLiteral(" s");
    return protocol::formatFixed(length / 10.0L, length % 10 ? 1 : 0, decimal) +
           QStringLiteral(" ms");
}

ContactLogView::ContactLogView(const ContactLog &log, QWidget *parent) : QWidget(parent), m_log(log)
{
    setObjectName(QStringLiteral("ContactTraces"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Verlauf der Kontakte"));
    changed();
}

ContactLogSpan ContactLogView::span() const
{
    return {m_paused ? m_end : timing::GetTicks(), m_length};
}

void ContactLogView::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    // The stretch held is the one on the screen.
    m_end = timing::GetTicks();
    m_paused = paused;
    changed();
    emit pausedChanged(paused);
}

void ContactLogView::zoom(int steps, std::optional<int> anchorX)
{
    const ContactLogSpan before = span();
    timing::Ticks length = before.length;
    for (int i = 0; i < std::abs(steps); ++i)
        length = steps > 0 ? length / 2 : length * 2;
    length = std::clamp(length, MinLength, MaxLength);
    if (length == m_length)
        return;
    if (m_paused) {
        // The middle is exact; a pixel column stands for as many ticks as it is wide.
        const timing::Ticks anchor = anchorX ? ContactLogPicture(size()).ticksAt(*anchorX, before)
                                             : before.end - before.length / 2;
        m_end = anchor + timing::Ticks(std::llround((before.end - anchor) * (long double)length /
                                                    before.length));
    }
    m_length = length;
    changed();
}

void ContactLogView::pan(int steps)
{
    setPaused(true);
    m_end += steps * std::max<timing::Ticks>(m_length / 4, 1);
    changed();
}

void ContactLogView::showAt(timing::Ticks at)
{
    setPaused(true);
    m_end = at + m_length / 2;
    changed();
}

void ContactLogView::changed()
{
    const QChar decimal = platform::locale().decimalSeparator();
    setAccessibleDescription(
        QStringLiteral("Zeitfenster %1, %2")
            .arg(lengthText(m_length, decimal),
                 m_paused ? QStringLiteral("angehalten") : QStringLiteral("läuft")));
    update();
    emit spanChanged();
}

void ContactLogView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    ContactLogPicture(size()).paint(painter, m_log, span(), platform::locale().decimalSeparator());
}

void ContactLogView::wheelEvent(QWheelEvent *event)
{
    m_wheelAngle += event->angleDelta().y();
    const int steps = m_wheelAngle / 120;
    m_wheelAngle %= 120;
    if (steps != 0)
        zoom(steps, int(event->position().x()));
    event->accept();
}

void ContactLogView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom(+1);
        break;
    case Qt::Key_Minus:
        zoom(-1);
        break;
    case Qt::Key_Left:
        pan(-1);
        break;
    case Qt::Key_Right:
        pan(+1);
        break;
    case Qt::Key_Space:
        setPaused(!m_paused);
        break;
    case Qt::Key_End:
        setPaused(false);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace app
