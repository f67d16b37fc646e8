#pragma once

#include "protocol/Run.h"
#include "protocol/RunCsv.h"
#include "protocol/RunReader.h"

#include <QHash>
#include <QString>

namespace protocol {

// The record of every run as it was measured: one CSV file per day in the user's data
// folder, each run appended and on the disk before the protocol shows it, so a crash or a
// power cut loses at most the run in flight. The journal is append-only: a run deleted or
// relabelled in the protocol stays as it was measured here, like a line in a lab
// notebook; the exports write the protocol as it is now.
class RunJournal
{
public:
    // Writes into `folder`, created when the first run comes.
    explicit RunJournal(QString folder) : m_folder(std::move(folder)) {}

    // $XDG_DATA_HOME/tachoflux, or ~/.local/share/tachoflux; empty without a home.
    static QString defaultFolder();
    // "Messungen-2026-12-06.csv"
    static QString fileName(const QDate &day);

    QString folder() const { return m_folder; }
    // The file a run stopped on `day` goes to.
    QString filePath(const QDate &day) const;

    // Appends the run to its day's file, writing the header first when the file is new
    // (in `convention`; an existing file keeps its own), when the file's last header is
    // not one this writer makes (a column added by hand), or when it lacks a column for one
    // of the run's values. The file is locked for the append and its last header read
    // each time, since another copy of the program may write to it too. Flushed to the
    // disk before it returns. Returns 0, an errno value, NoFolder or NotAFile; after a
    // failure the file is as it was.
    int append(const Run &run, CsvConvention convention);

    // The newest journal file in the folder (by its day), or empty.
    QString latestFile() const;
    // The runs of a journal file (or a CSV export) and, in German, every line left out
    // and why, or why the file cannot be read at all.
    static LoadedRuns load(const QString &path);
    // The runs alone; empty when the file cannot be read.
    static QList<Run> read(const QString &path);

    // Files beyond this are refused as no journal of a day.
    static constexpr qint64 MaxFileBytes = 256LL * 1024 * 1024;
    // What append() returns beside errno values: no folder for user data is known, and
    // the day's file is no regular file (a FIFO, a device).
    static constexpr int NoFolder = -1;
    static constexpr int NotAFile = -2;

private:
    QString m_folder;
};

// What the user is told, in German, when runs cannot be journaled: the cause and the file.
QString journalErrorText(int error, const QString &path);

} // namespace protocol
