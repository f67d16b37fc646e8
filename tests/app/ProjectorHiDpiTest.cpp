#include "app/ProjectorView.h"
#include "widgets/IAeverLiquidIndicator.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

// The projector view on a screen of twice the usual pixel density (QT_SCALE_FACTOR=2).

namespace {

TEST(DenseScreenProjector, TheDisplayIsDrawnWithTheScreensPixels)
{
    widgets::TIAeverLiquidIndicator look;
    look.setSignNumber(9);
    look.setIndicatorKind(widgets::TIAeverLiquidIndicator::ik9segment);
    look.setBackColor(widgets::clBlack);
    look.setNumberForeColor(widgets::clLime);
    look.setNumberBackColor(widgets::clBlack);
    look.setIndicatorStyle(widgets::TIAeverLiquidIndicator::isThick);

    app::ProjectorView view;
    view.copyLook(look);
    view.setTime(QStringLiteral("01:07.0452"));
    // 1920 x 1080 screen pixels.
    view.resize(960, 540);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    widgets::TIAeverLiquidIndicator *d = view.display();
    ASSERT_EQ(d->devicePixelRatioF(), 2.0);

    const QImage &picture = d->picture();
    EXPECT_EQ(picture.size(), d->size() * 2);
    EXPECT_EQ(picture.devicePixelRatio(), 2.0);

    // Only the display's own colours, and edges that step by single screen pixels: a
    // picture drawn at half the size and doubled would have neither blends nor anything
    // finer than a 2 x 2 block.
    const std::set<QRgb> palette = {0xFF000000, 0xFF00FF00, 0xFFFDFDFD, 0xFFBDBDBD};
    std::set<QRgb> found;
    int finerThanABlock = 0;
    for (int y = 0; y + 1 < picture.height(); y += 2)
        for (int x = 0; x + 1 < picture.width(); x += 2) {
            const QRgb block[4] = {picture.pixel(x, y), picture.pixel(x + 1, y),
                                   picture.pixel(x, y + 1), picture.pixel(x + 1, y + 1)};
            found.insert(block, block + 4);
            finerThanABlock += !(block[0] == block[1] && block[0] == block[2] && block[0] == block[3]);
        }
    EXPECT_EQ(found, palette);
    EXPECT_GT(finerThanABlock, 100);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
