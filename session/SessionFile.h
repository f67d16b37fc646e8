#pragma once

#include "protocol/Run.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace session {

// What a session file keeps: the runs as the protocol shows them now (deleted runs are
// gone, labels as edited) and the report's texts. The journal keeps the runs as measured.
struct SessionData
{
    QDateTime created;
    QString title;
    QString className;
    QString notes;
    QList<protocol::Run> runs;

    bool operator==(const SessionData &) const = default;
};

QByteArray sessionBytes(const SessionData &data);
// Reads what sessionBytes wrote. A run that is damaged is left out and named in `problems`
// (German, with its place); a file that is no session gives nothing and one problem.
std::optional<SessionData> readSession(const QByteArray &bytes, QStringList *problems = nullptr);

// The session files in the user's data folder, one per session, each replaced as a whole
// at every change so that a crash or a kill leaves the last state written.
class SessionStore
{
public:
    // Keeps its files in `folder`, created when the first is saved.
    explicit SessionStore(QString folder) : m_folder(std::move(folder)) {}

    // $XDG_DATA_HOME/tachoflux/Sitzungen; empty without a home.
    static QString defaultFolder();
    QString folder() const { return m_folder; }

    // A new file's path for a session begun at `begun`: "Sitzung-2026-12-07-094512.json",
    // never one that exists.
    QString newPath(const QDateTime &begun) const;
    // The session the program was in last: the one marked current, else the newest.
    QString lastPath() const;
    // Every session file, newest first.
    QStringList paths() const;

    // Writes `data` to `path` crash-safely and marks it the current one. Returns 0 or the
    // errno of the failure, after which the file is as it was.
    int save(const QString &path, const SessionData &data);
    // Reads a session file; nothing, with the reason in German, when it cannot.
    static std::optional<SessionData> load(const QString &path, QStringList *problems);

private:
    int markCurrent(const QString &path);

    QString m_folder;
    QString m_marked; // the path marked current by this process
};

} // namespace session
