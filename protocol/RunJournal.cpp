#include "protocol/RunJournal.h"

#include "platform/Files.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>

namespace protocol {

namespace {

// The layout of the file's last header, read from the end back as far as needed;
// nullopt with errno set on a read error.
std::optional<CsvLayout> lastLayout(int fd, off_t size)
{
    for (off_t chunk = 64 * 1024;; chunk *= 4) {
        const off_t from = std::max<off_t>(0, size - chunk);
        QByteArray bytes(qsizetype(size - from), Qt::Uninitialized);
        if (!platform::readFully(fd, bytes.data(), std::uint64_t(from), std::uint64_t(bytes.size())))
            return std::nullopt;
        // The first line of a chunk may be cut: only a header after a line end counts.
        if (from > 0)
            bytes.remove(0, bytes.indexOf('\n') + 1);
        if (const std::optional<CsvLayout> layout = lastCsvLayout(bytes))
            return layout;
        if (from == 0)
            return CsvLayout{{}, {}, false};
    }
}

// No half line for the next run to be glued to; best effort, the error is already known.
void truncateTo(int fd, off_t size)
{
    if (::ftruncate(fd, size) != 0)
        return;
}

} // namespace

QString RunJournal::defaultFolder()
{
    return platform::dataFolder();
}

QString RunJournal::fileName(const QDate &day)
{
    return QStringLiteral("Messungen-") + day.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".csv");
}

QString RunJournal::filePath(const QDate &day) const
{
    return m_folder + u'/' + fileName(day);
}

int RunJournal::append(const Run &run, CsvConvention convention)
{
    if (m_folder.isEmpty())
        return NoFolder;
    if (!QDir().mkpath(m_folder)) {
        // The cause: the last step fails as the whole did.
        const QByteArray folder = QFile::encodeName(m_folder);
        if (::mkdir(folder.constData(), 0700) != 0) {
            if (errno != EEXIST)
                return errno;
            // Something is there: a file, or a link that leads nowhere.
            struct stat target{};
            return ::stat(folder.constData(), &target) != 0 ? errno : ENOTDIR;
        }
    }
    const QString path = filePath(run.date.isValid() ? run.date : QDate::currentDate());
    // Non-blocking: a FIFO in the file's place must not hang the program.
    platform::FileDescriptor fd(::open(QFile::encodeName(path).constData(),
                                       O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    if (!fd.valid())
        return errno;
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0)
        return errno;

    // Another copy of the program may write to the same day's file: one append at a time,
    // each under the header the file ends with now, never one remembered.
    if (!S_ISREG(st.st_mode))
        return RunJournal::NotAFile;
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return errno;
    }
    if (::fstat(fd.get(), &st) != 0)
        return errno;

    std::optional<CsvLayout> layout;
    if (st.st_size > 0) {
        const std::optional<CsvLayout> last = lastLayout(fd.get(), st.st_size);
        if (!last)
            return errno;
        layout = *last;
    }
    QList<CsvExtraColumn> extra = extraColumns({run});
    QByteArray bytes;
    // A file that ends inside a line (cut off by a crash) gets that line ended first.
    if (st.st_size > 0) {
        char last = '\n';
        if (::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n')
            bytes += "\r\n";
    }
    if (st.st_size == 0)
        bytes += "\xEF\xBB\xBF"; // so that a spreadsheet shows the umlauts
    if (layout && layout->convention.separator != QChar())
        convention = layout->convention;
    // The header once per file: only a run with a value the last header has no column for,
    // or a header that is not ours, gets a new one.
    const bool fits = layout && layout->ours &&
                      std::all_of(extra.begin(), extra.end(), [&](const CsvExtraColumn &c) {
                          return layout->extra.contains(c);
                      });
    if (fits)
        extra = layout->extra;
    else
        bytes += csvHeader(extra, convention).toUtf8();
    bytes += csvLine(run, extra, convention).toUtf8();

    if (!platform::writeAll(fd.get(), bytes)) {
        const int error = errno;
        truncateTo(fd.get(), st.st_size);
        return error;
    }
    if (::fsync(fd.get()) != 0) {
        const int error = errno;
        truncateTo(fd.get(), st.st_size);
        return error;
    }
    if (!fd.close())
        return errno;
    if (st.st_size == 0)
        platform::syncFolder(QFile::encodeName(m_folder));
    return 0;
}

QString RunJournal::latestFile() const
{
    static const QRegularExpression pattern(
        QStringLiteral("^Messungen-\\d{4}-\\d{2}-\\d{2}\\.csv$"));
    const QStringList names =
        QDir(m_folder)
            .entryList({QStringLiteral("Messungen-*.csv")}, QDir::Files, QDir::Name)
            .filter(pattern);
    return names.isEmpty() ? QString() : m_folder + u'/' + names.last();
}

QList<Run> RunJournal::read(const QString &path)
{
    return load(path).runs;
}

LoadedRuns RunJournal::load(const QString &path)
{
    const platform::SideFile file = platform::readSideFile(path, MaxFileBytes);
    if (!file.error.isEmpty())
        return {{}, {file.error}};
    return readRuns(file.bytes, path);
}

QString journalErrorText(int error, const QString &path)
{
    // The C library speaks German only where its catalogs are installed.
    QString reason;
    switch (error) {
    case ENOSPC:
        reason = QStringLiteral("Kein Speicherplatz auf dem Gerät");
        break;
    case EDQUOT:
        reason = QStringLiteral("Der Plattenplatz des Benutzers ist erschöpft");
        break;
    case EACCES:
    case EPERM:
        reason = QStringLiteral("Keine Berechtigung");
        break;
    case EROFS:
        reason = QStringLiteral("Das Dateisystem ist nur lesbar");
        break;
    case ENOTDIR:
    case EEXIST:
        reason = QStringLiteral("Der Ordner ist eine Datei");
        break;
    case EFBIG:
        reason = QStringLiteral("Die Datei ist zu groß");
        break;
    case EIO:
        reason = QStringLiteral("Ein-/Ausgabefehler");
        break;
    case RunJournal::NoFolder:
        reason = QStringLiteral("Kein Ordner für Benutzerdaten (HOME und XDG_DATA_HOME fehlen)");
        break;
    case RunJournal::NotAFile:
        reason = QStringLiteral("Das ist keine gewöhnliche Datei, sondern eine Pipe, ein Gerät "
                                "oder ein Socket");
        break;
    case ENOENT:
        reason = QStringLiteral("Ein Ordner auf dem Weg fehlt, oder ein Verweis zeigt ins Leere");
        break;
    case ELOOP:
        reason = QStringLiteral("Zu viele Verweise hintereinander (ein Kreis?)");
        break;
    default:
        reason = QStringLiteral("%1 (Fehler %2)").arg(platform::systemReason(error)).arg(error);
    }
    return QStringLiteral("Die Messungen können nicht gesichert werden: %1 (%2). Das Protokoll "
                          "läuft weiter; diese Meldung erscheint nur einmal.")
        .arg(reason, path);
}

} // namespace protocol
