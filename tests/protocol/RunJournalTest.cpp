#include "protocol/RunJournal.h"
#include "protocol/RunCsv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using protocol::CsvConvention;
using protocol::RunJournal;

namespace {

const CsvConvention German{u';', u','};
const CsvConvention Plain{u',', u'.'};

protocol::Run run(int day, int second, timing::Ticks ticks, QString label = {})
{
    protocol::Run r;
    r.date = QDate(2026, 12, day);
    r.time = QTime(14, 3, second);
    r.ticks = ticks;
    r.meters = 0.15; // as the distance field gives it
    r.label = std::move(label);
    return r;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class RunJournalTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString folder = dir.filePath("data/tachoflux");
    RunJournal journal{folder};
};

} // namespace

TEST_F(RunJournalTest, RunsGoToTheirDaysFileWithOneHeader)
{
    const QList<protocol::Run> runs = {run(6, 1, 12345, "Wagen A"), run(6, 2, 1),
                                       run(6, 3, 99999999)};
    for (const protocol::Run &r : runs)
        ASSERT_EQ(journal.append(r, German), 0);
    ASSERT_EQ(journal.append(run(7, 0, 5), Plain), 0);

    const QString day6 = folder + "/Messungen-2026-12-06.csv";
    EXPECT_EQ(journal.filePath(QDate(2026, 12, 6)), day6);
    EXPECT_EQ(bytesOf(day6), protocol::csvBytes(runs, German));
    EXPECT_EQ(bytesOf(folder + "/Messungen-2026-12-07.csv"),
              protocol::csvBytes({run(7, 0, 5)}, Plain));
    EXPECT_EQ(journal.latestFile(), folder + "/Messungen-2026-12-07.csv");
    EXPECT_EQ(RunJournal::read(day6), runs);

    // Another session appends in the file's own convention, whatever its locale says.
    RunJournal later(folder);
    ASSERT_EQ(later.append(run(6, 4, 7), Plain), 0);
    EXPECT_EQ(bytesOf(day6), protocol::csvBytes(runs + QList<protocol::Run>{run(6, 4, 7)}, German));
}

TEST_F(RunJournalTest, NewValuesGetANewHeaderAndACutLineIsEnded)
{
    ASSERT_EQ(journal.append(run(6, 1, 100), German), 0);
    protocol::Run withValue = run(6, 2, 200);
    withValue.extra = {{"v1", "m/s", 1.5L, 0.01L, 3}};
    ASSERT_EQ(journal.append(withValue, German), 0);
    const QString path = journal.filePath(QDate(2026, 12, 6));
    EXPECT_EQ(bytesOf(path), protocol::csvBytes({run(6, 1, 100)}, German) +
                                 protocol::csvText({withValue}, German).toUtf8());

    // A crash in the middle of a line: the next run starts on a line of its own.
    writeBytes(path, bytesOf(path) + "2026-12-06T14:03:03;0,03");
    RunJournal next(folder);
    ASSERT_EQ(next.append(run(6, 4, 400), German), 0);
    const QList<protocol::Run> back = RunJournal::read(path);
    ASSERT_EQ(back.size(), 3);
    EXPECT_EQ(back[1].extra.value(0).name, "v1");
    EXPECT_EQ(back[2].ticks, 400);
    EXPECT_TRUE(back[2].extra.isEmpty());
}

TEST_F(RunJournalTest, LatestFileIsTheNewestDayAndOnlyJournalsCount)
{
    EXPECT_TRUE(journal.latestFile().isEmpty());
    QDir().mkpath(folder);
    for (const char *name :
         {"Messungen-2026-12-06.csv", "Messungen-2025-01-31.csv", "Messungen-2027-01-01.txt",
          "Messungen-letzte.csv", "Messungen-x-y-z.csv", "zzz.csv"})
        writeBytes(folder + "/" + name, "x");
    EXPECT_EQ(journal.latestFile(), folder + "/Messungen-2026-12-06.csv");
    EXPECT_TRUE(RunJournal::read(folder + "/none.csv").isEmpty());
}

// A journal that cannot be written says why, and leaves what is there as it was.
TEST_F(RunJournalTest, FailuresReportTheCauseAndKeepTheFile)
{
    // A file where the folder should be.
    writeBytes(dir.filePath("data"), "file");
    EXPECT_EQ(RunJournal(dir.filePath("data/tachoflux")).append(run(6, 1, 1), German), ENOTDIR);
    EXPECT_EQ(RunJournal(QString()).append(run(6, 1, 1), German), RunJournal::NoFolder);

    QTemporaryDir other;
    RunJournal limited(other.path());
    ASSERT_EQ(limited.append(run(6, 1, 1), German), 0);
    const QString path = limited.filePath(QDate(2026, 12, 6));
    const QByteArray before = bytesOf(path);
    // A file-size limit stands in for a full disk: the write fails part way.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(before.size() + 10);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int error = limited.append(run(6, 2, 2), German);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(bytesOf(path), before);

    if (geteuid() != 0) {
        QFile::setPermissions(other.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(limited.append(run(7, 1, 1), German), EACCES);
        QFile::setPermissions(other.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    const struct
    {
        int error;
        const char *reason;
    } texts[] = {{ENOSPC, "Kein Speicherplatz auf dem Gerät"},
                 {EACCES, "Keine Berechtigung"},
                 {EROFS, "nur lesbar"},
                 {ENOTDIR, "Ordner ist eine Datei"}};
    for (const auto &t : texts) {
        const QString text = protocol::journalErrorText(t.error, "/x/Messungen-2026-12-06.csv");
        EXPECT_TRUE(text.startsWith("Die Messungen können nicht gesichert werden: ")) << t.error;
        EXPECT_TRUE(text.contains(QString::fromUtf8(t.reason))) << t.error;
        EXPECT_TRUE(text.contains("(/x/Messungen-2026-12-06.csv)")) << t.error;
    }
}

// What meets a journal in the user's data folder is named with the file and the cause.
TEST_F(RunJournalTest, AFifoOrADanglingLinkIsNamed)
{
    QDir().mkpath(folder);
    const QString day6 = journal.filePath(QDate(2026, 12, 6));
    ASSERT_EQ(::mkfifo(QFile::encodeName(day6).constData(), 0600), 0);
    const QString day7 = journal.filePath(QDate(2026, 12, 7));
    ASSERT_TRUE(QFile::link(dir.filePath("gone/Messungen.csv"), day7));
    ASSERT_TRUE(QFile::link(dir.filePath("gone"), dir.filePath("linked")));
    const struct
    {
        int error;
        const char *reason;
    } rows[] = {
        {journal.append(run(6, 1, 1), German), "keine gewöhnliche Datei"},
        {journal.append(run(7, 1, 1), German), "ein Verweis zeigt ins Leere"},
        {RunJournal(dir.filePath("linked")).append(run(6, 1, 1), German),
         "ein Verweis zeigt ins Leere"},
        {RunJournal(QString()).append(run(6, 1, 1), German), "Kein Ordner für Benutzerdaten"},
        {EMLINK, "Fehler 31"},
    };
    for (const auto &row : rows) {
        const QString text = protocol::journalErrorText(row.error, day6);
        EXPECT_TRUE(text.contains(QString::fromUtf8(row.reason))) << text.toStdString();
        EXPECT_TRUE(text.contains(day6));
    }
    // The FIFO is left as it is, and the reader does not wait for a writer.
    EXPECT_TRUE(QFileInfo(day6).isFile() == false && QFileInfo::exists(day6));
    const protocol::LoadedRuns loaded = RunJournal::load(day6);
    EXPECT_TRUE(loaded.runs.isEmpty());
    ASSERT_EQ(loaded.problems.size(), 1);
    EXPECT_TRUE(loaded.problems[0].contains(day6));
}
