#include "app/CommLineSource.h"
#include "app/ExceptionHandler.h"
#include "app/MainForm.h"
#include "comm/CommTestSupport.h"
#include "comm/MyCommStatus.h"
#include "comm/SerialLookout.h"
#include "protocol/ProtocolExport.h"
#include "widgets/ComboBox.h"
#include "widgets/IAgaloLED.h"
#include "support/ConfigFolder.h"
#include "support/FakeSerialPort.h"
#include "support/MessagesRecorded.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using comm::MS_CTS_ON;
using comm::MS_DSR_ON;

namespace {

// The main window on the modem-status component, with contacts wired to a fake port.
class CommWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port1 = ports.add(1);
        status = std::make_unique<comm::TMyCommStatus>();
        lines = std::make_unique<app::CommLineSource>(*status);
        form = std::make_unique<app::TForm1>(*lines);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->cmbPort->setItemIndexQuiet(1);
        form->cmbPortChange();
        ASSERT_EQ(form->cmbPort->currentIndex(), 1);
    }

    void TearDown() override
    {
        form.reset();
        lines.reset();
        status.reset();
    }

    // The contacts set `word` at instant `at`. The watcher reads it; then the user-interface
    // thread stays busy for 50 ms, while the time runs on, before it handles the report.
    void contacts(std::uint32_t word, std::int64_t at, std::int64_t busyTicks)
    {
        // The watcher waits on the lines as they are and the lookout is done with that
        // wait: only the kernel's wake ends it, so the change is read as it happens.
        ASSERT_TRUE(waitFor(
            [&] { return port1->waitingSinceLastSet() && status->watcher()->lookoutResting(); },
            false));
        clock.set(at);
        port1->set(word);
        ASSERT_TRUE(waitFor([&] { return clock.stampedAfter(port1->firstRead()); }, false));
        QThread::msleep(50);
        clock.advance(busyTicks);
    }

    // A session of the test's own: a window opens the last one it finds.
    ConfigFolder config;
    FakeSerialPorts ports;
    WatcherClock clock;
    std::shared_ptr<FakeModemLines> port1;
    std::unique_ptr<comm::TMyCommStatus> status;
    std::unique_ptr<app::CommLineSource> lines;
    std::unique_ptr<app::TForm1> form;
    QStringList messages;
    MessagesRecorded recorded{messages};
};

TEST_F(CommWindowTest, ContactsTimeTheRunByTheInstantsTheLinesChanged)
{
    contacts(MS_DSR_ON, 2'000'000, 500);
    ASSERT_TRUE(waitFor([&] { return form->running(); }));
    EXPECT_EQ(form->startTicks(), 2'000'000);

    contacts(MS_DSR_ON | MS_CTS_ON, 2'012'345, 1'200);
    ASSERT_TRUE(waitFor([&] { return !form->running(); }));
    EXPECT_EQ(form->stopTicks(), 2'012'345);
    ASSERT_EQ(form->Prot->model()->rowCount(), 1);
    // Both changes were seen by the kernel's wait: the time carries no mark.
    EXPECT_FALSE(form->runs().at(0).late);
    EXPECT_EQ(form->Prot->model()->index(0, 1).data().toString(), "00:01.2345");
    EXPECT_EQ(form->led4->LedPlasticColor(), 0x0000FF00u);
    EXPECT_EQ(form->led7->LedPlasticColor(), 0x0000FF00u);

    // Keys still take the time when they are handled.
    clock.set(3'000'000);
    form->DoContact1();
    EXPECT_EQ(form->startTicks(), 3'000'000);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(CommWindowTest, PortThatCannotBeOpenedFallsBackToNone)
{
    form->cmbPort->setItemIndexQuiet(2);
    form->cmbPortChange();
    EXPECT_EQ(form->cmbPort->currentIndex(), 0);
    EXPECT_FALSE(status->Active());
    EXPECT_EQ(status->Comm(), 2);
    for (widgets::TIAgaloLED *led : {form->led4, form->led6, form->led7, form->led8})
        EXPECT_EQ(led->LedPlasticColor(), 0x00000080u);
}

// An error in the line evaluation (here the time base without a counter frequency) stops
// the watching of the port: it is closed, the selector falls back and the window says why;
// keys and buttons keep working, and the port chosen again times runs.
TEST_F(CommWindowTest, ErrorDuringALineReportClosesThePortWithAMessage)
{
    clock.setFrequency(0);
    port1->set(MS_DSR_ON);
    ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
    EXPECT_FALSE(status->Active());
    EXPECT_EQ(form->cmbPort->currentIndex(), 0);
    EXPECT_FALSE(form->running());
    EXPECT_EQ(messages, QStringList{"The contacts on COM1 are no longer watched after an error "
                                    "(Floating point division by zero); the port has been "
                                    "closed. Choose it again to go on."});
    ASSERT_TRUE(waitFor([&] { return port1->openPorts() == 0; }));

    clock.setFrequency(10'000);
    form->DoContact1();
    EXPECT_TRUE(form->running());
    form->DoReset();
    port1->set(0);
    form->cmbPort->setItemIndexQuiet(1);
    form->cmbPortChange();
    ASSERT_TRUE(status->Active());
    contacts(MS_DSR_ON, 3'000'000, 0);
    ASSERT_TRUE(waitFor([&] { return form->running(); }));
    EXPECT_EQ(form->startTicks(), 3'000'000);
}

// A contact whose change slipped in just before the driver's wait is found by the
// lookout: the run is timed by it, and the protocol says that its time is doubtful.
TEST_F(CommWindowTest, ARunTimedByALateInstantSaysSoInTheListAndTheExport)
{
    contacts(MS_DSR_ON, 2'000'000, 0);
    ASSERT_TRUE(waitFor([&] { return form->running(); }));
    const auto waits = port1->waitsStarted();
    clock.set(2'020'000);
    port1->beforeNextWait([&] { port1->set(MS_DSR_ON | MS_CTS_ON); });
    ASSERT_TRUE(waitFor([&] { return port1->waitsStarted() > waits; }, false));
    ASSERT_TRUE(waitFor([&] { return !form->running(); }));
    ASSERT_EQ(form->Prot->model()->rowCount(), 1);
    // The time carries the mark that the tooltip explains.
    EXPECT_EQ(form->Prot->model()->index(0, 1).data().toString(), "00:02.0000*");
    for (int c = 0; c < 4; ++c) {
        const QString tip = form->Prot->model()->index(0, c).data(Qt::ToolTipRole).toString();
        EXPECT_TRUE(tip.contains(u"verspätet")) << c;
        EXPECT_TRUE(tip.startsWith(u'*')) << c;
    }

    // An exact run right after it carries no note.
    contacts(0, 2'100'000, 0);
    ASSERT_TRUE(waitFor([&] { return !status->ClearToSend() && !status->DataSetReady(); }));
    contacts(MS_DSR_ON, 2'101'000, 0);
    ASSERT_TRUE(waitFor([&] { return form->running(); }));
    contacts(MS_DSR_ON | MS_CTS_ON, 2'111'000, 0);
    ASSERT_TRUE(waitFor([&] { return form->Prot->model()->rowCount() == 2; }));
    EXPECT_TRUE(form->Prot->model()->index(1, 1).data(Qt::ToolTipRole).toString().isEmpty());
    EXPECT_EQ(form->Prot->model()->index(1, 1).data().toString(), "00:01.0000");

    const QStringList lines =
        protocol::exportText(form->protocolRows()).split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[4].mid(25, 15), QStringLiteral("00:02.0000*    "));
    EXPECT_EQ(lines[5].mid(25, 15), QStringLiteral("00:01.0000     "));
    EXPECT_EQ(lines[4].size(), lines[5].size());
}

// The line source states, in seconds, how far the change may lie from its instant: what
// the read states for a change the wait saw, and a larger figure for one that it slept
// through and the lookout found, which may lie up to the lookout's first look and its
// grace before the read.
TEST_F(CommWindowTest, TheLineSourceStatesEachInstantsUncertaintyInSeconds)
{
    struct Seen
    {
        bool late;
        double uncertainty;
        std::int64_t statedNs;
    };
    std::vector<Seen> seen;
    lines->setOnChanged([&] {
        if (const std::optional<comm::TMyCommInstant> at = status->changeInstant())
            seen.push_back({lines->changeLate(), lines->changeUncertainty(), at->uncertaintyNs});
    });
    ASSERT_TRUE(waitFor([&] { return port1->waitingSinceLastSet(); }));
    port1->set(MS_DSR_ON);
    ASSERT_TRUE(waitFor([&] { return seen.size() == 1; }));
    ASSERT_TRUE(waitFor([&] { return port1->waitingSinceLastSet(); }));
    port1->beforeNextWait([&] { port1->set(MS_DSR_ON | MS_CTS_ON); });
    port1->set(0);
    ASSERT_TRUE(waitFor([&] { return seen.size() == 3; }));

    const double slept = double(comm::SerialLookout::FirstLookNs + comm::SerialLookout::GraceNs) / 1e9;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].late, i == 2);
        EXPECT_GT(seen[i].uncertainty, 0.0);
        EXPECT_DOUBLE_EQ(seen[i].uncertainty, double(seen[i].statedNs) / 1e9);
    }
    EXPECT_GE(seen[2].uncertainty, slept);
    // Outside a report there is nothing to state.
    EXPECT_EQ(lines->changeUncertainty(), 0.0);
    EXPECT_FALSE(lines->changeLate());
}

TEST_F(CommWindowTest, APulledAdapterEndsTheRunAndTheSelectorFallsBackWithAMessage)
{
    contacts(MS_DSR_ON, 2'000'000, 0);
    ASSERT_TRUE(waitFor([&] { return form->running(); }));
    port1->unplug();
    ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
    EXPECT_EQ(form->cmbPort->currentIndex(), 0);
    EXPECT_FALSE(form->running());
    EXPECT_FALSE(status->Active());
    for (widgets::TIAgaloLED *led : {form->led4, form->led6, form->led7, form->led8})
        EXPECT_EQ(led->LedPlasticColor(), 0x00000080u);
    EXPECT_EQ(messages, QStringList{"The adapter of COM1 was removed; the port has been closed."});

    // Plugged in and chosen again, it times runs as before, and the choice says nothing.
    port1->replug();
    port1->set(0);
    form->cmbPort->setItemIndexQuiet(1);
    form->cmbPortChange();
    EXPECT_EQ(form->cmbPort->currentIndex(), 1);
    contacts(MS_DSR_ON, 3'000'000, 0);
    EXPECT_TRUE(waitFor([&] { return form->running(); }));
    // Every report has been handled, and what the window posted in turn as well.
    ASSERT_TRUE(waitFor([&] { return !status->watcher()->delivering(); }));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(CommWindowTest, AChoiceThatCannotBeOpenedIsExplainedOnce)
{
    form->cmbPort->setItemIndexQuiet(2);
    form->cmbPortChange();
    EXPECT_EQ(form->cmbPort->currentIndex(), 0);
    // The message goes out through the event queue, once it is handled.
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(messages, QStringList{"COM2 cannot be opened: there is no such device."});
    // The window's own later line evaluations add nothing.
    form->cmbPortClick();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(messages.size(), 1);
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
