#include "widgets/ComboBox.h"

#include <QSignalBlocker>
#include <QWheelEvent>

namespace widgets {

TComboBox::TComboBox(QWidget *parent) : QComboBox(parent)
{
    // A wheel turn never gives the focus (Qt's default for a combo box does).
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this, [this] {
        emit clickPicked();
        emit changePicked();
    });
}

QStringList TComboBox::Items() const
{
    QStringList items;
    for (int i = 0; i < count(); ++i)
        items.append(itemText(i));
    return items;
}

void TComboBox::setItems(const QStringList &items)
{
    const QSignalBlocker blocker(this);
    const int index = currentIndex();
    clear();
    addItems(items);
    setCurrentIndex(index < count() ? index : -1);
}

void TComboBox::setItemIndexQuiet(int index)
{
    const QSignalBlocker blocker(this);
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void TComboBox::wheelEvent(QWheelEvent *event)
{
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

} // namespace widgets
