#include "app/GroupFrame.h"
#include "app/MainForm.h"
#include "support/ConfigFolder.h"
#include "support/FakeLines.h"
#include "support/QtTestMain.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <set>

namespace {

class WindowLook : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    ConfigFolder config;
    FakeLines lines;
    std::unique_ptr<app::TForm1> form;
};

} // namespace

TEST_F(WindowLook, GroupBoxesEncloseTheirControlsBelowTheCaptionLine)
{
    const QList<QGroupBox *> boxes = form->findChildren<QGroupBox *>();
    ASSERT_EQ(boxes.size(), 10);
    for (QGroupBox *box : boxes) {
        const std::string name = box->objectName().toStdString();
        const QRect frame = app::GroupFrame::frameRect(*box);
        const QRect caption = app::GroupFrame::captionRect(*box);
        // The frame's top edge runs through the caption, 8 pixels in.
        EXPECT_EQ(caption.left(), 8) << name;
        EXPECT_LT(caption.top(), frame.top()) << name;
        EXPECT_GT(caption.bottom(), frame.top()) << name;
        for (QWidget *child : box->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(frame.adjusted(1, 1, -1, -1).contains(child->geometry()))
                << name << ": " << child->objectName().toStdString();
        }

        // Drawn where it is said to be: the top edge right of the caption, broken by it.
        const QImage picture = box->grab().toImage();
        const QRgb edge = box->palette().color(QPalette::Dark).rgb();
        EXPECT_EQ(picture.pixel(box->width() - 4, frame.top()), edge) << name;
        EXPECT_EQ(picture.pixel(0, frame.top() + 2), edge) << name;
        EXPECT_EQ(picture.pixel(2, frame.top() + 2), box->palette().color(QPalette::Window).rgb())
            << name;
        int inked = 0;
        for (int x = caption.left(); x <= caption.right(); ++x)
            inked += picture.pixel(x, frame.top()) != edge;
        EXPECT_GT(inked, caption.width() / 2) << name;
    }
}

TEST_F(WindowLook, ListHeaderUsesTheWindowsFont)
{
    const QFontInfo window(form->font());
    const QFontInfo header(form->Prot->horizontalHeader()->font());
    EXPECT_EQ(header.pixelSize(), window.pixelSize());
    EXPECT_EQ(header.family(), window.family());
    EXPECT_EQ(header.bold(), window.bold());
}

TEST_F(WindowLook, SixteenPixelIconInSixteenColoursNamedForTheTaskBar)
{
    EXPECT_EQ(form->windowIconText(), "Tachoflux");
    const QIcon icon = form->windowIcon();
    ASSERT_FALSE(icon.isNull());
    // The 16-colour picture is the 16-pixel size of a set that reaches 256 pixels.
    EXPECT_EQ(icon.pixmap(QSize(256, 256)).size(), QSize(256, 256));
    const QImage picture = icon.pixmap(QSize(16, 16)).toImage();
    ASSERT_EQ(picture.size(), QSize(16, 16));
    std::set<QRgb> colours;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (qAlpha(picture.pixel(x, y)) != 0)
                colours.insert(picture.pixel(x, y));
    EXPECT_GE(colours.size(), 2u);
    EXPECT_LE(colours.size(), 16u);
}

TF_QT_TEST_MAIN
