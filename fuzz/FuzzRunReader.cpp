// Any bytes as a file of runs (a journal or a CSV export, by hand or from a spreadsheet):
// the reader never crashes, takes only runs that pass the checks of typed input, and what
// it takes survives the journal: appended run by run and read back, every run comes back
// with its date, time to the second, time to the tick, label, mark and values, and a second
// round changes nothing more (the distance and uncertainties keep the three decimals the
// writer gives them).

#include "protocol/RunCsv.h"
#include "protocol/RunJournal.h"
#include "protocol/RunReader.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The runs after a journal round: appended (one file per day) and read back day by day.
QList<protocol::Run> throughTheJournal(const QList<protocol::Run> &runs, const QString &folder)
{
    QDir(folder).removeRecursively();
    protocol::RunJournal journal(folder);
    for (const protocol::Run &run : runs)
        check(journal.append(run, protocol::CsvConvention{u';', u','}) == 0);
    QList<protocol::Run> back;
    for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name)) {
        const protocol::LoadedRuns loaded = protocol::RunJournal::load(folder + u'/' + name);
        check(loaded.problems.isEmpty());
        back += loaded.runs;
    }
    return back;
}

// The journal's order: by day, in the order of appending within a day.
QList<protocol::Run> byDay(QList<protocol::Run> runs)
{
    std::stable_sort(runs.begin(), runs.end(),
                     [](const protocol::Run &a, const protocol::Run &b) { return a.date < b.date; });
    return runs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/fuzz-runs-XXXXXX"));
    const QString folder = dir.path() + QStringLiteral("/journal");
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const protocol::LoadedRuns first = protocol::readRuns(bytes, QStringLiteral("fuzz.csv"));
    for (const protocol::Run &run : first.runs)
        check(protocol::runRefusal(run).isEmpty());
    // The export reads back as the journal does.
    check(protocol::readCsv(protocol::csvBytes(first.runs, {u',', u'.'})).size() ==
          first.runs.size());

    const QList<protocol::Run> want = byDay(first.runs);
    const QList<protocol::Run> second = throughTheJournal(first.runs, folder);
    check(second.size() == want.size());
    for (qsizetype i = 0; i < want.size(); ++i) {
        const protocol::Run &a = want[i];
        const protocol::Run &b = second[i];
        check(a.date == b.date && a.time.hour() == b.time.hour() &&
              a.time.minute() == b.time.minute() && a.time.second() == b.time.second());
        check(a.ticks == b.ticks && a.label == b.label && a.late == b.late);
        check(a.extra.size() == b.extra.size());
        for (qsizetype v = 0; v < a.extra.size(); ++v)
            check(a.extra[v].name == b.extra[v].name && a.extra[v].unit == b.extra[v].unit &&
                  a.extra[v].value.has_value() == b.extra[v].value.has_value());
    }
    check(throughTheJournal(second, folder) == second);
    return 0;
}
