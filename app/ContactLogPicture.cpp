#include "app/ContactLogPicture.h"

#include "protocol/NumberFormat.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace app {

namespace {

constexpr int LabelWidth = 96;
constexpr int RightMargin = 8;
constexpr int AxisHeight = 24;
constexpr int TopMargin = 4;
constexpr timing::Ticks TicksPerSecond = 10000;

const QColor Background(24, 24, 24);
const QColor Grid(64, 64, 64);
const QColor Text(220, 220, 220);
const QColor Unknown(140, 140, 140);
const QColor Band(90, 150, 255, 110);
const QColor LateMark(255, 70, 70);

QColor traceColor(int line)
{
    return line == 1 ? QColor(90, 230, 90) : QColor(245, 200, 60);
}

} // namespace

ContactLogPicture::ContactLogPicture(QSize size)
    : m_size(size),
      m_plot(LabelWidth, TopMargin, std::max(size.width() - LabelWidth - RightMargin, 1),
             std::max(size.height() - TopMargin - AxisHeight, 2))
{
}

int ContactLogPicture::xOf(timing::Ticks at, ContactLogSpan span) const
{
    const long double from = span.end - span.length;
    const long double x = (at - from) * m_plot.width() / std::max<long double>(span.length, 1);
    // Far outside the plot the column only has to stay outside.
    return m_plot.left() + int(std::clamp<long double>(std::floor(x), -1e6L, 1e6L));
}

timing::Ticks ContactLogPicture::ticksAt(int x, ContactLogSpan span) const
{
    const long double share = (x - m_plot.left()) / (long double)m_plot.width();
    return span.end - span.length + timing::Ticks(std::llround(share * span.length));
}

QRect ContactLogPicture::lane(int line) const
{
    const int half = m_plot.height() / 2;
    return line == 1
               ? QRect(m_plot.left(), m_plot.top(), m_plot.width(), half)
               : QRect(m_plot.left(), m_plot.top() + half, m_plot.width(), m_plot.height() - half);
}

int ContactLogPicture::levelY(int line, bool active) const
{
    const QRect r = lane(line);
    return active ? r.top() + r.height() / 4 : r.top() + r.height() * 3 / 4;
}

QPolygon ContactLogPicture::trace(const ContactLog &log, int line, ContactLogSpan span) const
{
    const std::size_t first = log.firstAtOrAfter(span.end - span.length);
    const std::optional<bool> before = log.stateBefore(line, first);
    if (!before)
        return {};
    QPolygon points;
    points << QPoint(m_plot.left(), levelY(line, *before));
    for (std::size_t i = first; i < log.size(); ++i) {
        const timing::LineEdge &edge = log.at(i).edge;
        if (edge.at > span.end)
            break;
        if (edge.line != line)
            continue;
        const int x = xOf(edge.at, span);
        const int y = levelY(line, edge.active);
        const qsizetype n = points.size();
        if (points[n - 1].x() != x) {
            points << QPoint(x, points[n - 1].y()) << QPoint(x, y);
        } else if (n >= 3 && points[n - 3].x() == x) {
            // The column's bar already spans both levels; only where it ends changes.
            points[n - 1].setY(y);
        } else {
            points << QPoint(x, y);
        }
    }
    points << QPoint(m_plot.right(), points.back().y());
    return points;
}

timing::Ticks ContactLogPicture::axisStep(timing::Ticks length)
{
    const timing::Ticks wanted = std::max<timing::Ticks>(length / 8, 1);
    for (timing::Ticks power = 1;; power *= 10) {
        for (const timing::Ticks factor : {1, 2, 5}) {
            if (factor * power >= wanted)
                return factor * power;
        }
    }
}

QString ContactLogPicture::axisLabel(timing::Ticks sinceOrigin, timing::Ticks step, QChar decimal)
{
    int decimals = 0;
    for (timing::Ticks unit = TicksPerSecond; unit > step && decimals < 4; unit /= 10)
        ++decimals;
    return protocol::formatFixed(sinceOrigin / (long double)TicksPerSecond, decimals, decimal) +
           QStringLiteral(" s");
}

void ContactLogPicture::paint(QPainter &painter, const ContactLog &log, ContactLogSpan span,
                              QChar decimal) const
{
    painter.save();
    painter.fillRect(QRect(QPoint(0, 0), m_size), Background);
    paintAxis(painter, log, span, decimal);
    for (const int line : {1, 2})
        paintLane(painter, log, line, span);
    painter.restore();
}

void ContactLogPicture::paintAxis(QPainter &painter, const ContactLog &log, ContactLogSpan span,
                                  QChar decimal) const
{
    const timing::Ticks step = axisStep(span.length);
    const timing::Ticks from = span.end - span.length - log.origin();
    const QFontMetrics metrics(painter.font());
    // Multiples of the step counted from the log's start, so labels keep their places.
    timing::Ticks mark = from >= 0 ? (from + step - 1) / step * step : -(-from / step * step);
    for (; mark <= span.end - log.origin(); mark += step) {
        const int x = xOf(mark + log.origin(), span);
        painter.setPen(Grid);
        painter.drawLine(x, m_plot.top(), x, m_plot.bottom());
        const QString label = axisLabel(mark, step, decimal);
        const int width = metrics.horizontalAdvance(label);
        painter.setPen(Text);
        painter.drawText(QRect(x - width / 2, m_plot.bottom() + 4, width, metrics.height()),
                         Qt::AlignCenter, label);
    }
    painter.setPen(Grid);
    painter.drawLine(m_plot.left(), lane(2).top(), m_plot.right(), lane(2).top());
}

void ContactLogPicture::paintLane(QPainter &painter, const ContactLog &log, int line,
                                  ContactLogSpan span) const
{
    const QRect r = lane(line);
    const std::size_t first = log.firstAtOrAfter(span.end - span.length);
    const std::size_t last = log.firstAtOrAfter(span.end + 1);
    const long double pixelsPerTick = m_plot.width() / std::max<long double>(span.length, 1);

    // Bands and late marks under the trace, one per pixel column. A column that hides
    // several edges (a bounce too short for the scale) gets their number above it.
    int bandX = r.left() - 2;
    int lateX = r.left() - 2;
    int edges = 0;
    int columnX = r.left() - 2;
    int inColumn = 0;
    std::vector<std::pair<int, int>> hidden; // column, edges
    const auto closeColumn = [&] {
        if (inColumn >= 2 && (hidden.empty() || columnX - hidden.back().first >= 28))
            hidden.emplace_back(columnX, inColumn);
    };
    for (std::size_t i = first; i < last; ++i) {
        const timing::LineEdge &edge = log.at(i).edge;
        if (edge.line != line)
            continue;
        ++edges;
        const int x = xOf(edge.at, span);
        if (x != columnX) {
            closeColumn();
            columnX = x;
            inColumn = 0;
        }
        ++inColumn;
        const int halfWidth = int(edge.uncertainty * TicksPerSecond * pixelsPerTick);
        if (halfWidth >= 1 && x != bandX) {
            painter.fillRect(QRect(x - halfWidth, r.top() + 2, 2 * halfWidth + 1, r.height() - 4),
                             Band);
            bandX = x;
        }
        if (edge.late && x != lateX) {
            const QPolygon triangle(
                {QPoint(x - 4, r.top() + 2), QPoint(x + 4, r.top() + 2), QPoint(x, r.top() + 9)});
            painter.setPen(Qt::NoPen);
            painter.setBrush(LateMark);
            painter.drawPolygon(triangle);
            lateX = x;
        }
    }

    painter.save();
    painter.setClipRect(r.adjusted(0, 0, 1, 0));
    const QPolygon points = trace(log, line, span);
    if (points.isEmpty()) {
        painter.setPen(QPen(Unknown, 1, Qt::DashLine));
        const int y = r.center().y();
        painter.drawLine(r.left(), y, r.right(), y);
    } else {
        // Every segment is level or upright: filled as rectangles two pixels thick, which
        // stays quick where a burst piles thousands of segments into a few columns (a
        // stroked polyline there costs tens of milliseconds).
        for (qsizetype i = 1; i < points.size(); ++i) {
            const QPoint a = points[i - 1];
            const QPoint b = points[i];
            painter.fillRect(QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                                   QPoint(std::max(a.x(), b.x()) + 1, std::max(a.y(), b.y()) + 1)),
                             traceColor(line));
        }
    }
    closeColumn();
    const QFontMetrics metrics(painter.font());
    painter.setPen(Text);
    for (const auto &[x, count] : hidden) {
        const int top = levelY(line, true) - metrics.height() - 2;
        painter.drawText(QRect(x - 14, top, 28, metrics.height()), Qt::AlignCenter,
                         QString::number(count));
    }
    painter.restore();

    // Name, the state at the end of the span and the edges in view, left of the lane.
    const std::optional<bool> state = log.stateBefore(line, last);
    const QString text =
        QStringLiteral("Kontakt %1\n%2\n%3 %4")
            .arg(line)
            .arg(!state   ? QStringLiteral("unbekannt")
                 : *state ? QStringLiteral("aktiv")
                          : QStringLiteral("inaktiv"))
            .arg(edges)
            .arg(edges == 1 ? QStringLiteral("Flanke") : QStringLiteral("Flanken"));
    painter.setPen(traceColor(line));
    painter.drawText(QRect(4, r.top(), LabelWidth - 8, r.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text);
}

} // namespace app
