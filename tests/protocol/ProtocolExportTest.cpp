#include "platform/Errors.h"
#include "platform/ProcessSignals.h"
#include "protocol/ExportFile.h"
#include "protocol/ProtocolExport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using protocol::ProtocolRow;

namespace {

const QByteArray Header = "Datum/Zeit" + QByteArray(15, ' ') + "Stoppuhrzeit" + QByteArray(3, ' ')
                          + "Entfernung" + QByteArray(5, ' ') + "Geschwindigkeit";
const QByteArray Blank70(70, ' ');

QByteArray fileOf(const QList<QByteArray> &middle)
{
    QByteArray bytes = "Tachoflux\r\n\r\n" + Header + "\r\n" + Blank70 + "\r\n";
    for (const QByteArray &line : middle)
        bytes += line + "\r\n";
    return bytes + "\r\nKelvaro Software\r\n";
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(ExportText, EmptyListGivesSixLines)
{
    const QByteArray bytes = protocol::toAnsi(protocol::exportText({}));
    EXPECT_EQ(bytes, fileOf({}));
    EXPECT_EQ(bytes.count("\r\n"), 6);
    EXPECT_EQ(Header.size(), 70);
}

TEST(ExportText, RowsUseFixedColumnsWithTheLastRightAligned)
{
    const QList<ProtocolRow> rows = {
        {"06.12.2026/14:03:27", "00:01.2345", "0,150 m", "0,122 m/s"},
        {"06.12.2026/14:05:00", "???", "???", "???"},
        // A caption longer than its column pushes the others right.
        {"Wednesday, December 16, 2026/2:03:27 PM", "00:00.0001", "0.150 m", "1500.000 m/s"},
    };
    const QByteArray expected = fileOf({
        "06.12.2026/14:03:27      00:01.2345     0,150 m              0,122 m/s",
        "06.12.2026/14:05:00      ???" + QByteArray(12, ' ') + "???" + QByteArray(24, ' ') + "???",
        "Wednesday, December 16, 2026/2:03:27 PM00:00.0001     0.150 m           1500.000 m/s",
    });
    EXPECT_EQ(protocol::toAnsi(protocol::exportText(rows)), expected);
    EXPECT_EQ(
        protocol::exportRow(rows[0].caption, rows[0].time, rows[0].distance, rows[0].speed).size(),
        70);
}

TEST(ExportText, WritesOneBytePerCharacterInTheAnsiCodePage)
{
    EXPECT_EQ(protocol::toAnsi(QStringLiteral("ä€é\u0394")), QByteArray("\xE4\x80\xE9?"));
}

class ExportFileTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

TEST_F(ExportFileTest, ReplacesAnExistingFileAndLeavesNoTemporaryBehind)
{
    const QString target = path("runs.txt");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("a much longer old content that must vanish completely\n");
    }
    protocol::writeFileReplacing(target, "new");
    EXPECT_EQ(readAll(target), "new");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"runs.txt"});
}

TEST_F(ExportFileTest, FailuresRaiseTheNumberedIoErrors)
{
    const struct
    {
        QString target;
        int code;
        const char *message;
    } rows[] = {
        {path("missing/folder/runs.txt"), 3, "Invalid filename"},
        {dir.path(), 5, "File access denied"},
    };
    for (const auto &row : rows) {
        try {
            protocol::writeFileReplacing(row.target, "x");
            ADD_FAILURE() << "no error for " << row.target.toStdString();
        } catch (const platform::EInOutError &e) {
            EXPECT_EQ(e.errorCode(), row.code);
            EXPECT_EQ(e.message(), row.message);
        }
    }
    EXPECT_EQ(protocol::inOutError(101).message(), "Disk full");
    EXPECT_EQ(protocol::inOutError(32).message(), "I/O error 32");
}

TEST_F(ExportFileTest, AFailedWriteLeavesTheExistingFileUntouched)
{
    const QString target = path("runs.txt");
    const QByteArray original = fileOf({"06.12.2026/14:03:27      00:01.2345     0,150 m              0,122 m/s"});
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(original);
    }
    // A file size limit (ulimit -f) makes the write fail part way, as a full disk would.
    // In a child that starts as the program does, so the program's own signal dispositions
    // are what keeps SIGXFSZ from ending it.
    const pid_t child = ::fork();
    if (child == 0) {
        platform::setProgramSignalDispositions();
        rlimit small{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &small);
        int code = 0;
        try {
            protocol::writeFileReplacing(target, QByteArray(64 * 1024, 'x'));
        } catch (const platform::EInOutError &e) {
            code = e.errorCode();
        }
        ::_exit(code == 101 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the export gave no error 101";
    EXPECT_EQ(readAll(target), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"runs.txt"});
}

TEST(ExportText, AModesFurtherColumnsFollowRightAlignedAndWidenTheBlankLine)
{
    ProtocolRow dark{"06.12.2026/14:03:27", "00:00.0500", "0,025 m", "0,500 m/s", true,
                     {"1", "0,500±0,002 m/s"}};
    ProtocolRow unknown{"06.12.2026/14:03:28", "???", "???", "???"};
    unknown.extra = {"2", "???"};
    const QByteArray bytes =
        protocol::toAnsi(protocol::exportText({dark, unknown}, {"Schranke", "v"}));
    const QByteArray expected =
        "Tachoflux\r\n\r\n" + Header + "       Schranke" + QByteArray(14, ' ') + "v\r\n"
        + QByteArray(100, ' ') + "\r\n"
        + "06.12.2026/14:03:27      00:00.0500*    0,025 m              0,500 m/s"
        + QByteArray(14, ' ') + "1" + "0,500\xB1" "0,002 m/s\r\n"
        + "06.12.2026/14:03:28      ???" + QByteArray(12, ' ') + "???" + QByteArray(24, ' ')
        + "???" + QByteArray(14, ' ') + "2" + QByteArray(12, ' ') + "???\r\n"
        + "\r\nKelvaro Software\r\n";
    EXPECT_EQ(bytes, expected);
}
