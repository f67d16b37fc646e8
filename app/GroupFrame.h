#pragma once

#include <QObject>
#include <QRect>

class QGroupBox;

namespace app {

// Draws a group box as the window's layout places its caption and frame: the frame's top
// edge runs through the middle of the caption line, the caption sits 8 pixels in from the
// left on a patch of the box's background. Controls laid out below the caption then lie
// inside the frame in every style (Fusion puts the frame below a caption line of its own).
class GroupFrame : public QObject
{
public:
    // The box draws itself this way from now on; the painter belongs to the box.
    static void apply(QGroupBox *box);

    // In the box's coordinates.
    static QRect frameRect(const QGroupBox &box);
    static QRect captionRect(const QGroupBox &box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
    static void paint(QGroupBox &box);
};

} // namespace app
