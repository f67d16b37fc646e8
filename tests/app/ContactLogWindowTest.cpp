// The contact display as a window: it keeps edges only while open, zooms, pauses and moves
// by wheel, keys and buttons, shows a picked row held still, exports CSV, and its picture
// of a bouncing contact is saved for a look.
#include "app/ContactLogWindow.h"
#include "app/ContactLogRows.h"
#include "app/ContactLogView.h"
#include "support/FakeClock.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/QtTestMain.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace {

using timing::LineEdge;
using timing::Ticks;

class ContactLogWindowTest : public ::testing::Test
{
public:
    void open()
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    app::ContactLogView &view() { return *window.view(); }
    QString status() const { return window.findChild<QLabel *>("Status")->text(); }
    QPushButton *button(const char *name) const { return window.findChild<QPushButton *>(name); }
    void wheel(int angle)
    {
        const QPointF at(view().width() / 2.0, view().height() / 2.0);
        QWheelEvent event(at, view().mapToGlobal(at), {}, QPoint(0, angle), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view(), &event);
    }

    FakeClock clock;
    platform::FixedLocale german = platform::FixedLocale::german();
    LocaleInstalled localeInstalled{german};
    app::ContactLogWindow window;
};

TEST_F(ContactLogWindowTest, KeepsEdgesOnlyWhileOpen)
{
    EXPECT_EQ(window.windowTitle(), "Kontaktanzeige");
    EXPECT_FALSE(window.isOpen());
    window.add({1, true, clock.counter()});
    EXPECT_EQ(window.log().size(), 0u);

    clock.set(2'000'000);
    open();
    EXPECT_TRUE(window.isOpen());
    EXPECT_EQ(window.log().origin(), 2'000'000);
    for (Ticks at : {2'000'100, 2'000'103, 2'000'200})
        window.add({1, at != 2'000'103, at});
    window.add({2, true, 2'000'300});
    window.refresh();
    EXPECT_EQ(window.log().size(), 4u);
    EXPECT_EQ(window.table()->model()->rowCount(), 4);
    EXPECT_EQ(status(), "4 Flanken, Zeitfenster 5 s");

    window.close();
    EXPECT_FALSE(window.isOpen());
    EXPECT_EQ(window.log().size(), 0u);
    EXPECT_EQ(window.table()->model()->rowCount(), 0);
    window.add({1, false, 2'000'400});
    EXPECT_EQ(window.log().size(), 0u);
}

TEST_F(ContactLogWindowTest, KeepsOnlyTheNewestAndSaysSo)
{
    app::ContactLogWindow small(nullptr, 3);
    small.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&small));
    for (Ticks at = 1; at <= 5; ++at)
        small.add({1, at % 2 == 1, clock.counter() + at});
    small.refresh();
    EXPECT_EQ(small.findChild<QLabel *>("Status")->text(),
              "3 Flanken, Zeitfenster 5 s (nur die letzten 3)");
    EXPECT_EQ(small.table()->model()->index(0, 0).data().toString(), "3");
}

TEST_F(ContactLogWindowTest, WheelKeysAndButtonsZoomPauseAndMove)
{
    open();
    const Ticks start = clock.counter();
    using Act = std::function<void(ContactLogWindowTest &)>;
    const auto key = [](Qt::Key k) {
        return [k](ContactLogWindowTest &t) { QTest::keyClick(&t.view(), k); };
    };
    const auto turn = [](int angle) {
        return [angle](ContactLogWindowTest &t) { t.wheel(angle); };
    };
    const auto click = [](const char *name) {
        return
            [name](ContactLogWindowTest &t) { QTest::mouseClick(t.button(name), Qt::LeftButton); };
    };
    const auto later = [](Ticks ticks) {
        return [ticks](ContactLogWindowTest &t) { t.clock.advance(ticks); };
    };
    const struct
    {
        const char *name;
        Act act;
        Ticks length;
        bool paused;
        Ticks end; // from the start; while running the clock's
    } steps[] = {
        {"wheel forward", turn(120), 25'000, false, 0},
        {"two half notches",
         [&](ContactLogWindowTest &t) {
             t.wheel(60);
             t.wheel(60);
         },
         12'500, false, 0},
        {"wheel back twice", turn(-240), 50'000, false, 0},
        {"plus", key(Qt::Key_Plus), 25'000, false, 0},
        {"minus", key(Qt::Key_Minus), 50'000, false, 0},
        {"zoom-in button", click("ZoomInButton"), 25'000, false, 0},
        {"zoom-out button", click("ZoomOutButton"), 50'000, false, 0},
        {"time passes running", later(1000), 50'000, false, 1000},
        {"space pauses", key(Qt::Key_Space), 50'000, true, 1000},
        {"time passes paused", later(5000), 50'000, true, 1000},
        {"left", key(Qt::Key_Left), 50'000, true, 1000 - 12'500},
        {"right twice",
         [&](ContactLogWindowTest &t) {
             QTest::keyClick(&t.view(), Qt::Key_Right);
             QTest::keyClick(&t.view(), Qt::Key_Right);
         },
         50'000, true, 1000 + 12'500},
        {"end resumes", key(Qt::Key_End), 50'000, false, 6000},
        {"pause button", click("PauseButton"), 50'000, true, 6000},
        {"pause button again", click("PauseButton"), 50'000, false, 6000},
        {"no shorter than a millisecond",
         [](ContactLogWindowTest &t) {
             for (int i = 0; i < 20; ++i)
                 t.wheel(120);
         },
         app::ContactLogView::MinLength, false, 6000},
        {"no longer than two minutes",
         [](ContactLogWindowTest &t) {
             for (int i = 0; i < 30; ++i)
                 t.wheel(-120);
         },
         app::ContactLogView::MaxLength, false, 6000},
    };
    view().setFocus();
    for (const auto &s : steps) {
        s.act(*this);
        const app::ContactLogSpan span = view().span();
        EXPECT_EQ(span.length, s.length) << s.name;
        EXPECT_EQ(view().isPaused(), s.paused) << s.name;
        EXPECT_EQ(span.end, start + s.end) << s.name;
        EXPECT_EQ(button("PauseButton")->isChecked(), s.paused) << s.name;
        EXPECT_EQ(button("PauseButton")->text(), s.paused ? "Weiter" : "Anhalten") << s.name;
        EXPECT_EQ(status().endsWith(", angehalten"), s.paused) << s.name;
    }
}

// Paused, the wheel keeps the instant under the mouse in its column.
TEST_F(ContactLogWindowTest, PausedTheWheelZoomsAroundTheMouse)
{
    open();
    view().setPaused(true);
    for (const int x : {150, 400, 700}) {
        const app::ContactLogPicture picture(view().size());
        const Ticks under = picture.ticksAt(x, view().span());
        const QPointF at(x, 20);
        for (const int angle : {120, 240, -360, -120}) {
            QWheelEvent event(at, view().mapToGlobal(at), {}, QPoint(0, angle), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&view(), &event);
            EXPECT_NEAR(picture.xOf(under, view().span()), x, 1) << x << " " << angle;
        }
    }
}

TEST_F(ContactLogWindowTest, APickedRowIsShownHeldStill)
{
    open();
    const Ticks origin = clock.counter();
    for (int i = 0; i < 5; ++i)
        window.add({1 + i % 2, i % 4 < 2, origin + 1000 * (i + 1)});
    window.refresh();
    QTableView &table = *window.table();
    const QModelIndex row = table.model()->index(2, 1);
    ASSERT_EQ(row.data().toString(), "0,3000");
    table.scrollTo(row);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.visualRect(row).center());
    EXPECT_TRUE(view().isPaused());
    EXPECT_EQ(view().span().end, origin + 3000 + view().span().length / 2);
}

TEST_F(ContactLogWindowTest, ExportsTheKeptEdgesAsCsvInTheUsersConvention)
{
    open();
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("Kontakte.csv");
    QString dialogSuffix;
    int asked = 0;
    window.setSaveDialogRunner([&](QFileDialog &dialog) {
        ++asked;
        dialogSuffix = dialog.defaultSuffix();
        return asked == 1 ? QString() : path;
    });
    window.add({1, true, clock.counter() + 12'345, 0.00005});
    window.add({1, false, clock.counter() + 12'350, 0.002, true});
    QTest::mouseClick(button("ExportButton"), Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(path)); // cancelled
    QTest::mouseClick(button("ExportButton"), Qt::LeftButton);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(dialogSuffix, "csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "\xEF\xBB\xBFNr.;Zeit (s);Kontakt;Zustand;Abstand (ms);Unsicherheit (ms);"
              "Versp\xC3\xA4tet erkannt\r\n"
              "1;1,2345;1;aktiv;;0,050;\r\n"
              "2;1,2350;1;inaktiv;0,5;2,000;*\r\n");
}

int countPixels(const QImage &image, const QRect &area, const std::function<bool(QRgb)> &match)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += match(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// A contact that bounces as it closes and opens, and a beam that flickers, one of its edges
// found late with a wide uncertainty: the whole stretch, then the closing bounce zoomed in.
TEST_F(ContactLogWindowTest, PictureOfABouncingContact)
{
    window.resize(900, 620);
    open();
    const Ticks origin = clock.counter();
    const auto burst = [&](int line, Ticks at, std::initializer_list<Ticks> offsets, bool first) {
        bool active = first;
        for (const Ticks offset : offsets) {
            window.add({line, active, origin + at + offset, 0.00005});
            active = !active;
        }
    };
    burst(1, 10'000, {0, 4, 7, 15, 18, 30, 33}, true);
    burst(2, 20'000, {0, 350, 420, 1500, 1530, 2600, 3300, 3320, 3400}, true);
    window.add({2, false, origin + 25'000, 0.002, true});
    burst(1, 32'000, {0, 6, 9}, false);
    clock.advance(45'000);
    window.refresh();
    const QImage whole = window.grab().toImage();

    view().showAt(origin + 10'016);
    view().zoom(9);
    const QImage bounce = view().grab().toImage();

    ASSERT_TRUE(QDir().mkpath(TF_SCREENSHOT_DIR));
    EXPECT_TRUE(whole.save(TF_SCREENSHOT_DIR "/contact-log.png"));
    EXPECT_TRUE(bounce.save(TF_SCREENSHOT_DIR "/contact-log-bounce.png"));

    // Zoomed in, every edge of the bounce has a column of its own: line 1's trace crosses
    // from one level to the other seven times.
    const app::ContactLogPicture picture(view().size());
    const QRect lane = picture.lane(1);
    const int middle = (picture.levelY(1, true) + picture.levelY(1, false)) / 2;
    int crossings = 0;
    bool inside = false;
    for (int x = lane.left(); x <= lane.right(); ++x) {
        const QRgb c = bounce.pixel(x, middle);
        const bool trace = qGreen(c) > 180 && qRed(c) < 150;
        crossings += trace && !inside ? 1 : 0;
        inside = trace;
    }
    EXPECT_EQ(crossings, 7);
    EXPECT_GT(
        countPixels(whole, whole.rect(), [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 120; }),
        10);
}

} // namespace

TF_QT_TEST_MAIN
