#pragma once

#include <QByteArray>
#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <vector>

class QPainter;

namespace widgets {

// The modules of a QR code, row by row; true is dark. Empty when there is nothing to show.
struct QrMatrix
{
    int size = 0;
    std::vector<bool> dark;

    bool isEmpty() const { return size == 0; }
    bool at(int x, int y) const { return dark[std::size_t(y) * std::size_t(size) + std::size_t(x)]; }
};

// The bytes as a QR code (8-bit mode, medium error correction, the smallest version that
// holds them); empty for no bytes or more than a QR code holds.
QrMatrix encodeQr(const QByteArray &bytes);

// The code with its quiet zone of four modules, as a square centred in rect. Modules are
// whole pixels where the rect allows, so that a camera sees sharp edges.
void paintQr(QPainter &painter, const QRectF &rect, const QrMatrix &matrix,
             const QColor &dark = Qt::black, const QColor &light = Qt::white);

// Shows a text (the class view's address) as a QR code, as large as the widget allows.
class QrCode : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)

public:
    explicit QrCode(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);
    const QrMatrix &matrix() const { return m_matrix; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    QrMatrix m_matrix;
};

} // namespace widgets
