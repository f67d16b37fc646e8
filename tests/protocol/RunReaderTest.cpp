#include "support/FixedLocale.h"
#include "protocol/ModeRuns.h"
#include "protocol/RunCsv.h"
#include "protocol/RunJournal.h"
#include "protocol/RunLog.h"
#include "protocol/RunReader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <clocale>
#include <cmath>
#include <string>
#include <limits>

using protocol::CsvConvention;
using Entry = protocol::Run;

namespace {

const CsvConvention German{u';', u','};
const CsvConvention Plain{u',', u'.'};
const QByteArray Header = "Datum/Zeit;Stoppuhrzeit (s);Entfernung (m);Geschwindigkeit (m/s);"
                          "Unsicherheit (ms);Verspätet erkannt;Bezeichnung\r\n";

Entry run(int second, timing::Ticks ticks, double meters = 0.5, QString label = {})
{
    Entry r;
    r.date = QDate(2026, 12, 6);
    r.time = QTime(14, 3, second);
    r.ticks = ticks;
    r.meters = meters;
    r.label = std::move(label);
    return r;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A LibreOffice profile that speaks German, so that numbers have a decimal comma.
QString germanCalcProfile(const QTemporaryDir &dir)
{
    QDir().mkpath(dir.filePath("profile/user"));
    QFile settings(dir.filePath("profile/user/registrymodifications.xcu"));
    settings.open(QIODevice::WriteOnly);
    settings.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>de-DE</value></prop></item>
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooLocale" oor:op="fuse"><value>de-DE</value></prop></item>
</oor:items>
)");
    return "-env:UserInstallation=" + QUrl::fromLocalFile(dir.filePath("profile")).toString();
}

// Runs headless Calc; the converted file, or empty with the failure added to the test.
QByteArray calc(const QTemporaryDir &dir, const QString &input, const QString &filter,
                const QString &extension)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    QProcess process;
    const QString outdir = dir.filePath(extension);
    QDir().mkpath(outdir);
    // Separator ";", text in double quotes, UTF-8, from line 1, German numbers.
    process.start(soffice, {"--headless", "--norestore", germanCalcProfile(dir),
                            "--infilter=CSV:59,34,76,1,,1031", "--convert-to", filter, "--outdir",
                            outdir, input});
    if (!process.waitForFinished(180000) || process.exitCode() != 0) {
        ADD_FAILURE() << process.readAllStandardError().constData();
        return {};
    }
    return bytesOf(outdir + '/' + QFileInfo(input).completeBaseName() + '.' + extension);
}

} // namespace

// Every line of a file is a run, a header, or named with the file, its number and why.
TEST(RunReader, ReadsWhatWritersAndHandsMakeAndNamesWhatItCannot)
{
    const struct
    {
        const char *what;
        QByteArray bytes;
        QList<Entry> runs;
        QStringList problems; // each the start of a message after "f.csv, Zeile N: "
    } cases[] = {
        {"as written", Header + "2026-12-06T14:03:01;1,2345;0,500;0,405;0,000;;A\r\n",
         {run(1, 12345, 0.5, "A")}, {}},
        {"byte-order mark, and one where a file was appended",
         "\xEF\xBB\xBF" + Header + "2026-12-06T14:03:01;1,2345;0,5;;;;\r\n\xEF\xBB\xBF" + Header +
             "2026-12-06T14:03:02;2;1;;;;\r\n",
         {run(1, 12345), run(2, 20000, 1)}, {}},
        {"a spreadsheet's decimals",
         Header + "2026-12-06T14:03:01;1,2;0,5;0,41;;;\r\n2026-12-06T14:03:02;1,23456;,5;;;;\r\n"
                  "2026-12-06T14:03:03;1,23454;0.5;;;;\r\n2026-12-06T14:03:04;1,2345E+00;5E-1;;;;\r\n",
         {run(1, 12000), run(2, 12346), run(3, 12345), run(4, 12345)}, {}},
        {"point decimals under commas",
         "Datum/Zeit,Stoppuhrzeit (s),Entfernung (m),Bezeichnung\n"
         "2026-12-06 14:03:01,0.5,\"0,5\",\"x, y\"\n",
         {run(1, 5000, 0.5, "x, y")}, {}},
        {"tabs and a German date",
         "Datum/Zeit\tStoppuhrzeit (s)\tEntfernung (m)\n06.12.2026 14:03:01\t3\t0,25\n"
         "06.12.26 14:03:02\t3\t0,25\n",
         {run(1, 30000, 0.25), run(2, 30000, 0.25)}, {}},
        {"a column added by hand",
         "Datum/Zeit;Notiz;Stoppuhrzeit (s);Entfernung (m);Bezeichnung\r\n"
         "2026-12-06T14:03:01;schief;1;0,5;A\r\n2026-12-06T14:03:02;;2;0,5;B\r\n",
         {run(1, 10000, 0.5, "A"), run(2, 20000, 0.5, "B")}, {}},
        {"missing columns, a run without a time",
         "Datum/Zeit;Bezeichnung\r\n2026-12-06T14:03:01;A\r\n",
         {[] { Entry r = run(1, 0, 0, "A"); r.ticks.reset(); return r; }()}, {}},
        {"labels as typed ones: cleaned, cut, the formula guard off",
         Header + "2026-12-06T14:03:01;1;0,5;;;;'=1+1\r\n"
                  "2026-12-06T14:03:02;1;0,5;;;;\"a\tb\u2028c\x01\"\r\n"
                  "2026-12-06T14:03:03;1;0,5;;;;" + QByteArray(50, 'x') + "\r\n",
         {run(1, 10000, 0.5, "=1+1"), run(2, 10000, 0.5, "abc"),
          run(3, 10000, 0.5, QString(protocol::MaxLabelLength, u'x'))},
         {}},
        {"NaN, infinity, negatives, huge values",
         Header + "2026-12-06T14:03:01;1;nan;;;;\r\n2026-12-06T14:03:02;1;inf;;;;\r\n"
                  "2026-12-06T14:03:03;1;-0,5;;;;\r\n2026-12-06T14:03:04;-1;0,5;;;;\r\n"
                  "2026-12-06T14:03:05;999999999999,9999;0,5;;;;\r\n"
                  "2026-12-06T14:03:06;1;1E300;;;;\r\n2026-12-06T14:03:07;1;0,5;;1E400;;\r\n"
                  "2026-12-06T14:03:08;0;0,5;;;;\r\n2026-12-06T14:03:09;1;1000,001;;;;\r\n",
         {},
         {"die Entfernung „nan“ ist keine Zahl", "die Entfernung „inf“ ist keine Zahl",
          "die Entfernung liegt nicht", "die Zeit liegt nicht", "die Zeit liegt nicht",
          "die Entfernung liegt nicht", "die Unsicherheit ist keine Zahl",
          "die Zeit liegt nicht", "die Entfernung liegt nicht"}},
        {"junk, a cut line, lines before any header",
         "Messungen vom Montag\r\n;;;\r\n" + Header +
             "Hallo;1;0,5;;;;\r\n2026-12-06T14:03:01;1;0,5\r\n2026-12-06T14:03:02;1;0,5;;;;\r\n"
             "2026-12-06T14:03:03;1 s;0,5;;;;\r\n\xFF\xFE;;;;;;\r\n2026-12-06T14:03:04;1;0,",
         {run(2, 10000)},
         {"„Hallo“ ist kein Datum", "die Zeile hat 3 statt 7 Spalten",
          "die Zeit „1 s“ ist keine Zahl", "„\uFFFD\uFFFD“ ist kein Datum",
          "die Zeile hat 3 statt 7 Spalten (abgebrochen)"}},
    };
    // The program runs in the user's locale, whose C library reads "0.5" as 0.
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    for (const auto &c : cases) {
        const protocol::LoadedRuns loaded = protocol::readRuns(c.bytes, "f.csv");
        EXPECT_EQ(loaded.runs, c.runs) << c.what;
        ASSERT_EQ(loaded.problems.size(), c.problems.size()) << c.what << "\n"
                                                             << loaded.problems.join('\n').toStdString();
        for (qsizetype i = 0; i < c.problems.size(); ++i) {
            const QString &p = loaded.problems[i];
            EXPECT_TRUE(p.startsWith("f.csv, Zeile ")) << p.toStdString();
            EXPECT_TRUE(p.contains(": " + c.problems[i])) << c.what << ": " << p.toStdString();
        }
    }
    std::setlocale(LC_ALL, saved.c_str());
    // The line numbers are the file's.
    EXPECT_TRUE(protocol::readRuns(Header + "x;1;1;;;;\r\n", "f.csv").problems.value(0).startsWith(
        "f.csv, Zeile 2: "));
}

// What is refused on load is what typed input refuses.
TEST(RunReader, RunRefusalChecksEveryValue)
{
    const auto with = [](auto change) {
        Entry r = run(1, 10000);
        r.extra = {{"v1", "m/s", 1.5L, 0.01L, 3}};
        change(r);
        return protocol::runRefusal(r);
    };
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const long double inf = std::numeric_limits<long double>::infinity();
    const struct
    {
        QString refusal;
        const char *contains; // empty: accepted
    } cases[] = {
        {with([](Entry &) {}), ""},
        {with([](Entry &r) { r.ticks.reset(); }), ""},
        {with([](Entry &r) { r.meters = 0; }), ""},
        {with([](Entry &r) { r.ticks = protocol::MaxRunTicks; }), ""},
        {with([](Entry &r) { r.meters = protocol::MaxRunMeters; }), ""},
        {with([](Entry &r) { r.extra[0].value = -9.81L; }), ""},
        {with([](Entry &r) { r.extra[0].value.reset(); }), ""},
        {with([](Entry &r) { r.date = {}; }), "Datum"},
        {with([](Entry &r) { r.time = {}; }), "Uhrzeit"},
        {with([](Entry &r) { r.ticks = 0; }), "Zeit"},
        {with([](Entry &r) { r.ticks = protocol::MaxRunTicks + 1; }), "Zeit"},
        {with([&](Entry &r) { r.meters = nan; }), "Entfernung"},
        {with([&](Entry &r) { r.meters = -inf; }), "Entfernung"},
        {with([](Entry &r) { r.meters = -0.001L; }), "Entfernung"},
        {with([](Entry &r) { r.uncertaintyMs = -1; }), "Unsicherheit"},
        {with([](Entry &r) { r.uncertaintyMs = std::nan(""); }), "Unsicherheit"},
        {with([](Entry &r) { r.label = "a\tb"; }), "Bezeichnung"},
        {with([](Entry &r) { r.label = QString(41, u'x'); }), "Bezeichnung"},
        {with([&](Entry &r) { r.extra[0].value = nan; }), "v1"},
        {with([](Entry &r) { r.extra[0].value = 2e9L; }), "v1"},
        {with([&](Entry &r) { r.extra[0].uncertainty = -inf; }), "v1"},
        {with([](Entry &r) { r.extra[0].decimals = 13; }), "v1"},
    };
    for (const auto &c : cases) {
        if (*c.contains == 0)
            EXPECT_TRUE(c.refusal.isEmpty()) << c.refusal.toStdString();
        else
            EXPECT_TRUE(c.refusal.contains(QString::fromUtf8(c.contains))) << c.contains;
    }
}

// The longest time and distance the reader lets through keep the text export's columns.
TEST(RunReader, TheTextExportHoldsWhatTheReaderAccepts)
{
    const platform::FixedLocale locale = platform::FixedLocale::german();
    Entry longest = run(1, protocol::MaxRunTicks, double(protocol::MaxRunMeters));
    longest.late = true;
    const QStringList lines =
        protocol::exportText({run(2, 10000), longest}, {}, locale).split("\r\n");
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[4].size(), lines[5].size()) << lines[5].toStdString();
    EXPECT_TRUE(lines[5].contains("99999:59.9999*")) << lines[5].toStdString();
    EXPECT_FALSE(lines[5].contains(u'-'));
}

// Two copies of the program on one day in different modes, a column added by hand in
// between: every run comes back, each with its own values.
TEST(RunReader, TwoWritersAndAHandEditLoseNothing)
{
    QTemporaryDir dir;
    protocol::RunJournal com1(dir.path());
    protocol::RunJournal com2(dir.path());
    QList<Entry> written;
    for (int i = 0; i < 6; ++i) {
        Entry r = run(i, 1000 + i, 0.5, QStringLiteral("R%1").arg(i));
        if (i % 2 == 1)
            r.extra = {{"v1", "m/s", 1.5L, 0.25L, 2}};
        if (i == 3) {
            // Someone adds a column to the file by hand, and a note to one line.
            const QString path = com1.filePath(r.date);
            QByteArray bytes = bytesOf(path);
            bytes.replace("Unsicherheit v1 (m/s)\r\n", "Unsicherheit v1 (m/s);Notiz\r\n");
            bytes.replace("R2\r\n", "R2;;;schief\r\n");
            writeBytes(path, bytes);
        }
        ASSERT_EQ((i % 2 ? com2 : com1).append(r, German), 0);
        written << r;
    }
    const protocol::LoadedRuns back = protocol::RunJournal::load(com1.filePath(QDate(2026, 12, 6)));
    EXPECT_TRUE(back.problems.isEmpty()) << back.problems.join('\n').toStdString();
    EXPECT_EQ(back.runs, written);
    // One header while the columns fit, the hand-edited one replaced by the writer's own.
    EXPECT_EQ(bytesOf(com1.filePath(QDate(2026, 12, 6))).count("Datum/Zeit"), 3);
}

// A journal opened and saved again by German LibreOffice Calc ("0,5000" becomes "0,5")
// loads every run with its values.
TEST(RunReader, ASpreadsheetsResaveLoadsAllRuns)
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        GTEST_SKIP() << "soffice is not installed (Debian: libreoffice-calc-nogui)";
    QTemporaryDir dir;
    protocol::RunJournal journal(dir.path());
    QList<Entry> written;
    for (int i = 0; i < 20; ++i) {
        Entry r = run(i, 5000 + 97 * i, 0.5 + i / 8.0, QStringLiteral("Wagen %1").arg(i % 3));
        if (i >= 10)
            r.extra = {{"t2", "s", 0.5L, 0.0001L, 4}};
        ASSERT_EQ(journal.append(r, German), 0);
        written << r;
    }
    const QString path = journal.filePath(QDate(2026, 12, 6));
    // Separator ";", double quotes, UTF-8, as Calc offers for a German CSV.
    const QByteArray saved = calc(dir, path, "csv:Text - txt - csv (StarCalc):59,34,76,1", "csv");
    ASSERT_FALSE(saved.isEmpty());
    const protocol::LoadedRuns back = protocol::readRuns(saved, "resaved.csv");
    EXPECT_TRUE(back.problems.isEmpty()) << back.problems.join('\n').toStdString();
    ASSERT_EQ(back.runs.size(), written.size()) << saved.constData();
    for (qsizetype i = 0; i < written.size(); ++i) {
        EXPECT_EQ(back.runs[i].date, written[i].date);
        EXPECT_EQ(back.runs[i].time, written[i].time);
        EXPECT_EQ(back.runs[i].ticks, written[i].ticks) << i;
        EXPECT_EQ(back.runs[i].meters, written[i].meters) << i;
        EXPECT_EQ(back.runs[i].label, written[i].label);
        ASSERT_EQ(back.runs[i].extra.size(), written[i].extra.size()) << i;
        if (!written[i].extra.isEmpty())
            EXPECT_DOUBLE_EQ(double(*back.runs[i].extra[0].value), 0.5);
    }
}

// Labels that a spreadsheet would take for formulas come back from Calc as the text typed.
TEST(RunReader, FormulaLabelsStayTextInCalc)
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        GTEST_SKIP() << "soffice is not installed (Debian: libreoffice-calc-nogui)";
    QTemporaryDir dir;
    const QStringList labels = {"=1+1", "=HYPERLINK(\"http://x.invalid\";\"hier\")", "+1", "-1",
                                "@SUM(1)", "'quoted", "ganz normal"};
    QList<Entry> runs;
    for (qsizetype i = 0; i < labels.size(); ++i)
        runs << run(int(i), 10000 + int(i), 0.5, protocol::cleanLabel(labels[i]));
    const QString csv = dir.filePath("runs.csv");
    writeBytes(csv, protocol::csvBytes(runs, German));
    const QString xml = QString::fromUtf8(calc(dir, csv, "fods", "fods"));
    ASSERT_FALSE(xml.isEmpty());
    EXPECT_FALSE(xml.contains("table:formula")) << "a label became a formula";
    EXPECT_FALSE(xml.contains("xlink:href")) << "a label became a link";
    // Each a text cell showing the label behind the guard's apostrophe.
    for (const QString &label : labels) {
        QString shown = protocol::guardedCell(label).toHtmlEscaped();
        shown.replace("'", "&apos;");
        const QString cell = "calcext:value-type=\"string\">\n      <text:p>%1</text:p>";
        EXPECT_TRUE(xml.contains(cell.arg(shown)) ||
                    xml.contains(cell.arg(shown.replace("&quot;", "\""))))
            << label.toStdString();
    }
    // And our own reader gives them back as typed.
    const QList<Entry> back = protocol::readCsv(bytesOf(csv));
    ASSERT_EQ(back.size(), runs.size());
    for (qsizetype i = 0; i < runs.size(); ++i)
        EXPECT_EQ(back[i].label, runs[i].label);
}
