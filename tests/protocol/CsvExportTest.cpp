#include "protocol/CsvExport.h"
#include "protocol/ExportFile.h"
#include "protocol/RunCsv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <clocale>
#include <string>

using protocol::CsvConvention;

namespace {

const QDate Day(2026, 12, 6);
const QTime At(14, 3, 27);
const CsvConvention German{u';', u','};
const CsvConvention Plain{u',', u'.'};
const QByteArray Bom("\xEF\xBB\xBF");

protocol::Run run(QDate date, QTime time, std::optional<timing::Ticks> ticks, long double meters,
                  QString label = {}, bool late = false, double uncertaintyMs = 0)
{
    protocol::Run r;
    r.date = date;
    r.time = time;
    r.ticks = ticks;
    r.meters = meters;
    r.label = std::move(label);
    r.late = late;
    r.uncertaintyMs = uncertaintyMs;
    return r;
}

// A run a key or button timed.
protocol::Run hand(protocol::Run r)
{
    r.manual = true;
    return r;
}

// The runs of the protocol's examples: 1.2345 s (found late), one tick, zero distance,
// and a run whose stop was not after its start; labels that need quoting.
const QList<protocol::Run> ExampleRuns = {
    run(Day, At, 12345, 0.15L, "Wagen A", true, 0.5),
    run(Day, QTime(14, 5, 0), 1, 0.15L, "Wagen; B", false, 0.001),
    run(Day, QTime(9, 0, 1), 5, 0, "\"C\", leicht"),
    hand(run(QDate(2027, 1, 1), QTime(0, 0, 0), std::nullopt, 0.15L)),
};

const QByteArray GermanCsv =
    "Datum/Zeit;Stoppuhrzeit (s);Entfernung (m);Geschwindigkeit (m/s);Unsicherheit (ms);"
    "Verspätet erkannt;Bezeichnung;Messart;Von Hand\r\n"
    "2026-12-06T14:03:27;1,2345;0,150;0,122;0,500;*;Wagen A;0;\r\n"
    "2026-12-06T14:05:00;0,0001;0,150;1500,000;0,001;;\"Wagen; B\";0;\r\n"
    "2026-12-06T09:00:01;0,0005;0,000;0,000;0,000;;\"\"\"C\"\", leicht\";0;\r\n"
    "2027-01-01T00:00:00;;;;;;;0;H\r\n";

const QByteArray PlainCsv =
    "Datum/Zeit,Stoppuhrzeit (s),Entfernung (m),Geschwindigkeit (m/s),Unsicherheit (ms),"
    "Verspätet erkannt,Bezeichnung,Messart,Von Hand\r\n"
    "2026-12-06T14:03:27,1.2345,0.150,0.122,0.500,*,Wagen A,0,\r\n"
    "2026-12-06T14:05:00,0.0001,0.150,1500.000,0.001,,Wagen; B,0,\r\n"
    "2026-12-06T09:00:01,0.0005,0.000,0.000,0.000,,\"\"\"C\"\", leicht\",0,\r\n"
    "2027-01-01T00:00:00,,,,,,,0,H\r\n";

// Fields outside quotes, as a CSV reader splits the line.
int fieldCount(const QByteArray &line, char separator)
{
    int fields = 1;
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == separator && !quoted)
            ++fields;
    }
    return fields;
}

} // namespace

TEST(CsvExport, ConventionFollowsTheDecimalSeparator)
{
    EXPECT_EQ(CsvConvention::forDecimalSeparator(u','), German);
    EXPECT_EQ(CsvConvention::forDecimalSeparator(u'.'), Plain);
    EXPECT_EQ(CsvConvention::forDecimalSeparator(u'٫'), Plain);
    EXPECT_TRUE(protocol::isCsvFileName("runs.CSV"));
    EXPECT_FALSE(protocol::isCsvFileName("runs.csv.txt"));
}

TEST(CsvExport, ExampleRunsInBothConventions)
{
    EXPECT_EQ(protocol::csvBytes(ExampleRuns, German), Bom + GermanCsv);
    EXPECT_EQ(protocol::csvBytes(ExampleRuns, Plain), Bom + PlainCsv);
    EXPECT_EQ(protocol::csvBytes({}, German), Bom + GermanCsv.left(GermanCsv.indexOf('\n') + 1));
}

TEST(CsvExport, LongRunsNegativeDistancesAndHugeValuesStayOneFieldEach)
{
    const QList<protocol::Run> runs = {
        // 2 h 3 min: minutes past 59 become seconds, not a clock time.
        run(Day, At, 73'800'000LL + 1234, 1.5L),
        run(Day, At, 10000, -2.5L),
        // Beyond ten integer digits the numbers turn scientific.
        run(Day, At, 1, 1e12L),
    };
    // The program runs in the user's locale, whose C library may write "1,5e+15".
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    for (const CsvConvention convention : {German, Plain}) {
        const QList<QByteArray> lines = protocol::csvBytes(runs, convention).split('\n');
        ASSERT_EQ(lines.size(), 5);
        const char s = char(convention.separator.unicode());
        const char d = char(convention.decimal.unicode());
        EXPECT_EQ(lines[1], QByteArray("2026-12-06T14:03:27|7380#1234|1#500|0#000|0#000|||0|\r")
                                .replace('|', s)
                                .replace('#', d));
        EXPECT_EQ(lines[2], QByteArray("2026-12-06T14:03:27|1#0000|-2#500|-2#500|0#000|||0|\r")
                                .replace('|', s)
                                .replace('#', d));
        EXPECT_EQ(fieldCount(lines[3], s), 9) << lines[3].constData();
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

// A mode's further values follow the label, each with its uncertainty; runs without one
// leave its fields empty, and all of it reads back.
TEST(CsvExport, ExtraValuesGetColumnsAndReadBack)
{
    protocol::Run a = ExampleRuns[0];
    a.extra = {{"v1", "m/s", 1.25L, 0.004L, 3}, {"a", "m/s²", -9.8L, 0.05L, 2}};
    protocol::Run b = ExampleRuns[1];
    b.extra = {{"t2", "s", 0.5L, 0.0001L, 4}};
    const QList<protocol::Run> runs = {a, b, ExampleRuns[3]};
    const QList<QByteArray> lines = protocol::csvBytes(runs, German).split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].endsWith(";Bezeichnung;Messart;Von Hand;v1 (m/s);Unsicherheit v1 (m/s);a (m/s²);"
                                  "Unsicherheit a (m/s²);t2 (s);Unsicherheit t2 (s)\r"));
    EXPECT_TRUE(lines[1].endsWith(";Wagen A;0;;1,250;0,004;-9,80;0,05;;\r")) << lines[1].constData();
    EXPECT_TRUE(lines[2].endsWith(";;;;;0,5000;0,0001\r")) << lines[2].constData();
    for (const CsvConvention convention : {German, Plain}) {
        const QList<protocol::Run> back = protocol::readCsv(protocol::csvBytes(runs, convention));
        ASSERT_EQ(back.size(), 3);
        // A value the run has not (its fields empty) is left out.
        for (int r = 0; r < 2; ++r) {
            const QList<protocol::RunValue> &want = runs[r].extra;
            ASSERT_EQ(back[r].extra.size(), want.size()) << r;
            for (qsizetype i = 0; i < want.size(); ++i) {
                EXPECT_EQ(back[r].extra[i].name, want[i].name);
                EXPECT_EQ(back[r].extra[i].decimals, want[i].decimals);
                EXPECT_DOUBLE_EQ(double(*back[r].extra[i].value), double(*want[i].value));
                EXPECT_DOUBLE_EQ(double(back[r].extra[i].uncertainty), double(want[i].uncertainty));
            }
        }
        EXPECT_TRUE(back[2].extra.isEmpty());
    }
}

// What the file says comes back: times to the tick, marks, labels, dates; the distance
// to its three decimals; in either convention, whatever the reader's own.
TEST(CsvExport, FilesReadBackInEitherConvention)
{
    for (const QByteArray &bytes : {GermanCsv, PlainCsv}) {
        const QList<protocol::Run> back = protocol::readCsv(bytes);
        ASSERT_EQ(back.size(), ExampleRuns.size());
        for (int i = 0; i < back.size(); ++i) {
            const protocol::Run &want = ExampleRuns[i];
            EXPECT_EQ(back[i].date, want.date) << i;
            EXPECT_EQ(back[i].time, want.time) << i;
            EXPECT_EQ(back[i].ticks, want.ticks) << i;
            EXPECT_EQ(back[i].late, want.late) << i;
            EXPECT_EQ(back[i].label, want.label) << i;
            EXPECT_DOUBLE_EQ(back[i].uncertaintyMs, want.uncertaintyMs) << i;
            if (want.ticks) {
                EXPECT_EQ(double(back[i].meters), double(want.meters)) << i;
            }
        }
        // Written again, byte for byte.
        EXPECT_EQ(protocol::csvBytes(back, bytes == GermanCsv ? German : Plain), Bom + bytes);
    }
    // Not CSV of ours: nothing, and no crash.
    for (const QByteArray &junk : {QByteArray(), QByteArray("a;b\r\n1;2"),
                                   QByteArray("Datum/Zeit;x\r\nnonsense;\"unclosed\r\n"),
                                   QByteArray("Datum/Zeit\r\n2026-12-06T14:03:27")})
        EXPECT_TRUE(protocol::readCsv(junk).isEmpty()) << junk.constData();
    // A header line in between (the journal's, when a run's values change) takes over.
    const QList<protocol::Run> mixed = protocol::readCsv(GermanCsv + PlainCsv);
    ASSERT_EQ(mixed.size(), 8);
    EXPECT_EQ(mixed[5].label, "Wagen; B");
    const auto layout = protocol::lastCsvLayout(GermanCsv + PlainCsv);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->convention, Plain);
}

// Python's csv module reads both conventions with the separator named, and the standard
// library takes every value as a date or a number once the decimal comma is a point.
TEST(CsvExport, PythonsCsvModuleReadsBothConventions)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    QTemporaryDir dir;
    const QString script = QStringLiteral(R"(
import csv, datetime, sys
sep = sys.argv[2]
with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:
    rows = list(csv.reader(f, delimiter=sep))
print(rows[0])
for r in rows[1:]:
    when = datetime.datetime.fromisoformat(r[0])
    number = lambda v: float(v.replace(',', '.')) if sep == ';' else float(v)
    values = [number(v) if v else None for v in r[1:5]]
    print(when.isoformat(), values, r[5:])
)");
    const QByteArray expected =
        "['Datum/Zeit', 'Stoppuhrzeit (s)', 'Entfernung (m)', 'Geschwindigkeit (m/s)', "
        "'Unsicherheit (ms)', 'Verspätet erkannt', 'Bezeichnung', 'Messart', 'Von Hand']\n"
        "2026-12-06T14:03:27 [1.2345, 0.15, 0.122, 0.5] ['*', 'Wagen A', '0', '']\n"
        "2026-12-06T14:05:00 [0.0001, 0.15, 1500.0, 0.001] ['', 'Wagen; B', '0', '']\n"
        "2026-12-06T09:00:01 [0.0005, 0.0, 0.0, 0.0] ['', '\"C\", leicht', '0', '']\n"
        "2027-01-01T00:00:00 [None, None, None, None] ['', '', '0', 'H']\n";
    for (const CsvConvention convention : {German, Plain}) {
        const QString path = dir.filePath(QStringLiteral("runs.csv"));
        protocol::writeFileReplacing(path, protocol::csvBytes(ExampleRuns, convention));
        QProcess process;
        process.start(python, {QStringLiteral("-c"), script, path, QString(convention.separator)});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
        EXPECT_EQ(process.readAllStandardOutput(), expected);
    }
}

// LibreOffice Calc with a German profile reads the German file's times, distances and
// speeds as numbers, not as texts or thousands.
TEST(CsvExport, GermanCalcReadsTheNumbersAsNumbers)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "soffice is not installed (Debian: libreoffice-calc-nogui)";
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("profile/user"));
    QFile settings(dir.filePath("profile/user/registrymodifications.xcu"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>de-DE</value></prop></item>
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooLocale" oor:op="fuse"><value>de-DE</value></prop></item>
</oor:items>
)");
    settings.close();
    const QString csv = dir.filePath(QStringLiteral("runs.csv"));
    protocol::writeFileReplacing(csv, protocol::csvBytes(ExampleRuns, German));

    QProcess calc;
    // Separator ";", text in double quotes, UTF-8, from line 1; numbers in the profile's language.
    calc.start(soffice,
               {"--headless", "--norestore",
                "-env:UserInstallation=" + QUrl::fromLocalFile(dir.filePath("profile")).toString(),
                "--infilter=CSV:59,34,76,1", "--convert-to", "fods", "--outdir", dir.path(), csv});
    ASSERT_TRUE(calc.waitForFinished(120000));
    ASSERT_EQ(calc.exitCode(), 0) << calc.readAllStandardError().constData();
    QFile sheet(dir.filePath(QStringLiteral("runs.fods")));
    ASSERT_TRUE(sheet.open(QIODevice::ReadOnly)) << calc.readAllStandardOutput().constData();
    const QString xml = QString::fromUtf8(sheet.readAll());
    // Each number of the first run is a number cell holding its value.
    for (const char *value : {"1.2345", "0.15", "0.122", "0.5", "1500"}) {
        const QString cell = QStringLiteral("office:value-type=\"float\" office:value=\"%1\"")
                                 .arg(QLatin1StringView(value));
        EXPECT_TRUE(xml.contains(cell)) << value;
    }
    EXPECT_FALSE(xml.contains(QStringLiteral("office:value=\"150\""))); // 0,150 as thousands
}
