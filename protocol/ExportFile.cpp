#include "protocol/ExportFile.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/ResourceText.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace protocol {

platform::EInOutError inOutError(int errorCode)
{
    static const struct
    {
        int code;
        const char *text;
    } known[] = {
        {2, "File not found"},         {3, "Invalid filename"},          {4, "Too many open files"},
        {5, "File access denied"},     {100, "Read beyond end of file"}, {101, "Disk full"},
        {106, "Invalid numeric input"}};
    for (const auto &entry : known) {
        if (entry.code == errorCode)
            return platform::EInOutError(errorCode, QString::fromLatin1(entry.text));
    }
    return platform::EInOutError(errorCode,
                                 platform::resourceText(QStringLiteral("I/O error %d"))
                                     .replace(QStringLiteral("%d"), QString::number(errorCode)));
}

int ioErrorCodeFromErrno(int error)
{
    switch (platform::refusalOf(error)) {
    case platform::Refusal::Missing:
    case platform::Refusal::BadName:
        return 3;
    case platform::Refusal::TooManyFiles:
        return 4;
    case platform::Refusal::Denied:
        return 5;
    case platform::Refusal::Full:
        return 101;
    case platform::Refusal::NoMemory:
    case platform::Refusal::Other:
        break;
    }
    return error;
}

QString exportErrorText(const QString &path, int error)
{
    QString reason;
    switch (error) {
    case EFBIG:
        reason = QStringLiteral("die Datei würde größer, als das System diesem Programm erlaubt");
        break;
    case ENOSPC:
        reason = QStringLiteral("kein Speicherplatz auf dem Gerät");
        break;
    case EDQUOT:
        reason = QStringLiteral("der Plattenplatz des Benutzers ist erschöpft");
        break;
    case EACCES:
    case EPERM:
        reason = QStringLiteral("keine Berechtigung");
        break;
    case EROFS:
        reason = QStringLiteral("das Dateisystem ist nur lesbar");
        break;
    case EISDIR:
        reason = QStringLiteral("das ist ein Ordner");
        break;
    case ENOENT:
    case ENOTDIR:
        reason = QStringLiteral("der Ordner %1 fehlt").arg(QFile::decodeName(
            platform::folderOf(QFile::encodeName(path))));
        break;
    case ELOOP:
        reason = QStringLiteral("zu viele Verweise hintereinander (ein Kreis?)");
        break;
    case ENAMETOOLONG:
        reason = QStringLiteral("der Name ist zu lang");
        break;
    case NotAFile:
        reason = QStringLiteral("das ist keine gewöhnliche Datei, sondern eine Pipe, ein Gerät "
                                "oder ein Socket");
        break;
    case WriteProtected:
        reason = QStringLiteral("die Datei ist schreibgeschützt");
        break;
    default:
        reason = QStringLiteral("%1 (Fehler %2)").arg(platform::systemReason(error)).arg(error);
    }
    return QStringLiteral("%1 kann nicht gespeichert werden: %2.").arg(path, reason);
}

namespace {

[[noreturn]] void fail(const QString &path, int error)
{
    const int system = error == NotAFile || error == WriteProtected ? EACCES : error;
    throw ExportError(inOutError(ioErrorCodeFromErrno(system)), exportErrorText(path, error));
}

bool atomicWayImpossible(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case ENAMETOOLONG:
    case EXDEV:
    case EBUSY:
        return true;
    default:
        return false;
    }
}

// Writes through a temporary file renamed over the target. Returns false, having changed
// nothing, where that way is closed although the file itself could be written.
bool replaceAtomically(const QString &path, const QByteArray &target, const struct stat *existing,
                       const QByteArray &bytes)
{
    platform::ReplaceOptions options;
    options.temporaryTemplate =
        platform::folderOf(target) + '/' + TemporaryPrefix + QByteArray::number(::getpid()) + "-XXXXXX";
    const mode_t mask = ::umask(0);
    ::umask(mask);
    options.newFileMode = 0666 & ~mask;
    // The user's file keeps its owner, or is not replaced at all.
    options.keepOwner = true;
    const platform::ReplaceResult result = platform::replaceFile(target, existing, bytes, options);
    switch (result.step) {
    case platform::ReplaceResult::Done:
        return true;
    case platform::ReplaceResult::Owner:
        return false;
    case platform::ReplaceResult::Create:
    case platform::ReplaceResult::Rename:
        if (atomicWayImpossible(result.error))
            return false;
        fail(path, result.error);
    case platform::ReplaceResult::Write:
        break;
    }
    fail(path, result.error);
}

} // namespace

void writeFileReplacing(const QString &path, const QByteArray &bytes)
{
    const QByteArray chosen = QFile::encodeName(path);
    if (chosen.isEmpty())
        fail(path, ENOENT);
    const std::optional<QByteArray> resolved = platform::followLinks(chosen);
    if (!resolved)
        fail(path, errno);
    const QByteArray &target = *resolved;

    struct stat existing{};
    const bool exists = ::lstat(target.constData(), &existing) == 0;
    if (!exists && errno != ENOENT)
        fail(path, errno);
    if (exists) {
        if (S_ISDIR(existing.st_mode))
            fail(path, EISDIR);
        if (!S_ISREG(existing.st_mode))
            fail(path, NotAFile);
        // Write-protected as a read-only file is on Windows, whoever the process runs as.
        if ((existing.st_mode & S_IWUSR) == 0 || ::access(target.constData(), W_OK) != 0)
            fail(path, WriteProtected);
    }

    platform::removeStaleTemporaries(platform::folderOf(target), TemporaryPrefix);
    if (replaceAtomically(path, target, exists ? &existing : nullptr, bytes))
        return;
    // Rewriting the file where it lies could leave half of it after a crash or a full
    // disk; the user's old file stays whole instead.
    const QString folder = QFile::decodeName(platform::folderOf(target));
    throw ExportError(
        inOutError(5),
        QStringLiteral("%1 kann nicht gespeichert werden: der Ordner %2 nimmt keine neue Datei "
                       "auf (oder die Datei gehört einem anderen Benutzer), und ein Überschreiben "
                       "an Ort und Stelle könnte nach einem Absturz eine halbe Datei hinterlassen. "
                       "Die alte Datei bleibt, wie sie war; bitte in einem anderen Ordner "
                       "speichern.")
            .arg(path, folder));
}

} // namespace protocol
