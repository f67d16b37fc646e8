#include "protocol/RunJournal.h"

#include "platform/Files.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace protocol {

namespace {

// Reads a whole descriptor from its start; nullopt on a read error.
std::optional<QByteArray> readAll(int fd, off_t size)
{
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (!platform::readFully(fd, bytes.data(), 0, std::uint64_t(size)))
        return std::nullopt;
    return bytes;
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
        return ENOENT;
    if (!QDir().mkpath(m_folder)) {
        // The cause: the last step fails as the whole did.
        if (::mkdir(QFile::encodeName(m_folder).constData(), 0700) != 0)
            return errno == EEXIST ? ENOTDIR : errno;
    }
    const QString path = filePath(run.date.isValid() ? run.date : QDate::currentDate());
    platform::FileDescriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.valid())
        return errno;
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0)
        return errno;

    std::optional<CsvLayout> layout;
    if (st.st_size > 0) {
        if (auto known = m_layouts.constFind(path); known != m_layouts.constEnd()) {
            layout = *known;
        } else {
            // A file of another session: its own convention goes on.
            if (const auto bytes = readAll(fd.get(), st.st_size))
                layout = lastCsvLayout(*bytes);
        }
    }
    const QList<CsvExtraColumn> extra = extraColumns({run});
    QByteArray bytes;
    // A file that ends inside a line (cut off by a crash) gets that line ended first.
    if (st.st_size > 0) {
        char last = '\n';
        if (::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n')
            bytes += "\r\n";
    }
    if (layout)
        convention = layout->convention;
    if (!layout || layout->extra != extra) {
        bytes += csvHeader(extra, convention).toUtf8();
    }
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
    m_layouts.insert(path, CsvLayout{convention, extra});
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return readCsv(file.readAll());
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
    case ENOENT:
        reason = QStringLiteral("Kein Ordner für Benutzerdaten");
        break;
    default:
        reason = QStringLiteral("Fehler %1 (%2)")
                     .arg(error)
                     .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
    return QStringLiteral("Die Messungen können nicht gesichert werden: %1 (%2). Das Protokoll "
                          "läuft weiter; diese Meldung erscheint nur einmal.")
        .arg(reason, path);
}

} // namespace protocol
