#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

namespace app {

// One line of large text on black, centred. Glyphs this large are drawn as outlines on
// every paint, so the line is drawn once into a picture of the screen's pixels and painting
// copies it; a new text, colour, font or size draws it anew at the next paint.
class BigText : public QWidget
{
    Q_OBJECT

public:
    explicit BigText(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    void setPixelSize(int pixels);

    // How many times the line was drawn: a repaint without a change draws nothing.
    int drawCount() const { return m_drawCount; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void invalidate();

    QString m_text;
    QColor m_color = Qt::white;
    QImage m_picture;
    bool m_stale = true;
    int m_drawCount = 0;
};

} // namespace app
