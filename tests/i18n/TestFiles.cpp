#include "i18n/TestFiles.h"
#include "i18n/StoreMarker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdlib>
#include <stdexcept>

namespace testfiles {

QString catalog(const QString &name)
{
    return QStringLiteral(TF_TEST_CATALOGS "/") + name + QStringLiteral(".mo");
}

QString programCatalog(const QString &domain)
{
    return QStringLiteral(TF_PROGRAM_CATALOGS "/de/LC_MESSAGES/") + domain + QStringLiteral(".mo");
}

QByteArray read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void copy(const QString &from, const QString &to)
{
    write(to, read(from));
    QFile::setPermissions(to, QFile::permissions(from));
}

QString placeCatalog(const QString &root, const QString &language, const QString &domain,
                     const QString &source)
{
    const QString path = root + QLatin1Char('/') + language + QStringLiteral("/LC_MESSAGES/") +
                         domain + QStringLiteral(".mo");
    copy(source, path);
    return path;
}

QString copyProbe(const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name;
    copy(QStringLiteral(TF_STORE_PROBE), path);
    return path;
}

ToolResult appendStore(const QString &executable, const QStringList &items,
                       const QStringList &options)
{
    QProcess tool;
    tool.start(QStringLiteral(TF_APPEND_STORE), options + QStringList{executable} + items);
    tool.waitForFinished(60000);
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            QString::fromLocal8Bit(tool.readAllStandardError())};
}

const std::vector<Treatment> &strippingTreatments()
{
    static const QString strip = QStringLiteral(TF_STRIP);
    static const QString objcopy = QStringLiteral(TF_OBJCOPY);
    static const std::vector<Treatment> treatments = {
        {"as linked", {}},
        {"strip", {{strip, "%1"}}},
        {"objcopy --strip-debug", {{objcopy, "--strip-debug", "%1"}}},
        {"strip --strip-unneeded", {{strip, "--strip-unneeded", "%1"}}},
        // Debian's dh_strip: debug information split off, the program stripped and linked to it.
        {"debug information split off",
         {{objcopy, "--only-keep-debug", "--compress-debug-sections", "%1", "%1.debug"},
          {strip, "--remove-section=.comment", "--remove-section=.note", "%1"},
          {objcopy, "--add-gnu-debuglink=%1.debug", "%1"}}},
    };
    return treatments;
}

QString treatedCopy(const QString &executable, const QString &folder, const QString &name,
                    const Treatment &treatment)
{
    const QString path = folder + QLatin1Char('/') + name;
    copy(executable, path);
    for (const QStringList &command : treatment.commands) {
        QStringList arguments = command.mid(1);
        for (QString &argument : arguments)
            argument.replace(QStringLiteral("%1"), path);
        QProcess process;
        process.start(command.front(), arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            throw std::runtime_error(command.join(' ').toStdString() +
                                     " failed: " + process.readAllStandardError().toStdString());
    }
    return path;
}

std::uint64_t markerPosition(const QString &executable)
{
    const QByteArray bytes = read(executable);
    std::uint64_t position = 0;
    if (!i18n::store_marker::positionIn(std::string_view(bytes.constData(), bytes.size()),
                                        position))
        throw std::runtime_error("no marker in " + executable.toStdString());
    return position;
}

std::uint32_t get32(const QByteArray &bytes, qsizetype at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void put32(QByteArray &bytes, qsizetype at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t get64(const QByteArray &bytes, qsizetype at)
{
    return i18n::store_marker::readLittleEndian64(bytes.constData() + at);
}

void put64(QByteArray &bytes, qsizetype at, std::uint64_t value)
{
    i18n::store_marker::writeLittleEndian64(bytes.data() + at, value);
}

EnvironmentGuard::~EnvironmentGuard()
{
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->value)
            qputenv(it->name.constData(), *it->value);
        else
            qunsetenv(it->name.constData());
    }
}

void EnvironmentGuard::set(const char *name, const std::optional<QByteArray> &value)
{
    std::optional<QByteArray> previous;
    if (qEnvironmentVariableIsSet(name))
        previous = qgetenv(name);
    m_saved.push_back({QByteArray(name), previous});
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

} // namespace testfiles
