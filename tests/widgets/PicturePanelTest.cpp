#include "widgets/PicturePanel.h"
#include "widgets/IAgaloLED.h"
#include "widgets/PicturePanelData.h"

#include "assets/Pictures.h"
#include "support/QtTestMain.h"

#include <QFile>
#include <QPaintEvent>
#include <QResource>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace widgets::picpanel;

TEST(PictureLayout, SizeAndPlaceForEveryModeAndAlignment)
{
    const QSize picture(331, 283);
    const QSize control(349, 345);
    const struct
    {
        TScaleMode mode;
        float scale;
        TBitmapAlign align;
        QRect expected;
    } rows[] = {
        {psNormal, 1.0f, paCenter, {9, 31, 331, 283}},
        {psNormal, 1.0f, paTopLeft, {0, 0, 331, 283}},
        {psNormal, 1.0f, paTile, {0, 0, 331, 283}},
        {psNormal, 1.0f, paCustom, {-3, 5, 331, 283}},
        {psStretch, 1.0f, paCenter, {0, 0, 349, 345}},
        {psScale, 0.5f, paCenter, {91, 101, 166, 142}}, // 165.5 -> 166, 141.5 -> 142 (ties to even)
        {psScale, 2.0f, paCenter, {-156, -110, 662, 566}},
        // 349 / 331 = 1.054 < 345 / 283 = 1.219: full width, height from the width's scale
        {psResize, 1.0f, paCenter, {0, 23, 349, 298}},
        {psResize, 1.0f, paTopLeft, {0, 0, 349, 298}},
    };
    for (const auto &r : rows)
        EXPECT_EQ(pictureRect(picture, control, r.mode, r.scale, r.align, QPointF(-3.4, 4.6)),
                  r.expected)
            << r.mode << " " << r.align;

    // A tall picture in a wide control fits by height.
    EXPECT_EQ(pictureSize({100, 200}, {300, 100}, psResize, 1.0f), QSize(50, 100));
    // Nothing to show.
    EXPECT_EQ(pictureSize({0, 0}, control, psStretch, 1.0f), QSize(0, 0));
    EXPECT_EQ(pictureSize(picture, {0, 345}, psNormal, 1.0f), QSize(0, 0));
}

QByteArray stored(qint32 w, qint32 h, qsizetype pixelBytes)
{
    QByteArray data(8 + pixelBytes, '\x7f');
    qToLittleEndian(w, data.data());
    qToLittleEndian(h, data.data() + 4);
    return data;
}

TEST(StoredPicture, ReadsRowsOfBlueGreenRedAlpha)
{
    QByteArray data = stored(2, 1, 8);
    const char pixels[8] = {0x10, 0x20, 0x30, char(0xFF), 0x01, 0x02, 0x03, 0x04};
    std::copy(pixels, pixels + 8, data.begin() + 8);
    const widgets::picdata::StoredPicture p = widgets::picdata::read(data);
    ASSERT_TRUE(p.error.isEmpty()) << p.error.toStdString();
    EXPECT_EQ(p.image.size(), QSize(2, 1));
    EXPECT_EQ(p.image.pixel(0, 0), 0xFF302010u);
    EXPECT_EQ(p.image.pixel(1, 0), 0x04030201u);
    EXPECT_EQ(widgets::picdata::write(p.image), data);
}

TEST(StoredPicture, DamagedDataGivesAClearError)
{
    const struct
    {
        QByteArray data;
        const char *error;
    } rows[] = {
        {QByteArray("abc"), "zu kurz"},
        {stored(331, 283, 4 * 331 * 283 - 1), "zu kurz"},
        {stored(331, 283, 4 * 331 * 283 + 4), "zu lang"},
        {stored(-1, 5, 0), "negative"},
        {stored(0x7fffffff, 0x7fffffff, 0), "zu groß"},
    };
    for (const auto &r : rows) {
        const widgets::picdata::StoredPicture p = widgets::picdata::read(r.data);
        EXPECT_TRUE(p.image.isNull());
        EXPECT_TRUE(p.error.contains(QString::fromUtf8(r.error))) << p.error.toStdString();
    }
    EXPECT_TRUE(widgets::picdata::read(stored(0, 0, 0)).error.isEmpty());
}

TEST(StoredPicture, PanelKeepsItsPictureWhenAFileIsDamaged)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.pic"));
    const QString bad = dir.filePath(QStringLiteral("bad.pic"));
    QImage picture(3, 2, QImage::Format_ARGB32);
    picture.fill(qRgb(1, 2, 3));
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::WriteOnly));
    goodFile.write(widgets::picdata::write(picture));
    goodFile.close();
    QFile badFile(bad);
    ASSERT_TRUE(badFile.open(QIODevice::WriteOnly));
    badFile.write(widgets::picdata::write(picture).chopped(1));
    badFile.close();

    widgets::TPicturePanel panel;
    QString error;
    ASSERT_TRUE(panel.loadBitmap(good, &error));
    EXPECT_FALSE(panel.loadBitmap(bad, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("zu kurz")));
    EXPECT_FALSE(panel.loadBitmap(dir.filePath(QStringLiteral("missing.pic")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing.pic")));
    EXPECT_EQ(panel.Bitmap().size(), QSize(3, 2));
}

// The sharp picture beside a loaded one serves two pixels per point; a damaged one leaves
// the plain picture, scaled up.
TEST(StoredPicture, SharpPictureBesideTheFileServesTwoPixelsPerPoint)
{
    const QRgb plain = qRgb(1, 2, 3), sharp = qRgb(200, 100, 50);
    for (const bool damaged : {false, true}) {
        QTemporaryDir dir;
        QImage one(3, 2, QImage::Format_ARGB32), two(6, 4, QImage::Format_ARGB32);
        one.fill(plain);
        two.fill(sharp);
        for (const auto &[name, data] :
             {std::pair{"p.pic", widgets::picdata::write(one)},
              {"p@2x.pic", widgets::picdata::write(two).chopped(damaged)}}) {
            QFile file(dir.filePath(QLatin1StringView(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
        }
        widgets::TPicturePanel panel;
        panel.resize(3, 2);
        ASSERT_TRUE(panel.loadBitmap(dir.filePath(QStringLiteral("p.pic"))));
        EXPECT_EQ(panel.buffer(1.0).pixel(2, 1), plain);
        EXPECT_EQ(panel.buffer(2.0).pixel(5, 3), damaged ? plain : sharp) << damaged;
    }
}

// What the window shows at start-up is used where it lies in the program, not copied or
// unpacked; the sharp pictures are unpacked when asked for. Either way the pixels are the
// stored ones.
TEST(StoredPicture, BuiltInPicturesOfTheStartAreUsedWhereTheyLie)
{
    assets::usePictures();
    for (const char *path :
         {":/pictures/wiring.pic", ":/pictures/logo.pic", ":/icons/22.pic", ":/icons/256.pic",
          ":/pictures/wiring@2x.pic"}) {
        SCOPED_TRACE(path);
        const QString name = QString::fromLatin1(path);
        const widgets::picdata::StoredPicture picture = widgets::picdata::readFile(name);
        ASSERT_FALSE(picture.image.isNull()) << picture.error.toStdString();
        const QResource resource(name);
        const bool sharp = name.contains(u'@');
        EXPECT_EQ(resource.compressionAlgorithm() == QResource::NoCompression, !sharp);
        const QByteArray stored = resource.uncompressedData();
        EXPECT_EQ(picture.image.constBits() == resource.data() + 8, !sharp);
        EXPECT_EQ(picture.image, widgets::picdata::read(stored).image);
    }
}

class PanelPaint : public ::testing::Test
{
protected:
    void SetUp() override
    {
        picture = QImage(4, 3, QImage::Format_ARGB32);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                picture.setPixel(x, y, qRgb(10 * x, 20 * y, 200));
        panel.resize(10, 9);
        panel.setColor(0x0000FF); // red
        panel.setBitmap(picture);
    }

    QImage picture;
    widgets::TPicturePanel panel;
};

TEST_F(PanelPaint, BackgroundStripsAroundTheCentredPicture)
{
    panel.setBitmapAlign(paCenter);
    const QImage &buffer = panel.buffer();
    EXPECT_EQ(buffer.pixel(3, 3), picture.pixel(0, 0));
    EXPECT_EQ(buffer.pixel(6, 5), picture.pixel(3, 2));
    for (const QPoint p : {QPoint(2, 3), QPoint(3, 2), QPoint(7, 5), QPoint(6, 6), QPoint(0, 0)})
        EXPECT_EQ(buffer.pixel(p), qRgb(255, 0, 0)) << p.x() << "," << p.y();
}

// What the control shows is what its buffer holds, whether the paint draws the buffer or,
// for an opaque picture at its own size, the picture itself.
TEST_F(PanelPaint, ShowsWhatItsBufferHolds)
{
    QImage glass = picture;
    glass.setPixel(1, 1, qRgba(0, 0, 0, 0));
    for (const auto &[align, mode, bitmap] :
         {std::tuple{paCenter, psNormal, picture}, {paTopLeft, psNormal, picture},
          {paCustom, psNormal, picture}, {paTile, psNormal, picture},
          {paCenter, psStretch, picture}, {paCenter, psNormal, glass}}) {
        SCOPED_TRACE(int(align) * 10 + int(mode));
        panel.setBitmap(bitmap);
        panel.setBitmapAlign(align);
        panel.setScaleMode(mode);
        const QImage shown = panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown, panel.buffer().convertToFormat(QImage::Format_RGB32));
    }
}

TEST_F(PanelPaint, TileRepeatsFromTheTopLeft)
{
    panel.setBitmapAlign(paTile);
    const QImage &buffer = panel.buffer();
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(buffer.pixel(x, y), picture.pixel(x % 4, y % 3)) << x << "," << y;
}

TEST_F(PanelPaint, StretchFillsTheControlSmoothlyOrNearest)
{
    panel.setScaleMode(psStretch);
    panel.setStretchFilter(rfNearest);
    const QImage nearestBuffer = panel.buffer().copy();
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(nearestBuffer.pixel(x, 0), picture.pixel(x * 4 / 10, 0)) << x;
    panel.setStretchFilter(rfSpline);
    const QImage smooth = panel.buffer();
    // Smooth resampling gives in-between levels that the picture does not have.
    bool between = false;
    for (int x = 0; x < 10; ++x)
        between |= qRed(smooth.pixel(x, 0)) % 10 != 0;
    EXPECT_TRUE(between);
    EXPECT_EQ(qBlue(smooth.pixel(5, 4)), 200);
}

TEST_F(PanelPaint, SeeThroughPictureShowsTheColourBeneath)
{
    QImage glass(2, 2, QImage::Format_ARGB32);
    glass.fill(qRgba(0, 0, 255, 0));
    panel.setBitmap(glass);
    EXPECT_EQ(panel.buffer().pixel(0, 0), qRgb(255, 0, 0));
}

TEST_F(PanelPaint, EqualWritesDoNotRebuild)
{
    panel.buffer();
    const int renders = panel.renderCount();
    panel.setBitmapAlign(paTopLeft);
    panel.setScaleMode(psNormal);
    panel.setScale(1.0f);
    panel.setScale(0.0005f); // below the least scale: ignored
    panel.setColor(0x0000FF);
    panel.setScaleMode(static_cast<TScaleMode>(4));
    panel.buffer();
    EXPECT_EQ(panel.renderCount(), renders);
    EXPECT_EQ(panel.Scale(), 1.0f);
    EXPECT_EQ(panel.ScaleMode(), psNormal);
}

TEST_F(PanelPaint, SharpPictureIsUsedAtTwoPixelsPerPoint)
{
    QImage sharp = picture.scaled(8, 6);
    sharp.fill(qRgb(1, 2, 3));
    sharp.setDevicePixelRatio(2.0);
    panel.setSharpBitmap(sharp);
    panel.setBitmapAlign(paCenter);
    const QImage &target = panel.buffer(2.0);
    EXPECT_EQ(target.size(), QSize(20, 18));
    // The picture's area shows the sharp picture's own pixels, unscaled.
    EXPECT_EQ(target.pixel(6, 6), qRgb(1, 2, 3));
    EXPECT_EQ(target.pixel(13, 11), qRgb(1, 2, 3));
    EXPECT_EQ(target.pixel(5, 6), qRgb(255, 0, 0));
}

class PaintRegion : public QObject
{
public:
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

TEST(PanelChildren, LampsAreLeftOutOfThePanelsPaint)
{
    widgets::TPicturePanel panel;
    panel.resize(100, 80);
    auto *lamp = new widgets::TIAgaloLED(&panel);
    lamp->move(30, 20);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    PaintRegion spy;
    panel.installEventFilter(&spy);
    panel.repaint();
    EXPECT_TRUE(spy.painted.contains(QPoint(5, 5)));
    EXPECT_FALSE(spy.painted.intersects(lamp->geometry()));
}

} // namespace

TF_QT_TEST_MAIN
