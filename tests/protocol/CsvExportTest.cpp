#include "protocol/CsvExport.h"
#include "protocol/ExportFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <clocale>
#include <string>

using timing::CsvRecord;

namespace {

const QDate Day(2026, 12, 6);
const QTime At(14, 3, 27);

// The runs of the protocol's examples: 1.2345 s, one tick, zero distance, and a run
// whose stop was not after its start.
const QList<CsvRecord> ExampleRuns = {
    {Day, At, 12345, 0.15},
    {Day, QTime(14, 5, 0), 1, 0.15},
    {Day, QTime(9, 0, 1), 5, 0},
    {QDate(2027, 1, 1), QTime(0, 0, 0), std::nullopt, 0.15},
};

const QByteArray ExampleCsv = "Datum/Zeit,Stoppuhrzeit (s),Entfernung (m),Geschwindigkeit (m/s)\r\n"
                              "2026-12-06T14:03:27,1.2345,0.150,0.122\r\n"
                              "2026-12-06T14:05:00,0.0001,0.150,1500.000\r\n"
                              "2026-12-06T09:00:01,0.0005,0.000,0.000\r\n"
                              "2027-01-01T00:00:00,,,\r\n";

} // namespace

TEST(CsvExport, ExampleRunsGiveIsoDatesAndPlainNumbers)
{
    EXPECT_EQ(timing::csvBytes(ExampleRuns), ExampleCsv);
    EXPECT_EQ(timing::csvBytes({}),
              "Datum/Zeit,Stoppuhrzeit (s),Entfernung (m),Geschwindigkeit (m/s)\r\n");
}

// Fields outside quotes, as a CSV reader splits the line.
int fieldCount(const QByteArray &line)
{
    int fields = 1;
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            ++fields;
    }
    return fields;
}

TEST(CsvExport, LongRunsNegativeDistancesAndHugeValuesStayOneFieldEach)
{
    const QList<CsvRecord> runs = {
        // 2 h 3 min: minutes past 59 become seconds, not a clock time.
        {Day, At, 73'800'000LL + 1234, 1.5},
        {Day, At, 10000, -2.5},
        // Beyond ten integer digits the numbers turn scientific.
        {Day, At, 1, 1e12},
    };
    // The program runs in the user's locale, whose C library may write "1,5e+15".
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const QList<QByteArray> lines = timing::csvBytes(runs).split('\n');
    std::setlocale(LC_NUMERIC, saved.c_str());

    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[1], "2026-12-06T14:03:27,7380.1234,1.500,0.000\r");
    EXPECT_EQ(lines[2], "2026-12-06T14:03:27,1.0000,-2.500,-2.500\r");
    EXPECT_TRUE(lines[3].startsWith("2026-12-06T14:03:27,0.0001,")) << lines[3].constData();
    EXPECT_EQ(fieldCount(lines[3]), 4) << lines[3].constData();
}

// Python's csv module with no dialect settings reads the file back as written, and the
// standard library takes every value as a date or a number.
TEST(CsvExport, PythonsCsvModuleReadsTheFileWithoutSettings)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("runs.csv"));
    timing::writeFileReplacing(path, timing::csvBytes(ExampleRuns));

    const QString script = QStringLiteral(R"(
import csv, datetime, sys
with open(sys.argv[1], newline='') as f:
    rows = list(csv.reader(f))
print(rows[0])
for r in rows[1:]:
    when = datetime.datetime.fromisoformat(r[0])
    values = [float(v) if v else None for v in r[1:]]
    print(when.isoformat(), values)
)");
    QProcess process;
    process.start(python, {QStringLiteral("-c"), script, path});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    EXPECT_EQ(process.readAllStandardOutput(),
              "['Datum/Zeit', 'Stoppuhrzeit (s)', 'Entfernung (m)', 'Geschwindigkeit (m/s)']\n"
              "2026-12-06T14:03:27 [1.2345, 0.15, 0.122]\n"
              "2026-12-06T14:05:00 [0.0001, 0.15, 1500.0]\n"
              "2026-12-06T09:00:01 [0.0005, 0.0, 0.0]\n"
              "2027-01-01T00:00:00 [None, None, None]\n");
}
