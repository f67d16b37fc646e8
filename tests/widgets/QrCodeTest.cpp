#include "widgets/QrCode.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// What a camera would read: the picture through zbarimg.
QByteArray decoded(const QImage &image)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("qr.png"));
    if (!image.save(file))
        return "(not saved)";
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), file});
    if (!zbar.waitForFinished(30000))
        return "(zbarimg did not finish)";
    QByteArray text = zbar.readAllStandardOutput();
    if (text.endsWith('\n'))
        text.chop(1);
    return text;
}

QImage painted(const QByteArray &text, QSize size, QRectF rect, qreal ratio = 1.0)
{
    QImage image(size * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(0x80, 0xa0, 0xc0));
    QPainter painter(&image);
    widgets::paintQr(painter, rect, widgets::encodeQr(text));
    return image;
}

int app_argc = 1;
char app_name[] = "tf_qr_code_tests";
char *app_argv[] = {app_name, nullptr};

} // namespace

TEST(QrCode, ThePaintedCodeReadsBackAsTheTextAtEverySize)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        << "zbarimg is missing (scripts/install-deps.sh test installs zbar-tools)";
    const QByteArray url = "http://192.168.178.20:8080/?k=0123456789abcdef";
    const struct
    {
        QByteArray text;
        QSize image;
        QRectF rect;
        qreal ratio;
    } rows[] = {
        {url, {200, 200}, {0, 0, 200, 200}, 1},            // a whole number of pixels a module
        {url, {400, 300}, {13.5, 7.25, 333, 281}, 1},      // off the pixel grid, not square
        {url, {300, 300}, {0, 0, 300, 300}, 2},            // a screen at twice the density
        {url, {150, 150}, {0, 0, 150, 150}, 1.5},
        {"Tachoflux", {120, 120}, {0, 0, 120, 120}, 1},
        {"http://10.0.0.1:65535/?k=" + QByteArray(400, 'a'), {800, 800}, {0, 0, 800, 800}, 1},
    };
    for (const auto &r : rows) {
        const QImage image = painted(r.text, r.image, r.rect, r.ratio);
        EXPECT_EQ(decoded(image), r.text) << r.image.width() << "x" << r.image.height() << " @" << r.ratio;
        // Nothing outside the rect.
        const QRect inside = QRectF(r.rect.topLeft() * r.ratio, r.rect.size() * r.ratio).toAlignedRect();
        for (int y = 0; y < image.height(); y += 3) {
            for (int x = 0; x < image.width(); x += 3) {
                if (!inside.contains(x, y)) {
                    ASSERT_EQ(image.pixel(x, y), QColor(0x80, 0xa0, 0xc0).rgb()) << x << "," << y;
                }
            }
        }
    }
}

TEST(QrCode, TheMatrixHasTheVersionsSizeAndItsFinderPatterns)
{
    const struct
    {
        int bytes;
        int size; // 17 + 4 * version; 0: nothing to show
    } rows[] = {{0, 0},   {1, 21},   {14, 21},   {15, 25},    {26, 25},
               {27, 29},  {42, 29},  {43, 33},   {2331, 177}, {2332, 0}};
    for (const auto &r : rows) {
        const widgets::QrMatrix m = widgets::encodeQr(QByteArray(r.bytes, 'x'));
        EXPECT_EQ(m.size, r.size) << r.bytes;
        if (m.isEmpty())
            continue;
        EXPECT_EQ(m.dark.size(), std::size_t(m.size * m.size));
        // The three finder patterns: a dark ring, a light ring, a dark 3x3 core.
        for (const auto &[ox, oy] : {std::pair{0, 0}, {m.size - 7, 0}, {0, m.size - 7}}) {
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 7; ++x) {
                    const int ring = std::max(std::abs(x - 3), std::abs(y - 3));
                    EXPECT_EQ(m.at(ox + x, oy + y), ring != 2) << r.bytes << ": " << ox + x << "," << oy + y;
                }
        }
    }
}

TEST(QrCode, TheWidgetShowsItsTextReadablyAndSaysWhatItShows)
{
    QApplication app(app_argc, app_argv);
    widgets::QrCode code;
    EXPECT_EQ(code.sizeHint(), QSize(0, 0));
    const QString url = QStringLiteral("http://192.168.0.7:8080/?k=fedcba9876543210");
    code.setText(url);
    EXPECT_EQ(code.matrix().size, 33);
    EXPECT_EQ(code.sizeHint(), QSize((33 + 8) * 4, (33 + 8) * 4));
    EXPECT_EQ(code.accessibleName(), QStringLiteral("QR-Code"));
    EXPECT_EQ(code.accessibleDescription(), url);
    for (const QSize size : {code.sizeHint(), QSize(500, 260), code.minimumSizeHint()}) {
        code.resize(size);
        EXPECT_EQ(decoded(code.grab().toImage()), url.toUtf8()) << size.width() << "x" << size.height();
    }
    code.setText({});
    EXPECT_TRUE(code.matrix().isEmpty());
    EXPECT_EQ(code.sizeHint(), QSize(0, 0));
}
