#include "app/WindowLayout.h"

#include <QWidget>

#include <algorithm>

namespace app {

QRect WindowLayout::base(QWidget *w)
{
    const auto found = m_base.constFind(w);
    return found != m_base.cend() ? *found : *m_base.insert(w, w->geometry());
}

void WindowLayout::apply()
{
    QWidget *list = m_parts.list->parentWidget();
    QWidget *stats = m_parts.stats->parentWidget();
    QWidget *chart = m_parts.chart->parentWidget();
    const int extraW = std::max(0, m_window.width() - m_window.minimumWidth());
    const int extraH = std::max(0, m_window.height() - m_window.minimumHeight());
    const int chartW = chart->isVisible() ? extraW / 2 : 0;
    const int listW = extraW - chartW;
    const int listH = extraH * 2 / 3;
    const int statsH = extraH - listH;
    for (QObject *child : m_window.children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w || w->isWindow())
            continue;
        const QRect r = base(w);
        if (w == list) {
            w->setGeometry(r.adjusted(0, 0, listW, listH));
        } else if (w == stats) {
            w->setGeometry(r.translated(0, listH).adjusted(0, 0, listW, statsH));
        } else if (w == chart) {
            w->setGeometry(r.translated(listW, 0).adjusted(0, 0, chartW, extraH));
        } else {
            // Right of the list: the display, the wiring, the label field; below the list:
            // the chart and print buttons; below the statistics: the mode's fields, the strip.
            const bool right = r.left() > base(list).right() && r.left() < base(chart).left();
            const int dy = r.top() >= base(stats).bottom()   ? listH + statsH
                           : r.top() > base(list).bottom() - 4 ? listH
                                                               : 0;
            w->setGeometry(r.translated(right ? listW : 0, dy));
        }
    }
    m_parts.list->setGeometry(base(m_parts.list).adjusted(0, 0, listW, listH));
    m_parts.stats->setGeometry(base(m_parts.stats).adjusted(0, 0, listW, statsH));
    m_parts.chart->setGeometry(base(m_parts.chart).adjusted(0, 0, chartW, extraH));
}

} // namespace app
