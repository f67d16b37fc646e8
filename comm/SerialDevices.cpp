#include "comm/SerialDevices.h"

#include "comm/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace comm {

namespace {

QString systemError(int error)
{
    // The C library speaks the user's language here.
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isCharacterDevice(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

// prefix0, prefix1, ..., prefix10: by number, not by text.
QStringList numbered(const QDir &dir, const QString &prefix)
{
    QList<std::pair<qulonglong, QString>> found;
    const QStringList names =
        dir.entryList({prefix + u'*'}, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        bool ok = false;
        const qulonglong n = QStringView(name).mid(prefix.size()).toULongLong(&ok);
        if (ok && name.size() > prefix.size() && name[prefix.size()].isDigit())
            found.append({n, name});
    }
    std::sort(found.begin(), found.end());
    QStringList paths;
    for (const auto &entry : found)
        paths << dir.filePath(entry.second);
    return paths;
}

} // namespace

QList<SerialDeviceEntry> listSerialDevices(const QString &devRoot, const SerialProbeFunction &probe)
{
    const QDir root(devRoot);
    QStringList byId;
    const QDir idDir(root.filePath(QStringLiteral("serial/by-id")));
    for (const QString &name :
         idDir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        byId << idDir.filePath(name);

    QList<SerialDeviceEntry> entries;
    QSet<QString> seen;
    const auto consider = [&](const QString &path, bool mustAnswer) {
        if (!isCharacterDevice(path))
            return;
        const QString device = QFileInfo(path).canonicalFilePath();
        if (seen.contains(device))
            return;
        const SerialProbe answer = probe(path);
        if (mustAnswer && !(answer.opened && answer.answersStatus))
            return;
        seen.insert(device);
        entries.append({path, device, answer});
    };
    for (const QString &path : byId)
        consider(path, false);
    for (const QString &prefix : {QStringLiteral("ttyUSB"), QStringLiteral("ttyACM")})
        for (const QString &path : numbered(root, prefix))
            consider(path, false);
    for (const QString &path : numbered(root, QStringLiteral("ttyS")))
        consider(path, true);
    return entries;
}

QString writePortLink(int number, const QString &target)
{
    const QString link = comm::DeviceSerialPorts::linkPath(std::uint8_t(number));
    const QString folder = QFileInfo(link).path();
    if (!QDir().mkpath(folder))
        return QStringLiteral("Der Ordner %1 konnte nicht angelegt werden.").arg(folder);
    // A new link beside the old one, renamed over it: the port never has no link.
    const QByteArray temporary = QFile::encodeName(link + QStringLiteral(".neu"));
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0) {
        const int error = errno;
        return QStringLiteral("Die Verknüpfung %1 konnte nicht angelegt werden: %2")
            .arg(link, systemError(error));
    }
    if (::rename(temporary.constData(), QFile::encodeName(link).constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return QStringLiteral("Die Verknüpfung %1 konnte nicht angelegt werden: %2")
            .arg(link, systemError(error));
    }
    return {};
}

QString removePortLink(int number)
{
    const QString link = comm::DeviceSerialPorts::linkPath(std::uint8_t(number));
    const QByteArray path = QFile::encodeName(link);
    struct stat st
    {
    };
    if (::lstat(path.constData(), &st) != 0)
        return {};
    if (!S_ISLNK(st.st_mode))
        return QStringLiteral("%1 ist keine Verknüpfung und bleibt, wie es ist.").arg(link);
    if (::unlink(path.constData()) != 0) {
        const int error = errno;
        return QStringLiteral("Die Verknüpfung %1 konnte nicht entfernt werden: %2")
            .arg(link, systemError(error));
    }
    return {};
}

} // namespace comm
