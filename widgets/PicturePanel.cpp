#include "widgets/PicturePanel.h"

#include "widgets/IAgaloLEDRender.h"
#include "widgets/PicturePanelData.h"

#include <QEvent>
#include <QFileInfo>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace widgets {

using iaglo::nearest;

namespace picpanel {

QSize pictureSize(QSize picture, QSize control, TScaleMode mode, float scale)
{
    const int w = picture.width();
    const int h = picture.height();
    const int cw = control.width();
    const int ch = control.height();
    if (w <= 0 || h <= 0 || cw <= 0 || ch <= 0)
        return {0, 0};
    QSize size;
    switch (mode) {
    case psNormal:
        size = {w, h};
        break;
    case psStretch:
        size = {cw, ch};
        break;
    case psScale:
        size = {nearest(double(w) * scale), nearest(double(h) * scale)};
        break;
    case psResize: {
        const float sx = float(cw) / float(w);
        const float sy = float(ch) / float(h);
        size = sx >= sy ? QSize(nearest(double(w) * sy), ch) : QSize(cw, nearest(double(sx) * h));
        break;
    }
    }
    return {std::max(0, size.width()), std::max(0, size.height())};
}

QRect pictureRect(QSize picture, QSize control, TScaleMode mode, float scale, TBitmapAlign align,
                  QPointF offset)
{
    const QSize size = pictureSize(picture, control, mode, scale);
    switch (align) {
    case paCenter:
        return {
            QPoint((control.width() - size.width()) / 2, (control.height() - size.height()) / 2),
            size};
    case paCustom:
        return {QPoint(nearest(offset.x()), nearest(offset.y())), size};
    case paTopLeft:
    case paTile:
        break;
    }
    return {QPoint(0, 0), size};
}

} // namespace picpanel

using namespace picpanel;

namespace {

bool allOpaque(const QImage &argb)
{
    if (!argb.hasAlphaChannel())
        return true;
    for (int y = 0; y < argb.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(row[x]) != 255)
                return false;
    }
    return true;
}

QSize physicalSize(const QWidget *widget, qreal ratio)
{
    return {nearest(widget->width() * ratio), nearest(widget->height() * ratio)};
}

} // namespace

TPicturePanel::TPicturePanel(QWidget *parent) : QWidget(parent)
{
    // The buffer covers every pixel: no background erase, so no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void TPicturePanel::setBitmap(const QImage &picture)
{
    m_bitmap = picture.convertToFormat(QImage::Format_ARGB32);
    m_bitmap.setDevicePixelRatio(1.0);
    m_bitmapOpaque = allOpaque(m_bitmap);
    layoutChanged();
}

void TPicturePanel::setSharpBitmap(const QImage &picture)
{
    m_sharpPath.clear();
    m_sharpBitmap = picture.convertToFormat(QImage::Format_ARGB32);
    m_sharpBitmap.setDevicePixelRatio(picture.devicePixelRatio());
    layoutChanged();
}

bool TPicturePanel::loadBitmap(const QString &path, QString *error)
{
    const picdata::StoredPicture picture = picdata::readFile(path);
    if (picture.image.isNull()) {
        if (error)
            *error = picture.error;
        return false;
    }
    const QFileInfo info(path);
    const QString sharpPath =
        info.path() + u'/' + info.completeBaseName() + QStringLiteral("@2x.") + info.suffix();
    // Read when a screen with two pixels per point first needs it: most never do.
    m_sharpBitmap = QImage();
    m_sharpPath = QFileInfo::exists(sharpPath) ? sharpPath : QString();
    setBitmap(picture.image);
    return true;
}

void TPicturePanel::setBitmapAlign(TBitmapAlign value)
{
    if (value == m_align || !isValid(value))
        return;
    m_align = value;
    layoutChanged();
}

void TPicturePanel::setScaleMode(TScaleMode value)
{
    if (value == m_mode || !isValid(value))
        return;
    m_mode = value;
    layoutChanged();
}

void TPicturePanel::setScale(float value)
{
    if (value == m_scale || !(value >= 0.001f))
        return;
    m_scale = value;
    layoutChanged();
}

void TPicturePanel::setStretchFilter(TResampleFilter value)
{
    if (value == m_filter || !isValid(value))
        return;
    m_filter = value;
    layoutChanged();
}

void TPicturePanel::setColor(TColor value)
{
    if (value == m_color)
        return;
    m_color = value;
    m_parentColor = false;
    layoutChanged();
}

void TPicturePanel::setParentColor(bool value)
{
    if (value == m_parentColor)
        return;
    m_parentColor = value;
    layoutChanged();
}

void TPicturePanel::setAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    layoutChanged();
}

void TPicturePanel::setHorzOffset(int value)
{
    if (value == m_offset.x())
        return;
    m_offset.setX(value);
    layoutChanged();
}

void TPicturePanel::setVertOffset(int value)
{
    if (value == m_offset.y())
        return;
    m_offset.setY(value);
    layoutChanged();
}

void TPicturePanel::loaded()
{
    layoutChanged();
}

QRect TPicturePanel::pictureRect() const
{
    return picpanel::pictureRect(m_bitmap.size(), size(), m_mode, m_scale, m_align, m_offset);
}

QSize TPicturePanel::sizeHint() const
{
    return m_bitmap.isNull() ? QSize(105, 105) : m_bitmap.size();
}

void TPicturePanel::layoutChanged()
{
    if (m_autoSize && (m_mode == psNormal || m_mode == psScale) && !m_bitmap.isNull()) {
        const QSize wanted = pictureSize(m_bitmap.size(), QSize(1, 1), m_mode, m_scale);
        if (!wanted.isEmpty() && wanted != size())
            resize(wanted);
    }
    m_dirty = true;
    update();
}

void TPicturePanel::RenderBuffer(qreal ratio)
{
    const QSize physical = physicalSize(this, ratio);
    if (m_buffer.size() != physical)
        m_buffer = QImage(physical, QImage::Format_RGB32);
    m_dirty = false;
    ++m_renders;
    if (physical.isEmpty())
        return;

    const QRgb background = backgroundRgb();
    const QRect logical = pictureRect();
    const QRect target(QPoint(nearest(logical.x() * ratio), nearest(logical.y() * ratio)),
                       QSize(nearest(logical.width() * ratio), nearest(logical.height() * ratio)));
    const bool drawn = !m_bitmap.isNull() && !target.isEmpty();

    QPainter painter(&m_buffer);
    // Background: the strips around the picture, or everything when it is not opaque.
    if (!drawn || !m_bitmapOpaque || m_align == paTile) {
        painter.fillRect(m_buffer.rect(), QColor::fromRgb(background));
    } else {
        const QRegion strips = QRegion(m_buffer.rect()) - QRegion(target);
        for (const QRect &strip : strips)
            painter.fillRect(strip, QColor::fromRgb(background));
    }
    if (!drawn)
        return;

    // The source: the sharp picture where the screen has the pixels for it.
    if (ratio > 1.0 && !m_sharpPath.isEmpty()) {
        QImage sharp = picdata::readFile(m_sharpPath).image;
        m_sharpPath.clear();
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2.0);
            m_sharpBitmap = sharp;
        }
    }
    const QImage &source = ratio > 1.0 && !m_sharpBitmap.isNull() ? m_sharpBitmap : m_bitmap;
    QImage scaled;
    if (source.size() == target.size()) {
        scaled = source;
    } else {
        const auto mode = m_filter == rfNearest ? Qt::FastTransformation : Qt::SmoothTransformation;
        scaled = source.scaled(target.size(), Qt::IgnoreAspectRatio, mode);
    }
    scaled.setDevicePixelRatio(1.0);
    painter.setCompositionMode(m_bitmapOpaque ? QPainter::CompositionMode_Source
                                              : QPainter::CompositionMode_SourceOver);
    if (m_align == paTile) {
        for (int y = 0; y < physical.height(); y += target.height())
            for (int x = 0; x < physical.width(); x += target.width())
                painter.drawImage(x, y, scaled);
    } else {
        painter.drawImage(target.topLeft(), scaled);
    }
}

QRgb TPicturePanel::backgroundRgb() const
{
    return m_parentColor && parentWidget()
               ? parentWidget()->palette().color(QPalette::Window).rgb()
               : toQColor(m_color).rgb();
}

bool TPicturePanel::paintsPictureItself(qreal ratio) const
{
    return ratio == 1.0 && m_bitmapOpaque && m_align != paTile && !m_bitmap.isNull() &&
           pictureRect().size() == m_bitmap.size();
}

const QImage &TPicturePanel::buffer(qreal ratio)
{
    if (m_dirty || m_buffer.size() != physicalSize(this, ratio))
        RenderBuffer(ratio);
    return m_buffer;
}

void TPicturePanel::paintEvent(QPaintEvent *event)
{
    const qreal ratio = devicePixelRatioF();
    QPainter painter(this);
    // Child lamps are opaque, so the toolkit already clips them out of this paint.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (paintsPictureItself(ratio)) {
        // The picture lies in the program; a copy of the whole control would double it.
        m_buffer = QImage();
        const QRect picture = pictureRect();
        const QColor background = QColor::fromRgb(backgroundRgb());
        for (const QRect &rect : event->region()) {
            for (const QRect &strip : QRegion(rect) - QRegion(picture))
                painter.fillRect(strip, background);
            const QRect shown = rect & picture;
            if (!shown.isEmpty())
                painter.drawImage(shown.topLeft(), m_bitmap,
                                  shown.translated(-picture.topLeft()));
        }
        return;
    }
    if (m_dirty || m_buffer.size() != physicalSize(this, ratio))
        RenderBuffer(ratio);
    for (const QRect &rect : event->region()) {
        if (ratio == 1.0)
            painter.drawImage(rect.topLeft(), m_buffer, rect);
        else
            painter.drawImage(QRectF(rect), m_buffer,
                              QRectF(rect.topLeft() * ratio, rect.size() * ratio));
    }
}

void TPicturePanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_dirty = true;
}

void TPicturePanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_parentColor) {
        m_dirty = true;
        update();
    }
}

} // namespace widgets
