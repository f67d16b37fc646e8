#include "app/GroupFrame.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QPainter>

namespace app {

namespace {
constexpr int CaptionIndent = 8;
} // namespace

void GroupFrame::apply(QGroupBox *box)
{
    box->installEventFilter(new GroupFrame(box));
    box->update();
}

QRect GroupFrame::frameRect(const QGroupBox &box)
{
    const int top = QFontMetrics(box.font()).height() / 2;
    return QRect(0, top, box.width(), box.height() - top);
}

QRect GroupFrame::captionRect(const QGroupBox &box)
{
    if (box.title().isEmpty())
        return {};
    const QFontMetrics metrics(box.font());
    return QRect(CaptionIndent, 0, metrics.horizontalAdvance(box.title()), metrics.height());
}

bool GroupFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint) {
        if (auto *box = qobject_cast<QGroupBox *>(watched)) {
            paint(*box);
            return true;
        }
    }
    return false;
}

void GroupFrame::paint(QGroupBox &box)
{
    QPainter painter(&box);
    const QPalette &palette = box.palette();
    const QPalette::ColorGroup group = box.isEnabled() ? QPalette::Active : QPalette::Disabled;

    // An etched line: shadow, with a highlight one pixel below and to the right.
    const QRect frame = frameRect(box);
    painter.setPen(palette.color(group, QPalette::Light));
    painter.drawRect(frame.adjusted(1, 1, -1, -1));
    painter.setPen(palette.color(group, QPalette::Dark));
    painter.drawRect(frame.adjusted(0, 0, -2, -2));

    const QRect caption = captionRect(box);
    if (caption.isEmpty())
        return;
    painter.fillRect(caption.adjusted(-1, 0, 1, 0), palette.color(group, QPalette::Window));
    painter.setFont(box.font());
    painter.setPen(palette.color(group, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, box.title());
}

} // namespace app
