#pragma once

#include "widgets/Colors.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QWidget>

namespace widgets {

namespace picpanel {
Q_NAMESPACE

enum TBitmapAlign : int { paTopLeft, paCenter, paTile, paCustom };
Q_ENUM_NS(TBitmapAlign)

enum TScaleMode : int { psNormal, psStretch, psScale, psResize };
Q_ENUM_NS(TScaleMode)

// The picture's stretch filter. Qt's smooth transformation (bilinear, averaging when it
// shrinks) stands in for every filter but rfNearest.
enum TResampleFilter : int {
    rfNearest,
    rfDraft,
    rfLinear,
    rfCosine,
    rfSpline,
    rfLanczos,
    rfMitchell
};
Q_ENUM_NS(TResampleFilter)

constexpr bool isValid(TBitmapAlign v)
{
    return v >= paTopLeft && v <= paCustom;
}
constexpr bool isValid(TScaleMode v)
{
    return v >= psNormal && v <= psResize;
}
constexpr bool isValid(TResampleFilter v)
{
    return v >= rfNearest && v <= rfMitchell;
}

// Size of the picture on screen for a picture of `picture` pixels in a control of `control`.
QSize pictureSize(QSize picture, QSize control, TScaleMode mode, float scale);
// Where the picture (or, for paTile, its first tile) goes in the control.
QRect pictureRect(QSize picture, QSize control, TScaleMode mode, float scale, TBitmapAlign align,
                  QPointF offset);

} // namespace picpanel

// Shows a picture, scaled and aligned, on a coloured background, and carries child widgets
// (the lamps), which the panel's paint leaves out. The whole look is built in an off-screen
// buffer on change; painting copies it.
class TPicturePanel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QImage Bitmap READ Bitmap WRITE setBitmap)
    Q_PROPERTY(picpanel::TBitmapAlign BitmapAlign READ BitmapAlign WRITE setBitmapAlign)
    Q_PROPERTY(picpanel::TScaleMode ScaleMode READ ScaleMode WRITE setScaleMode)
    Q_PROPERTY(float Scale READ Scale WRITE setScale)
    Q_PROPERTY(picpanel::TResampleFilter StretchFilter READ StretchFilter WRITE setStretchFilter)
    Q_PROPERTY(int Color READ Color WRITE setColor)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE setParentColor)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE setAutoSize)
    Q_PROPERTY(int HorzOffset READ HorzOffset WRITE setHorzOffset)
    Q_PROPERTY(int VertOffset READ VertOffset WRITE setVertOffset)

public:
    using TBitmapAlign = picpanel::TBitmapAlign;
    using TScaleMode = picpanel::TScaleMode;
    using TResampleFilter = picpanel::TResampleFilter;

    explicit TPicturePanel(QWidget *parent = nullptr);

    QImage Bitmap() const { return m_bitmap; }
    void setBitmap(const QImage &picture);
    // The same picture drawn at a higher resolution (its device pixel ratio set), used on
    // screens with that many pixels per point so the picture stays sharp.
    void setSharpBitmap(const QImage &picture);
    // Reads a picture in the stored format; "<name>@2x.pic" beside it, when present, is read
    // the first time the panel renders for a screen with more than one pixel per point.
    // On failure the panel keeps its picture and `error` gets the reason.
    bool loadBitmap(const QString &path, QString *error = nullptr);

    TBitmapAlign BitmapAlign() const { return m_align; }
    void setBitmapAlign(TBitmapAlign value);
    TScaleMode ScaleMode() const { return m_mode; }
    void setScaleMode(TScaleMode value);
    float Scale() const { return m_scale; }
    void setScale(float value);
    TResampleFilter StretchFilter() const { return m_filter; }
    void setStretchFilter(TResampleFilter value);
    TColor Color() const { return m_color; }
    void setColor(TColor value);
    bool ParentColor() const { return m_parentColor; }
    void setParentColor(bool value);
    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool value);
    int HorzOffset() const { return m_offset.x(); }
    void setHorzOffset(int value);
    int VertOffset() const { return m_offset.y(); }
    void setVertOffset(int value);

    void loaded();

    // Where the picture sits in the control, in the control's coordinates.
    QRect pictureRect() const;
    // Builds the off-screen buffer for `ratio` device pixels per point; painting does it
    // itself, at the screen's ratio, when a change is pending. An opaque picture shown at
    // its own size on a screen of one pixel per point is painted from the picture itself,
    // with no buffer.
    void RenderBuffer(qreal ratio = 1.0);
    const QImage &buffer(qreal ratio = 1.0);
    int renderCount() const { return m_renders; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void layoutChanged();
    QRgb backgroundRgb() const;
    bool paintsPictureItself(qreal ratio) const;

    QImage m_bitmap;
    QImage m_sharpBitmap;
    QString m_sharpPath; // a sharp picture beside the loaded one, not read yet
    bool m_bitmapOpaque = true;
    TBitmapAlign m_align = picpanel::paTopLeft;
    TScaleMode m_mode = picpanel::psNormal;
    float m_scale = 1.0f;
    TResampleFilter m_filter = picpanel::rfLinear;
    TColor m_color = 0x00FFFFFF; // clWhite
    bool m_parentColor = false;
    bool m_autoSize = false;
    QPoint m_offset;

    QImage m_buffer;
    bool m_dirty = true;
    int m_renders = 0;
};

} // namespace widgets
