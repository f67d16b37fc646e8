#include "app/BigText.h"
#include "app/Classroom.h"
#include "app/MainForm.h"
#include "app/ProjectorView.h"
#include "platform/SoundOutput.h"
#include "support/MainWindowSurroundings.h"
#include "support/ConfigFolder.h"
#include "support/FakeClock.h"
#include "support/FakeLines.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/MessagesRecorded.h"
#include "support/QtTestMain.h"
#include "support/RecordingShell.h"
#include "widgets/ComboBox.h"
#include "widgets/IAeverLiquidIndicator.h"
#include "widgets/SpeedButton.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <mutex>
#include <set>

namespace {

// Tones as the device would get them, without a sound card.
struct HeardTones
{
    std::mutex mutex;
    std::vector<platform::Pcm> tones;
};

class Ear : public platform::PcmDevice
{
public:
    explicit Ear(HeardTones &heard) : m_heard(heard) {}
    void play(const platform::Pcm &samples) override
    {
        const std::lock_guard lock(m_heard.mutex);
        m_heard.tones.push_back(samples);
    }

private:
    HeardTones &m_heard;
};

class ProjectorTest : public ::testing::Test, protected MainWindowSurroundings
{
protected:
    void SetUp() override { locale.pinNow(QDate(2026, 12, 6), QTime(14, 3, 27)); }
    void TearDown() override { form.reset(); }

    app::TForm1 &open()
    {
        form.reset();
        startAfresh();
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return *form;
    }
    app::Classroom &classroom() { return *form->classroom(); }
    app::ProjectorView *projector() { return classroom().projector(); }
    bool projectorShown() { return projector() && projector()->isVisible(); }
    void projectorKey(Qt::Key key)
    {
        ASSERT_TRUE(projectorShown());
        QTest::keyClick(projector()->windowHandle(), key);
    }
    void choosePort1()
    {
        lines.openable = {1};
        form->cmbPort->setItemIndexQuiet(1);
        form->cmbPortChange();
    }
    std::vector<platform::Pcm> listen()
    {
        classroom().soundOutput()->waitIdle();
        const std::lock_guard lock(heard.mutex);
        return std::exchange(heard.tones, {});
    }
    void hearTones()
    {
        classroom().setSoundOutput(std::make_unique<platform::SoundOutput>(
            48000, [this](int) { return std::make_unique<Ear>(heard); }));
    }

    HeardTones heard;
};

TEST_F(ProjectorTest, OpensFullScreenOnF11ButtonOrCommandAndClosesOnEscOrF11)
{
    app::TForm1 &f = open();
    auto *button = f.findChild<QPushButton *>(QStringLiteral("btnProjector"));
    auto *command = f.findChild<QAction *>(QStringLiteral("Grossanzeige1"));
    ASSERT_TRUE(button && command);
    EXPECT_TRUE(f.Digits->actions().contains(command));

    enum Opener { MainF11, Button, Command };
    const struct
    {
        Opener opener;
        Qt::Key closer;
    } rows[] = {{MainF11, Qt::Key_Escape}, {MainF11, Qt::Key_F11}, {Button, Qt::Key_Escape},
                {Command, Qt::Key_F11}};
    for (const auto &row : rows) {
        SCOPED_TRACE(int(row.opener));
        switch (row.opener) {
        case MainF11: QTest::keyClick(f.windowHandle(), Qt::Key_F11); break;
        case Button: QTest::mouseClick(button, Qt::LeftButton); break;
        case Command: command->trigger(); break;
        }
        ASSERT_TRUE(projectorShown());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(projector()));
        EXPECT_TRUE(projector()->isFullScreen());
        EXPECT_EQ(projector()->geometry(), f.screen()->geometry());
        EXPECT_EQ(projector()->screen(), f.screen()); // the only screen there is
        // The main window keeps working behind it.
        QTest::keyClick(f.windowHandle(), Qt::Key_F5);
        EXPECT_TRUE(f.running());
        QTest::keyClick(f.windowHandle(), Qt::Key_F8);
        EXPECT_FALSE(f.running());

        projectorKey(row.closer);
        EXPECT_FALSE(projectorShown());
        EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ProjectorTest, KeysInTheProjectorTimeRunsThatItShowsLarge)
{
    // The series the next run joins, its count, mean and the mode's own result.
    static constexpr char None0[] = "ohne Bezeichnung, s = 0,150 m:   0 Messungen";
    static constexpr char One[] =
        "ohne Bezeichnung, s = 0,150 m:   1 Messung   Mittel 00:00.5000   v = 0,300 m/s";
    static constexpr char Half[] = "Letzte Messung: 00:00.5000   0,300 m/s   (von Hand)";
    app::TForm1 &f = open();
    QTest::keyClick(f.windowHandle(), Qt::Key_F11);
    const struct
    {
        Qt::Key key;
        std::int64_t advance;
        bool running;
        const char *display;
        const char *lastRun;
        const char *statistics;
    } steps[] = {
        {Qt::Key_F6, 100, false, "00:00.0000", "Letzte Messung: –", None0},
        {Qt::Key_F5, 100, true, "00:00.0---", "Letzte Messung: –", None0},
        {Qt::Key_F6, 5000, false, "00:00.5000", Half, One},
        {Qt::Key_F5, 100, true, "00:00.0---", Half, One},
        {Qt::Key_F8, 100, false, "00:00.0000", Half, One},
        {Qt::Key_F5, 100, true, "00:00.0---", Half, One},
        {Qt::Key_F6, 10000, false, "00:01.0000",
         "Letzte Messung: 00:01.0000   0,150 m/s   (von Hand)",
         "ohne Bezeichnung, s = 0,150 m:   2 Messungen   Mittel 00:00.7500   v = 0,225 m/s"},
    };
    int index = 0;
    for (const auto &step : steps) {
        SCOPED_TRACE(index++);
        clock.advance(step.advance);
        projectorKey(step.key);
        f.DigitsTimerTimer();
        EXPECT_EQ(f.running(), step.running);
        EXPECT_EQ(projector()->display()->Indicatorstring(), step.display);
        EXPECT_EQ(projector()->lastRunText(), QString::fromUtf8(step.lastRun));
        EXPECT_EQ(projector()->statisticsText(), QString::fromUtf8(step.statistics));
    }
    EXPECT_EQ(f.runs().size(), 2);
    EXPECT_TRUE(projectorShown());
}

TEST_F(ProjectorTest, ArmedStateInWordsAndColourInTheWindowAndTheProjector)
{
    app::TForm1 &f = open();
    QTest::keyClick(f.windowHandle(), Qt::Key_F11);
    using S = session::ArmedState;
    enum Do { Nothing, Port1, Lines, F8, PolarityAus };
    const struct
    {
        Do action;
        bool dsr, cts;
        S expected;
    } steps[] = {
        {Nothing, false, false, S::NoPort},
        {Port1, false, false, S::Ready},
        {Lines, true, false, S::Running},        // contact 1
        {Lines, false, false, S::Running},
        {Lines, false, true, S::Stopped},        // contact 2
        {Lines, false, false, S::Stopped},
        {F8, false, false, S::Ready},
        {Lines, false, true, S::ContactFault},   // barrier 2 blocked while armed
        {Lines, false, false, S::Ready},
        {Lines, true, true, S::ContactFault},    // both closing in one report: no run
        {F8, true, true, S::ContactFault},
        {Lines, false, false, S::Ready},
        {PolarityAus, false, false, S::ContactFault}, // off counts as active now
        {Lines, true, true, S::Ready},
    };
    int index = 0;
    for (const auto &step : steps) {
        SCOPED_TRACE(index++);
        switch (step.action) {
        case Nothing: break;
        case Port1: choosePort1(); break;
        case Lines: lines.change(step.dsr, step.cts, clock.counter()); break;
        case F8: projectorKey(Qt::Key_F8); break;
        case PolarityAus:
            f.cmbAlg->setItemIndexQuiet(1);
            f.cmbAlgChange();
            break;
        }
        clock.advance(100);
        f.DigitsTimerTimer();
        EXPECT_EQ(classroom().state(), step.expected);
        const QString words = session::armedStateText(step.expected);
        QLabel *label = classroom().stateLabel();
        // The strip may add why the last change made no run.
        EXPECT_TRUE(label->text().startsWith(words)) << label->text().toStdString();
        EXPECT_EQ(label->palette().color(QPalette::Window), session::armedStateColor(step.expected));
        EXPECT_EQ(projector()->stateText(), words);
    }
}

TEST_F(ProjectorTest, TonesOnStartAndStopWhileTonIsOnAndTheSwitchIsRemembered)
{
    app::TForm1 &f = open();
    auto *box = f.findChild<QCheckBox *>(QStringLiteral("chkSound"));
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isChecked()); // no stored value: tones on
    EXPECT_EQ(classroom().soundOutput(), nullptr); // nothing opened before the first tone
    hearTones();

    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    const std::vector<platform::Pcm> start = listen();
    ASSERT_EQ(start.size(), 1u);
    QTest::keyClick(f.windowHandle(), Qt::Key_F6);
    const std::vector<platform::Pcm> stop = listen();
    ASSERT_EQ(stop.size(), 1u);
    EXPECT_NE(start[0], stop[0]);

    // Lines fire the same tones; a reset drops a run without one.
    choosePort1();
    lines.change(true, false, clock.counter());
    EXPECT_EQ(listen(), start);
    QTest::keyClick(f.windowHandle(), Qt::Key_F8);
    EXPECT_TRUE(listen().empty());
    lines.change(false, false, clock.counter());
    lines.change(true, false, clock.counter());
    lines.change(true, true, clock.counter());
    EXPECT_EQ(listen(), (std::vector<platform::Pcm>{start[0], stop[0]}));

    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(classroom().soundOn());
    QTest::keyClick(f.windowHandle(), Qt::Key_F8);
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    QTest::keyClick(f.windowHandle(), Qt::Key_F6);
    EXPECT_TRUE(listen().empty());
    EXPECT_TRUE(config.hiveBytes().contains("\"Sound\"=\"0\""));

    // The next start keeps the choice, in the box and in the display's command.
    app::TForm1 &again = open();
    EXPECT_FALSE(again.findChild<QCheckBox *>(QStringLiteral("chkSound"))->isChecked());
    EXPECT_FALSE(again.findChild<QAction *>(QStringLiteral("Ton1"))->isChecked());
    // The box takes no focus; Alt+T turns it on again.
    QTest::keyClick(again.windowHandle(), Qt::Key_T, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return classroom().soundOn(); }));
    EXPECT_TRUE(again.findChild<QAction *>(QStringLiteral("Ton1"))->isChecked());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ProjectorTest, TheScreenChoiceIsRemembered)
{
    app::TForm1 &f = open();
    auto *other = f.findChild<QAction *>(QStringLiteral("AndererBildschirm1"));
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->isChecked());
    other->trigger();
    EXPECT_FALSE(classroom().preferOtherScreen());
    EXPECT_TRUE(config.hiveBytes().contains("\"ProjectorScreen\"=\"0\""));
    open();
    EXPECT_FALSE(classroom().preferOtherScreen());
}

TEST_F(ProjectorTest, TheStripSitsBelowEveryOtherControl)
{
    app::TForm1 &f = open();
    QWidget *strip = f.findChild<QWidget *>(QStringLiteral("ClassroomStrip"));
    ASSERT_TRUE(strip);
    const QSize smallest = f.minimumSize();
    // At its smallest and enlarged, the strip stays at the bottom below everything else.
    for (const QSize size : {smallest, smallest + QSize(300, 200)}) {
        f.resize(size);
        QCoreApplication::processEvents();
        ASSERT_EQ(f.size(), size);
        const int stripTop = f.height() - app::Classroom::StripHeight;
        EXPECT_EQ(strip->geometry(),
                  QRect(0, stripTop, smallest.width(), app::Classroom::StripHeight));
        for (QWidget *w : f.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (w == strip || w->isWindow() || !w->isVisibleTo(&f))
                continue;
            EXPECT_LE(w->geometry().bottom(), stripTop - 1) << w->objectName().toStdString();
            EXPECT_LE(w->geometry().right(), f.width() - 1) << w->objectName().toStdString();
        }
    }
    for (QWidget *w : strip->findChildren<QWidget *>())
        EXPECT_TRUE(strip->rect().contains(w->geometry())) << w->objectName().toStdString();
}

// Every pixel is one of the display's own colours: drawn at this size, not scaled.
std::set<QRgb> colours(const QImage &image)
{
    std::set<QRgb> found;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            found.insert(line[x] | 0xFF000000);
    }
    return found;
}

QRect bounds(const widgets::lcd::PolygonList &polygons)
{
    QPolygon all;
    for (const QPoint &p : polygons.points)
        all << p;
    return all.boundingRect();
}

TEST_F(ProjectorTest, TheDisplayIsRenderedAnewAtTheWindowsSize)
{
    app::TForm1 &f = open();
    app::ProjectorView view;
    view.copyLook(*f.Digits);
    view.setTime(QStringLiteral("01:07.0452"));
    const std::set<QRgb> palette = {0xFF000000, 0xFF00FF00, 0xFFFDFDFD, 0xFFBDBDBD};
    const struct
    {
        QSize window;
        int faceWidth;
    } rows[] = {{{1920, 1080}, 1920 - 2 * 27}, {{1280, 1024}, 1280 - 2 * 25}, {{800, 600}, 800 - 2 * 15}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.window.width());
        view.resize(row.window);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        widgets::TIAeverLiquidIndicator *d = view.display();
        EXPECT_EQ(d->width(), row.faceWidth);
        EXPECT_EQ(d->height(), row.faceWidth * 85 / 349);
        EXPECT_EQ(d->IndicatorWidth(), d->width());
        const QImage &picture = d->picture();
        EXPECT_EQ(picture.size(), d->size());
        EXPECT_EQ(colours(picture), palette);
        // The segments span the face: their polygons were laid out for this size.
        EXPECT_GT(bounds(d->litPolygons()).width(), row.faceWidth * 8 / 10);
        view.hide();
    }
}

TEST_F(ProjectorTest, LinesOfTextAreDrawnOnceAndThenOnlyCopied)
{
    app::ProjectorView view;
    view.resize(1280, 1024);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto *state = view.findChild<app::BigText *>(QStringLiteral("ProjectorState"));
    auto *last = view.findChild<app::BigText *>(QStringLiteral("ProjectorLastRun"));
    auto *stats = view.findChild<app::BigText *>(QStringLiteral("ProjectorStatistics"));
    ASSERT_TRUE(state && last && stats);
    view.repaint();
    const auto counts = [&] {
        return std::array<int, 3>{state->drawCount(), last->drawCount(), stats->drawCount()};
    };
    const std::array<int, 3> first = counts();

    app::ProjectorFigures one;
    one.last = protocol::Run{};
    one.last->ticks = 5000;
    one.last->meters = 0.3L;
    one.series = {QStringLiteral("Wagen A"), QStringLiteral("s = 0,300 m"), 1, 0.5L,
                  {QStringLiteral("v = 0,600 m/s")}};
    const struct
    {
        session::ArmedState state;
        app::ProjectorFigures summary;
        std::array<int, 3> drawn; // after the repaint, beyond the first
    } steps[] = {
        {session::ArmedState::NoPort, {}, {0, 0, 0}},  // as shown: nothing drawn anew
        {session::ArmedState::Running, {}, {1, 0, 0}},
        {session::ArmedState::Stopped, one, {2, 1, 1}},
        {session::ArmedState::Stopped, one, {2, 1, 1}},
        {session::ArmedState::ContactFault, one, {3, 1, 1}},
    };
    for (const auto &step : steps) {
        view.setArmedState(step.state);
        view.setFigures(step.summary);
        view.repaint();
        const std::array<int, 3> now = counts();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(now[i] - first[i], step.drawn[i]) << "line " << i;
        // The words show in their own colour: the strokes' insides have it exactly.
        const QImage shown = state->grab().toImage();
        bool found = false;
        for (int y = 0; y < shown.height() && !found; ++y)
            for (int x = 0; x < shown.width() && !found; ++x)
                found = (shown.pixel(x, y) | 0xFF000000) == session::armedStateColor(step.state).rgb();
        EXPECT_TRUE(found) << session::armedStateText(step.state).toStdString();
    }
    EXPECT_EQ(stats->text(), "Wagen A, s = 0,300 m:   1 Messung   Mittel 00:00.5000   v = 0,600 m/s");
    EXPECT_EQ(last->text(), "Letzte Messung: 00:00.5000   0,600 m/s");
}

} // namespace

TF_QT_TEST_MAIN
