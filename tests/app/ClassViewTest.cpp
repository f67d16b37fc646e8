#include "app/ClassView.h"
#include "app/ClassViewDialog.h"
#include "app/Classroom.h"
#include "app/CommLineSource.h"
#include "app/MainForm.h"
#include "app/ProjectorView.h"
#include "comm/CommTestSupport.h"
#include "comm/MyCommStatus.h"
#include "settings/Settings.h"
#include "widgets/ComboBox.h"
#include "widgets/QrCode.h"
#include "support/ConfigFolder.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/FakeSerialPort.h"
#include "support/MessagesRecorded.h"
#include "web/Browser.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

using comm::MS_CTS_ON;
using comm::MS_DSR_ON;

namespace {

// The main window on the modem-status component over a port that behaves like the
// kernel's driver, with the class view served on a free loopback port.
class ClassViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        port1 = ports.add(1);
        status = std::make_unique<comm::TMyCommStatus>();
        lines = std::make_unique<app::CommLineSource>(*status);
        form = std::make_unique<app::TForm1>(*lines);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        view = form->classroom()->classView();
        ASSERT_NE(view, nullptr);
        view->setOptions(testOptions());
    }

    void TearDown() override
    {
        form.reset();
        lines.reset();
        status.reset();
    }

    static web::ClassViewServer::Options testOptions(quint16 port = 0)
    {
        web::ClassViewServer::Options options;
        options.port = port;
        options.loopbackOnly = true;
        return options;
    }

    void openPort()
    {
        form->cmbPort->setItemIndexQuiet(1);
        form->cmbPortChange();
        ASSERT_EQ(form->cmbPort->currentIndex(), 1);
        // Until the watcher's first read the lines are unknown: a contact then is a fault.
        ASSERT_TRUE(waitFor([&] { return form->session().armedState() == session::ArmedState::Ready; }));
    }

    // The contacts set `word` at instant `at`, read by the watcher as the kernel wakes it.
    void contacts(std::uint32_t word, std::int64_t at)
    {
        ASSERT_TRUE(waitFor(
            [&] { return port1->waitingSinceLastSet() && status->watcher()->lookoutResting(); },
            false));
        clock.set(at);
        port1->set(word);
        ASSERT_TRUE(waitFor([&] { return clock.stampedAfter(port1->firstRead()); }, false));
        // Time goes on, so that the contact has lasted its minimum when the window looks.
        clock.advance(500);
    }

    // Two series between the barriers: "Wagen A" at 0,150 m twice, "Wagen B" at 0,300 m.
    void twoSeries()
    {
        session::Session &s = form->session();
        const auto run = [&](std::int64_t start, std::int64_t time) {
            s.contact1(start);
            s.contact2(start + time);
        };
        s.setLabel(QStringLiteral("Wagen A"));
        s.setDistance(0.15L);
        run(1'000'000, 5'000);
        run(2'000'000, 6'000);
        s.setLabel(QStringLiteral("Wagen B"));
        s.setDistance(0.3L);
        run(3'000'000, 4'000);
    }

    ConfigFolder config;
    FakeSerialPorts ports;
    WatcherClock clock;
    std::shared_ptr<FakeModemLines> port1;
    std::unique_ptr<comm::TMyCommStatus> status;
    std::unique_ptr<app::CommLineSource> lines;
    std::unique_ptr<app::TForm1> form;
    app::ClassView *view = nullptr;
    QStringList messages;
    MessagesRecorded recorded{messages};
};

// What the page receives: every text as the window formats it, German numbers included.
TEST_F(ClassViewTest, TheStateOfTwoSeriesCarriesTheWindowsTexts)
{
    platform::FixedLocale german = platform::FixedLocale::german();
    LocaleInstalled installed{german};
    twoSeries();
    const QByteArray armed = session::armedStateText(form->session().armedState()).toUtf8();
    EXPECT_FALSE(armed.isEmpty());
    const QByteArray json =
        web::toJson(app::ClassView::state(form->session(), QStringLiteral("00:00.4000"), 0));
    const struct
    {
        const char *text;
        bool present;
    } cases[] = {
        {R"x("running":false)x", true},
        {R"x("timeText":"00:00.4000")x", true},
        {R"x("seriesLabel":"Wagen B (s = 0,300 m)")x", true},
        {R"x("modeName":"Zwischen den Schranken")x", true},
        {R"x("resultText":"v = 0,750 m/s")x", true},
        {R"x("runColumns":["Nr.","Zeit","Strecke","v","Bezeichnung"])x", true},
        {R"x(["1","00:00.5000","0,150 m","0,300 m/s","Wagen A"])x", true},
        {R"x(["2","00:00.6000","0,150 m","0,250 m/s","Wagen A"])x", true},
        {R"x(["3","00:00.4000","0,300 m","0,750 m/s","Wagen B"])x", true},
        {R"x("decimalSeparator":",")x", true},
        {R"x(["Wagen A (s = 0,150 m): Mittelwert der Zeit in s","0,5500"])x", true},
        {R"x(["Wagen A (s = 0,150 m): Mittelwert der Geschwindigkeit in m/s","0,275"])x", true},
        {R"x(["Wagen B (s = 0,300 m): Standardabweichung der Zeit in s",""])x", true},
        {R"x("Alle)x", false}, // no mean across two distances
        {R"x(0.3)x", true},   // the chart's points are numbers for the script
        {R"x(0,3000)x", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(json.contains(c.text), c.present) << c.text << "\n" << json.constData();
    EXPECT_TRUE(json.contains(R"("armedText":")" + armed + '"')) << json.constData();
}

// The switch: remembered only when it took effect, the port freed when off, a taken port
// said in German, and the address on the projector and in the dialog while on.
TEST_F(ClassViewTest, SwitchingOnAndOffFreesThePortAndIsRemembered)
{
    // A port below the kernel's range for outgoing connections, so that no client of a
    // test running beside this one takes it between the stop and the new start.
    view->setOptions(testOptions(quint16(20000 + ::getpid() % 8000)));
    testing::internal::CaptureStderr();
    ASSERT_EQ(view->setOn(true), QString());
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(view->isOn());
    const quint16 port = view->server()->port();
    EXPECT_EQ(err, "Klassenansicht: " + view->url().toStdString() + "\n");
    EXPECT_TRUE(view->url().contains(QStringLiteral(":%1/?k=").arg(port)));
    EXPECT_TRUE(settings::LoadClassViewSettings().on);
    EXPECT_TRUE(view->checkBox()->isChecked());
    EXPECT_TRUE(view->action()->isChecked());

    // A second server on the taken port: German words, nothing switched or remembered.
    app::ClassView second(form->session(), {});
    second.setOptions(testOptions(port));
    const QString taken = second.setOn(true);
    EXPECT_TRUE(taken.contains(QString::number(port))) << taken.toStdString();
    EXPECT_FALSE(second.isOn());

    form->classroom()->toggleProjector();
    ASSERT_NE(form->classroom()->projector(), nullptr);
    EXPECT_EQ(form->classroom()->projector()->joinUrl(), view->url());
    app::ClassViewDialog *dialog = view->showAddress();
    EXPECT_EQ(dialog->qrCode()->text(), view->url());
    EXPECT_FALSE(dialog->qrCode()->matrix().isEmpty());

    view->checkBox()->click(); // the user switches it off
    EXPECT_FALSE(view->isOn());
    EXPECT_FALSE(view->action()->isChecked());
    EXPECT_FALSE(settings::LoadClassViewSettings().on);
    EXPECT_EQ(form->classroom()->projector()->joinUrl(), QString());
    EXPECT_EQ(dialog->url(), QString());
    form->classroom()->toggleProjector();

    // The port is free again: the second takes it, and remembered on it starts by itself.
    EXPECT_EQ(second.setOn(true), QString());
    EXPECT_EQ(second.server()->port(), port);
    second.setOn(false);
    settings::SaveClassViewSettings({true, port});
    app::ClassView third(form->session(), {});
    EXPECT_EQ(third.options().port, port);
    testing::internal::CaptureStderr();
    third.startIfRemembered();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(third.isOn());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

// The page served by the program in a real browser: the contacts fire on the port and the
// run appears; pictures at a phone's and a projector's size are kept for a look.
TEST_F(ClassViewTest, ABrowserSeesTheRunTheContactsMade)
{
    platform::FixedLocale german = platform::FixedLocale::german();
    LocaleInstalled installed{german};
    openPort();
    ASSERT_EQ(view->setOn(true), QString());
    const QString url = view->url().replace(QRegularExpression(QStringLiteral("//[^:/]+:")),
                                            QStringLiteral("//127.0.0.1:"));
    webtest::Browser browser;
    ASSERT_TRUE(browser.start(url)) << "chromium is not installed (scripts/install-deps.sh test)";
    ASSERT_TRUE(browser.attach());
    ASSERT_TRUE(browser.waitUntil(QStringLiteral("document.getElementById('link').textContent === 'verbunden'")));
    EXPECT_EQ(browser.evaluate(QStringLiteral("document.querySelectorAll('#runs tbody tr').length")).toInt(), 0);

    // The contacts at the instants the watcher stamps them; the window handles them as it
    // handles the port's report.
    form->session().setLabel(QStringLiteral("Wagen A"));
    const auto published = [&] {
        // The window publishes in its next turn of the event loop; the browser's calls do
        // not turn it.
        const quint64 before = view->server()->published();
        return waitFor([&] { return view->server()->published() > before; });
    };
    clock.set(2'000'000);
    form->session().contact1(2'000'000);
    ASSERT_TRUE(form->running());
    ASSERT_TRUE(published());
    ASSERT_TRUE(browser.waitUntil(QStringLiteral("document.getElementById('armed').textContent === '%1'")
                                      .arg(session::armedStateText(form->session().armedState()))));
    clock.set(2'012'345);
    form->session().contact2(2'012'345);
    ASSERT_FALSE(form->running());
    ASSERT_TRUE(published());
    ASSERT_TRUE(browser.waitUntil(QStringLiteral("document.querySelectorAll('#runs tbody tr').length === 1")));
    EXPECT_EQ(browser.evaluate(QStringLiteral("[...document.querySelectorAll('#runs tbody tr td')]"
                                              ".map(c => c.textContent).join('|')")).toString(),
              QStringLiteral("1|00:01.2345|0,150 m|0,122 m/s|Wagen A"));
    EXPECT_EQ(browser.evaluate(QStringLiteral("document.getElementById('time').textContent")).toString(),
              QStringLiteral("00:01.2345"));

    const QString shots = QStringLiteral(TF_CLASSVIEW_SHOTS);
    QDir().mkpath(shots);
    for (const auto &[w, h, mobile] : {std::tuple{390, 844, true}, std::tuple{1920, 1080, false}}) {
        const QByteArray png = browser.screenshot(w, h, mobile);
        EXPECT_EQ(QImage::fromData(png).width(), w);
        QFile file(QStringLiteral("%1/program-%2x%3.png").arg(shots).arg(w).arg(h));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(png);
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

} // namespace

int main(int argc, char **argv)
{
    // The window loads and saves its settings: keep them away from everybody else's.
    const ConfigFolder config;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
