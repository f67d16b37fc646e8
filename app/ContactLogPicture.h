#pragma once

#include "app/ContactLog.h"

#include <QPolygon>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

namespace app {

// The stretch of time the contact display shows: the `length` ticks up to `end`.
struct ContactLogSpan
{
    timing::Ticks end = 0;
    timing::Ticks length = 50'000;
    bool operator==(const ContactLogSpan &) const = default;
};

// The contact display's picture, like a logic analyser's: one trace per line (high while
// the line is active), each edge with its uncertainty as a band and a red mark when it was
// found late, a time axis in seconds since the log started. Geometry and drawing only,
// no widget.
class ContactLogPicture
{
public:
    explicit ContactLogPicture(QSize size);

    // Where the traces run; the labels lie left of it, the axis below.
    QRect plot() const { return m_plot; }
    // The pixel column of an instant (may lie outside the plot).
    int xOf(timing::Ticks at, ContactLogSpan span) const;
    // The instant at a pixel column.
    timing::Ticks ticksAt(int x, ContactLogSpan span) const;
    // The height of a line's trace when it is active and when it is not.
    int levelY(int line, bool active) const;
    // The lane of a line: its trace, band and marks stay inside.
    QRect lane(int line) const;

    // The trace of `line` as drawn: at most three points a pixel column, so that a burst
    // of edges narrower than a pixel is a bar from one level to the other. Empty when the
    // line's state is unknown.
    QPolygon trace(const ContactLog &log, int line, ContactLogSpan span) const;
    // The axis' step in ticks: 1, 2 or 5 times a power of ten, about eight to the plot.
    static timing::Ticks axisStep(timing::Ticks length);
    // An axis label: seconds since the log started, as many decimals as the step needs.
    static QString axisLabel(timing::Ticks sinceOrigin, timing::Ticks step, QChar decimal);

    void paint(QPainter &painter, const ContactLog &log, ContactLogSpan span, QChar decimal) const;

private:
    void paintLane(QPainter &painter, const ContactLog &log, int line, ContactLogSpan span) const;
    void paintAxis(QPainter &painter, const ContactLog &log, ContactLogSpan span,
                   QChar decimal) const;

    QSize m_size;
    QRect m_plot;
};

} // namespace app
