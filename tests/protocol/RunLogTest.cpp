#include "protocol/RunLog.h"
#include "protocol/ProtocolExport.h"
#include "protocol/ModeRuns.h"
#include "protocol/RunTexts.h"
#include "support/FixedLocale.h"

#include <gtest/gtest.h>

#include <QStringList>

using protocol::RunLog;

namespace {

protocol::Run labelled(const QString &label)
{
    protocol::Run run;
    run.label = label;
    run.ticks = 12345;
    run.meters = 0.15L;
    return run;
}

QStringList labels(const RunLog &log)
{
    QStringList out;
    for (const protocol::Run &run : log.runs())
        out << run.label;
    return out;
}

// Follows the log only through its notifications, as a view does, reading a run when it
// is told the run is in place; any wrong range or order shows as a difference.
class Mirror : public RunLog::Observer
{
public:
    explicit Mirror(const RunLog &log) : m_log(log) {}
    QStringList rows;
    int pending = 0; // "about to" without its "done"
    int changes = 0;

    void runsAboutToBeInserted(int first, int last) override
    {
        EXPECT_TRUE(first >= 0 && first <= rows.size() && last >= first);
        ++pending;
    }
    void runsInserted(int first, int last) override
    {
        --pending;
        for (int r = first; r <= last; ++r)
            rows.insert(r, m_log.at(r).label);
    }
    void runsAboutToBeRemoved(int first, int last) override
    {
        ++pending;
        // Still there when announced.
        for (int r = first; r <= last; ++r)
            EXPECT_EQ(m_log.at(r).label, rows.at(r));
    }
    void runsRemoved(int first, int last) override
    {
        --pending;
        rows.remove(first, last - first + 1);
    }
    void runsAboutToBeReset() override { ++pending; }
    void runsReset() override
    {
        --pending;
        rows = labels(m_log);
    }
    void runChanged(int row) override { rows[row] = m_log.at(row).label; }
    void runLogChanged() override { ++changes; }

private:
    const RunLog &m_log;
};

} // namespace

// Each step acts on the protocol "a".."f" as left by the steps before it.
TEST(RunLog, RemovalsAndClearsUndoInTheirPlacesAndOrder)
{
    enum Op { Remove, Clear, Undo, Add, Label };
    struct Step
    {
        Op op;
        QList<int> rows;
        QString after; // labels joined
        bool canUndo;
    };
    const Step steps[] = {
        {Remove, {1, 3, 4}, "a c f", true},
        {Remove, {9, -1}, "a c f", true}, // nothing there: no step to undo
        {Remove, {2, 0, 2}, "c", true},
        {Clear, {}, "", true},
        {Clear, {}, "", true}, // already empty: nothing more to undo
        {Undo, {}, "c", true},
        {Undo, {}, "a c f", true},
        {Undo, {}, "a b c d e f", false},
        {Undo, {}, "a b c d e f", false},
        {Remove, {5, 0}, "b c d e", true},
        {Label, {1}, "b x d e", true}, // a label edit keeps the undo
        {Undo, {}, "a b x d e f", false},
        {Remove, {2}, "a b d e f", true},
        {Add, {}, "a b d e f g", false}, // a new run ends the undo
        {Clear, {}, "", true},
        {Undo, {}, "a b d e f g", false},
    };
    RunLog log;
    Mirror mirror(log);
    log.addObserver(&mirror);
    for (const char *l : {"a", "b", "c", "d", "e", "f"})
        log.add(labelled(QString::fromLatin1(l)));
    for (const Step &step : steps) {
        const int before = mirror.changes;
        const QStringList was = labels(log);
        switch (step.op) {
        case Remove:
            log.removeRows(step.rows);
            break;
        case Clear:
            log.clear();
            break;
        case Undo:
            log.undo();
            break;
        case Add:
            log.add(labelled(QStringLiteral("g")));
            break;
        case Label:
            log.setLabel(step.rows[0], QStringLiteral("x"));
            break;
        }
        const QString where = QStringLiteral("op %1 after \"%2\"").arg(step.op).arg(step.after);
        EXPECT_EQ(labels(log).join(u' '), step.after) << where.toStdString();
        EXPECT_EQ(log.canUndo(), step.canUndo) << where.toStdString();
        EXPECT_EQ(mirror.rows, labels(log)) << where.toStdString();
        EXPECT_EQ(mirror.pending, 0) << where.toStdString();
        // Told exactly once when something changed, never when nothing did.
        EXPECT_EQ(mirror.changes - before, was == labels(log) ? 0 : 1) << where.toStdString();
    }
    log.removeObserver(&mirror);
    log.add(labelled(QStringLiteral("h")));
    EXPECT_EQ(mirror.rows.size(), 6);
}

TEST(RunLog, ReplacingIsUndoneWholeAndRestoredRunsKeepEveryField)
{
    RunLog log;
    protocol::Run a = labelled(QStringLiteral("a"));
    a.late = true;
    a.uncertaintyMs = 0.75;
    a.extra = {{QStringLiteral("v1"), QStringLiteral("m/s"), 1.5L, 0.01L, 3}};
    a.date = QDate(2026, 12, 6);
    a.time = QTime(14, 3, 27);
    log.add(a);
    log.add(labelled(QStringLiteral("b")));
    log.replace({labelled(QStringLiteral("j1")), labelled(QStringLiteral("j2")),
                 labelled(QStringLiteral("j3"))});
    EXPECT_EQ(labels(log), QStringList({"j1", "j2", "j3"}));
    log.removeRows({0});
    ASSERT_TRUE(log.undo());
    ASSERT_TRUE(log.undo());
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log.at(0), a);
    log.removeRows({0, 1});
    ASSERT_TRUE(log.undo());
    EXPECT_EQ(log.at(0), a);
}

TEST(RunLog, LabelsAreCleanedAndCut)
{
    const QString forty(40, u'x');
    const struct
    {
        QString typed;
        QString stored;
    } cases[] = {
        {"Wagen A", "Wagen A"},
        {"Wagen\tA\r\n", "WagenA"},
        {QString::fromUtf8("a\u0085b\u2028c\x7f"), "abc"},
        {forty + "y", forty},
        {"\n" + forty, forty},
        // 39 characters and one outside the basic plane: 41 UTF-16 units, all kept.
        {QString(39, u'x') + QString::fromUtf8("\U0001F697"),
         QString(39, u'x') + QString::fromUtf8("\U0001F697")},
        // Never half of such a character.
        {forty + QString::fromUtf8("\U0001F697"), forty},
        {QString::fromUtf8("Größe ½"), QString::fromUtf8("Größe ½")},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(protocol::cleanLabel(c.typed), c.stored) << c.typed.toStdString();

    RunLog log;
    log.add(labelled("a"));
    EXPECT_TRUE(log.setLabel(0, "Wagen\nB"));
    EXPECT_EQ(log.at(0).label, "WagenB");
    EXPECT_FALSE(log.setLabel(0, "WagenB"));
    EXPECT_FALSE(log.setLabel(1, "none"));
}

// The rows the list shows come from the runs and feed the fixed-column export as before.
TEST(RunTexts, RunsGiveTheListsTextsAndTheExportBytes)
{
    const platform::FixedLocale german = platform::FixedLocale::german();
    const platform::FixedLocale english = platform::FixedLocale::english();
    const QDate day(2026, 12, 6);
    timing::RunEntry timed;
    timed.time = 12345;
    timed.meters = 0.15L;
    timed.late = true;
    timed.uncertaintyMs = 0.5;
    timing::RunEntry untimed;
    untimed.meters = 0.15L;
    timing::RunEntry tick;
    tick.time = 1;
    tick.meters = 0.15L;
    const QList<protocol::Run> runs = {
        protocol::makeRun(timing::modeRunOf(timed), timing::MeasurementMode::BetweenBarriers, day, QTime(14, 3, 27), QStringLiteral("Wagen A")),
        protocol::makeRun(timing::modeRunOf(untimed), timing::MeasurementMode::BetweenBarriers, day, QTime(14, 5, 0), QStringLiteral("Wagen\tB")),
        protocol::makeRun(timing::modeRunOf(tick), timing::MeasurementMode::BetweenBarriers, day, QTime(14, 6, 0), QString()),
    };
    EXPECT_EQ(runs[0].uncertaintyMs, 0.5);
    EXPECT_EQ(runs[1].label, "WagenB");
    EXPECT_FALSE(runs[1].ticks);

    const QList<protocol::ProtocolRow> rows = protocol::protocolRows(runs, german);
    EXPECT_EQ(rows[0], (protocol::ProtocolRow{"06.12.2026/14:03:27", "00:01.2345", "0,150 m",
                                              "0,122 m/s", true}));
    EXPECT_EQ(rows[1], (protocol::ProtocolRow{"06.12.2026/14:05:00", "???", "???", "???", false}));
    EXPECT_EQ(rows[2].speed, "1500,000 m/s");
    EXPECT_EQ(protocol::protocolRow(runs[2], english).caption, "12/6/2026/2:06:00 PM");

    const QByteArray bytes = protocol::toAnsi(protocol::exportText(rows));
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[4], "06.12.2026/14:03:27      00:01.2345*    0,150 m              0,122 m/s\r");
    EXPECT_EQ(lines[5], "06.12.2026/14:05:00      ???            ???                        ???\r");
    // The label never enters the fixed columns.
    EXPECT_FALSE(bytes.contains("Wagen"));
}
