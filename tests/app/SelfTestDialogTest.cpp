#include "app/SelfTestDialog.h"
#include "app/SelfTestText.h"
#include "comm/CommTestSupport.h"
#include "comm/MyCommStatus.h"
#include "platform/Locale.h"
#include "support/FakeSerialPort.h"
#include "support/QtTestMain.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

// Separators as in a German locale, whatever the test runs under.
class GermanLocale final : public platform::Locale
{
public:
    GermanLocale() { platform::setLocale(this); }
    ~GermanLocale() override { platform::setLocale(nullptr); }
    QChar decimalSeparator() const override { return u','; }
    QChar thousandSeparator() const override { return u'.'; }
    QString shortDate(const QDate &date) const override { return date.toString(u"dd.MM.yyyy"); }
    QString longTime(const QTime &time) const override { return time.toString(u"HH:mm:ss"); }
};

comm::SelfTestLine line(double median, double p99, double max, int edges = 150)
{
    return {edges, median, p99, max};
}

comm::SelfTestResult loop(comm::SelfTestLine dsr, comm::SelfTestLine cts, int latencyMs = -1)
{
    comm::SelfTestResult r;
    r.loopback = true;
    r.dsr = dsr;
    r.cts = cts;
    r.systematicUs = cts.medianUs - dsr.medianUs;
    r.latencyMs = latencyMs;
    r.buffering = latencyMs > 1;
    return r;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

// What the user reads for each kind of result: every line is checked for what it must say
// and what it must not.
TEST(SelfTestText, SaysWhatTheResultMeansForTheLastDigit)
{
    GermanLocale german;
    comm::SelfTestResult none;
    comm::SelfTestResult noneBuffering;
    noneBuffering.latencyMs = 16;
    noneBuffering.buffering = true;
    const struct
    {
        const char *what;
        comm::SelfTestResult result;
        QStringList says;
        QStringList never;
    } rows[] = {
        {"no loopback", none,
         {"kein Prüfstecker", "DTR mit DSR (Pin 4 mit Pin 6)", "RTS mit CTS (Pin 7 mit Pin 8)",
          "beide Kontakte"},
         {"Median", "Latenz", "Nachkommastelle"}},
        {"no loopback on a buffering adapter", noneBuffering,
         {"Pin 4 mit Pin 6", "hält Änderungen zurück (Latenz-Timer 16 ms)"}, {"Median"}},
        {"paths alike, quick", loop(line(30, 45, 80), line(35, 50, 90), 1),
         {"Kontakt 1 (DTR → DSR): Median 0,030 ms, 99 % 0,045 ms, höchstens 0,080 ms (150 Wechsel)",
          "Kontakt 2 (RTS → CTS): Median 0,035 ms, 99 % 0,050 ms, höchstens 0,090 ms",
          "gleich schnell erfasst (Unterschied 0,005 ms)", "nicht zurück (Latenz-Timer 1 ms)",
          "Die vierte Nachkommastelle (0,1 ms) ist verlässlich."},
         {"unsicher", "später", "Pin"}},
        {"2 ms held on CTS", loop(line(30, 45, 80), line(2030, 2050, 2100)),
         {"Kontakt 2 wird im Mittel 2,000 ms später erfasst als Kontakt 1",
          "in jede Zeit zwischen den beiden Kontakten", "kein Zurückhalten",
          "ist um bis zu 21 unsicher (eine Zeit zwischen den Kontakten um bis zu 2,020 ms)"},
         {"verlässlich", "gleich schnell"}},
        {"DSR the slower path", loop(line(500, 520, 600), line(100, 120, 200)),
         {"im Mittel 0,400 ms früher", "um bis zu 5 unsicher"}, {"später"}},
        {"alike but jittery", loop(line(30, 900, 1500), line(30, 300, 400)),
         {"gleich schnell", "um bis zu 9 unsicher (eine Zeit zwischen den Kontakten um bis zu 0,870 ms)"},
         {"verlässlich"}},
        {"an FTDI adapter at 16 ms", loop(line(8000, 16000, 16100), line(8100, 16000, 16050), 16),
         {"hält Änderungen zurück (Latenz-Timer 16 ms). Mit 1 ms", "um bis zu 81 unsicher"},
         {"verlässlich"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const QString text = app::selfTestText(row.result);
        for (const QString &part : row.says)
            EXPECT_TRUE(text.contains(part)) << text.toStdString() << "\nlacks: " << part.toStdString();
        for (const QString &part : row.never)
            EXPECT_FALSE(text.contains(part)) << text.toStdString() << "\nhas: " << part.toStdString();
    }
}

// The adapter is named by its serial/by-id link where it has one, else by its device, and
// by its port number where the driver names no device.
TEST(SelfTestStore, NamesTheAdapterByItsIdentity)
{
    QTemporaryDir dev;
    ASSERT_TRUE(QDir(dev.path()).mkpath(QStringLiteral("serial/by-id")));
    writeFile(dev.filePath(QStringLiteral("ttyUSB0")), {});
    writeFile(dev.filePath(QStringLiteral("ttyUSB1")), {});
    ASSERT_TRUE(QFile::link(dev.filePath(QStringLiteral("ttyUSB0")),
                            dev.filePath(QStringLiteral("serial/by-id/usb-FTDI_FT232R_A9XYZ-if00-port0"))));
    comm::SerialPortFacts facts;
    EXPECT_EQ(app::adapterIdentity(facts, 2, dev.path()), QStringLiteral("COM 2"));
    facts.device = dev.filePath(QStringLiteral("ttyUSB0"));
    EXPECT_EQ(app::adapterIdentity(facts, 1, dev.path()),
              QStringLiteral("by-id/usb-FTDI_FT232R_A9XYZ-if00-port0"));
    facts.device = dev.filePath(QStringLiteral("ttyUSB1"));
    EXPECT_EQ(app::adapterIdentity(facts, 1, dev.path()), facts.device);
}

// Each adapter's result comes back as it was kept; a damaged file counts as none and is
// replaced whole by the next result; the oldest adapter goes beyond the bound.
TEST(SelfTestStore, KeepsEachAdaptersResultAndSurvivesADamagedFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("conf/selbsttest.json"));
    app::SelfTestStore store(path);
    EXPECT_TRUE(store.read().isEmpty());
    EXPECT_FALSE(store.damaged());

    const QDateTime when(QDate(2026, 3, 4), QTime(10, 11, 12, 345));
    const comm::SelfTestResult a = loop(line(31.5, 47.25, 80, 150), line(2031, 2050.5, 2100, 149), 16);
    const comm::SelfTestResult b = loop(line(12, 20, 30), line(13, 21, 31), 1);
    EXPECT_EQ(store.keep(QStringLiteral("by-id/usb-A"), {when, a}), QString());
    EXPECT_EQ(store.keep(QStringLiteral("COM 2"), {when.addSecs(60), b}), QString());
    const auto check = [&](const QString &adapter, const QDateTime &at, const comm::SelfTestResult &r) {
        SCOPED_TRACE(adapter.toStdString());
        const std::optional<app::KeptSelfTest> kept = app::SelfTestStore(path).find(adapter);
        ASSERT_TRUE(kept.has_value());
        EXPECT_EQ(kept->when, at);
        EXPECT_EQ(app::selfTestText(kept->result), app::selfTestText(r));
        EXPECT_EQ(kept->result.latencyMs, r.latencyMs);
        EXPECT_EQ(kept->result.buffering, r.buffering);
        EXPECT_DOUBLE_EQ(kept->result.systematicUs, r.systematicUs);
        EXPECT_EQ(kept->result.cts.edges, r.cts.edges);
        EXPECT_DOUBLE_EQ(kept->result.cts.p99Us, r.cts.p99Us);
    };
    check(QStringLiteral("by-id/usb-A"), when, a);
    check(QStringLiteral("COM 2"), when.addSecs(60), b);
    EXPECT_FALSE(store.find(QStringLiteral("COM 1")).has_value());
    // Only the file itself is left: the temporaries are gone.
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("conf"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("selbsttest.json")});

    const QByteArray damaged[] = {
        "{", "[]", "\x00\xff\xfe junk", "",
        R"({"adapters":{"COM 1":{"when":"2026-03-04T10:11:12","loopback":true,"dsr":[1,2,3]}}})",
        R"({"adapters":{"COM 1":{"when":"gestern","systematicUs":1,"dsr":[1,2,3,4],"cts":[1,2,3,4]}}})",
        QByteArray(100'000, '{'),
    };
    for (const QByteArray &bytes : damaged) {
        SCOPED_TRACE(bytes.left(40).toStdString());
        writeFile(path, bytes);
        app::SelfTestStore again(path);
        EXPECT_TRUE(again.read().isEmpty());
        EXPECT_TRUE(again.damaged());
        EXPECT_EQ(again.keep(QStringLiteral("COM 1"), {when, b}), QString());
        EXPECT_FALSE(again.damaged());
        EXPECT_EQ(app::SelfTestStore(path).read().keys(), QStringList{QStringLiteral("COM 1")});
    }

    for (int i = 0; i < app::SelfTestStore::MaxAdapters + 3; ++i)
        ASSERT_EQ(store.keep(QStringLiteral("COM %1").arg(i + 10), {when.addSecs(i), b}), QString());
    const QMap<QString, app::KeptSelfTest> all = store.read();
    EXPECT_EQ(all.size(), app::SelfTestStore::MaxAdapters);
    EXPECT_FALSE(all.contains(QStringLiteral("COM 1")));
    EXPECT_FALSE(all.contains(QStringLiteral("COM 12")));
    EXPECT_TRUE(all.contains(QStringLiteral("COM 13")));

    EXPECT_FALSE(app::SelfTestStore(QString()).keep(QStringLiteral("COM 1"), {when, b}).isEmpty());
}

// The dialog on the real widget over the fake port's loopback: it finds 2 ms held on CTS,
// keeps the result for the adapter and shows it again when opened anew; the window hears
// nothing of the switched lines. Without a loopback it says what to plug; without a port,
// to choose one.
TEST(SelfTestDialog, RunsOnTheOpenPortAndShowsTheKeptResult)
{
    GermanLocale german;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("selbsttest.json"));
    {
        app::SelfTestDialog dialog(nullptr, nullptr, app::SelfTestStore(path));
        EXPECT_TRUE(dialog.text().contains(QStringLiteral("kein Anschluss geöffnet")));
        dialog.runTest();
        EXPECT_FALSE(dialog.lastResult().has_value());
    }

    FakeSerialPorts ports;
    std::shared_ptr<FakeModemLines> lines = ports.add(1);
    comm::TMyCommStatus status;
    int changes = 0;
    status.setOnChanged([&](QObject *) { ++changes; });

    // A port, but nothing plugged.
    status.ChangePort(1);
    ASSERT_TRUE(status.Active());
    {
        app::SelfTestDialog dialog(&status, nullptr, app::SelfTestStore(path), 40);
        EXPECT_EQ(dialog.adapter(), QStringLiteral("COM 1"));
        EXPECT_TRUE(dialog.text().contains(QStringLiteral("noch kein Ergebnis")));
        dialog.runTest();
        ASSERT_TRUE(dialog.lastResult().has_value());
        EXPECT_FALSE(dialog.lastResult()->loopback);
        EXPECT_TRUE(dialog.text().contains(QStringLiteral("Pin 7 mit Pin 8")));
        EXPECT_FALSE(QFile::exists(path)) << "nothing to keep";
    }

    // A plug on another adapter, wired before it opens, as one plugs it.
    std::shared_ptr<FakeModemLines> plugged = ports.add(2);
    plugged->setLoopback(true, 2'000'000);
    status.ChangePort(2);
    ASSERT_TRUE(status.Active());
    QCoreApplication::processEvents();
    QString shown;
    {
        ASSERT_TRUE(waitFor([&] { return status.DataSetReady() && status.ClearToSend(); }))
            << "the plug feeds the inputs";
        const int before = changes;
        app::SelfTestDialog dialog(&status, nullptr, app::SelfTestStore(path), 60);
        dialog.show();
        dialog.findChild<QPushButton *>(QStringLiteral("btnStarten"))->click();
        ASSERT_TRUE(dialog.lastResult().has_value());
        const comm::SelfTestResult result = *dialog.lastResult();
        EXPECT_TRUE(result.loopback);
        EXPECT_EQ(result.dsr.edges, 30);
        EXPECT_EQ(result.cts.edges, 30);
        EXPECT_GE(result.systematicUs, 1500.0);
        shown = dialog.text();
        EXPECT_TRUE(shown.contains(QStringLiteral("später erfasst als Kontakt 1"))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("unsicher")));
        EXPECT_EQ(changes, before) << "the switched lines are no runs";
        EXPECT_TRUE(status.OnChanged()) << "the window's handler is back";

        dialog.adjustSize();
        const QImage picture = dialog.grab().toImage();
        ASSERT_TRUE(QDir().mkpath(TF_SCREENSHOT_DIR));
        EXPECT_TRUE(picture.save(TF_SCREENSHOT_DIR "/selftest-result.png"));
    }
    app::SelfTestDialog again(&status, nullptr, app::SelfTestStore(path));
    EXPECT_TRUE(again.text().startsWith(QStringLiteral("Zuletzt geprüft am "))) << again.text().toStdString();
    EXPECT_TRUE(again.text().endsWith(shown)) << again.text().toStdString();
    status.ChangePort(0);
}

TF_QT_TEST_MAIN
