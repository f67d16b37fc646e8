#pragma once

#include <QHash>
#include <QRect>

class QWidget;

namespace app {

// Lays the main window out at any size from its smallest, which is the fixed layout of its
// controls: the list, the statistics and the chart take what the window grows by (the list
// two thirds of the height and, with the chart shown, half of the width); the controls keep
// their sizes and move with them, right of the list or below it.
class WindowLayout
{
public:
    struct Parts
    {
        QWidget *list = nullptr;  // inside listBox
        QWidget *stats = nullptr; // inside statsBox
        QWidget *chart = nullptr; // inside chartBox
    };

    WindowLayout(QWidget &window, Parts parts) : m_window(window), m_parts(parts) {}

    void apply();

private:
    QRect base(QWidget *w);

    QWidget &m_window;
    Parts m_parts;
    // Each widget's place at the smallest size, taken when first laid out.
    QHash<QWidget *, QRect> m_base;
};

} // namespace app
