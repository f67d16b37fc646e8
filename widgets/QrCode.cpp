#include "widgets/QrCode.h"

#include <QPainter>

#include <qrencode.h>

#include <cmath>

namespace widgets {

namespace {

constexpr int QuietZone = 4;

} // namespace

QrMatrix encodeQr(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    QRcode *code = QRcode_encodeData(int(bytes.size()),
                                     reinterpret_cast<const unsigned char *>(bytes.constData()), 0,
                                     QR_ECLEVEL_M);
    if (code == nullptr)
        return {};
    QrMatrix matrix;
    matrix.size = code->width;
    matrix.dark.resize(std::size_t(code->width) * std::size_t(code->width));
    for (std::size_t i = 0; i < matrix.dark.size(); ++i)
        matrix.dark[i] = (code->data[i] & 1) != 0;
    QRcode_free(code);
    return matrix;
}

void paintQr(QPainter &painter, const QRectF &rect, const QrMatrix &matrix, const QColor &dark,
             const QColor &light)
{
    if (matrix.isEmpty() || rect.isEmpty())
        return;
    const int modules = matrix.size + 2 * QuietZone;
    const qreal side = std::min(rect.width(), rect.height());
    // Whole device pixels per module when there is room for at least one.
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const qreal wholeModule = std::floor(side * ratio / modules) / ratio;
    const qreal module = wholeModule > 0 ? wholeModule : side / modules;
    const qreal extent = module * modules;
    const QPointF origin(std::round((rect.center().x() - extent / 2) * ratio) / ratio,
                         std::round((rect.center().y() - extent / 2) * ratio) / ratio);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRectF(origin, QSizeF(extent, extent)), light);
    painter.setBrush(dark);
    for (int y = 0; y < matrix.size; ++y) {
        // One rectangle per run of dark modules in a row.
        for (int x = 0; x < matrix.size;) {
            if (!matrix.at(x, y)) {
                ++x;
                continue;
            }
            int end = x;
            while (end < matrix.size && matrix.at(end, y))
                ++end;
            painter.drawRect(QRectF(origin.x() + (QuietZone + x) * module,
                                    origin.y() + (QuietZone + y) * module, (end - x) * module, module));
            x = end;
        }
    }
    painter.restore();
}

QrCode::QrCode(QWidget *parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("QR-Code"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void QrCode::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    m_matrix = encodeQr(text.toUtf8());
    setAccessibleDescription(text);
    setToolTip(text);
    updateGeometry();
    update();
}

QSize QrCode::sizeHint() const
{
    // Four pixels a module reads well from a phone held at arm's length.
    const int side = m_matrix.isEmpty() ? 0 : (m_matrix.size + 2 * QuietZone) * 4;
    return {side, side};
}

QSize QrCode::minimumSizeHint() const
{
    const int side = m_matrix.isEmpty() ? 0 : (m_matrix.size + 2 * QuietZone) * 2;
    return {side, side};
}

void QrCode::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintQr(painter, rect(), m_matrix);
}

} // namespace widgets
