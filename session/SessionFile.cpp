#include "session/SessionFile.h"

#include "platform/Files.h"
#include "protocol/RunLog.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <clocale>
#include <locale.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace session {

namespace {

const QString Format = QStringLiteral("tachoflux-sitzung");
constexpr int Version = 1;
const QString Marker = QStringLiteral("aktuelle-Sitzung");
const QByteArray TemporaryPrefix = ".sitzung-";
// A session of a whole school year stays far below; anything larger is no session of ours.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

// The C library's numbers in the C locale for this thread while it lives: a session written
// under one locale reads back under any other.
class CNumbers
{
public:
    CNumbers() : m_c(newlocale(LC_NUMERIC_MASK, "C", locale_t(0))), m_before(uselocale(m_c)) {}
    ~CNumbers()
    {
        uselocale(m_before);
        freelocale(m_c);
    }
    CNumbers(const CNumbers &) = delete;
    CNumbers &operator=(const CNumbers &) = delete;

private:
    locale_t m_c;
    locale_t m_before;
};

// Long doubles as text that reads back to the same value: a restored session equals the
// one written, to the last bit.
QString exact(long double value)
{
    const CNumbers numbers;
    char text[64];
    std::snprintf(text, sizeof text, "%.21Lg", value);
    return QString::fromLatin1(text);
}

std::optional<long double> exactOf(const QJsonValue &value)
{
    if (value.isDouble())
        return value.toDouble();
    const QByteArray text = value.toString().toLatin1();
    if (text.isEmpty())
        return std::nullopt;
    char *end = nullptr;
    const CNumbers numbers;
    const long double v = std::strtold(text.constData(), &end);
    if (end != text.constData() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QJsonObject runObject(const protocol::Run &run)
{
    QJsonObject o;
    o[QStringLiteral("date")] = run.date.toString(Qt::ISODate);
    o[QStringLiteral("time")] = run.time.toString(QStringLiteral("HH:mm:ss.zzz"));
    o[QStringLiteral("ticks")] = run.ticks ? QJsonValue(QString::number(*run.ticks)) : QJsonValue();
    o[QStringLiteral("meters")] = exact(run.meters);
    o[QStringLiteral("late")] = run.late;
    o[QStringLiteral("uncertaintyMs")] = run.uncertaintyMs;
    o[QStringLiteral("label")] = run.label;
    o[QStringLiteral("mode")] = int(run.mode);
    o[QStringLiteral("manual")] = run.manual;
    QJsonArray extra;
    for (const protocol::RunValue &v : run.extra) {
        QJsonObject e;
        e[QStringLiteral("name")] = v.name;
        e[QStringLiteral("unit")] = v.unit;
        e[QStringLiteral("value")] = v.value ? QJsonValue(exact(*v.value)) : QJsonValue();
        e[QStringLiteral("uncertainty")] = exact(v.uncertainty);
        e[QStringLiteral("decimals")] = v.decimals;
        e[QStringLiteral("late")] = v.late;
        extra.append(e);
    }
    o[QStringLiteral("extra")] = extra;
    if (!run.speeds.isEmpty()) {
        // A picket fence pass's v(t), so that its chart can be drawn again.
        QJsonArray speeds;
        for (const QPointF &p : run.speeds)
            speeds.append(QJsonArray{p.x(), p.y()});
        o[QStringLiteral("speeds")] = speeds;
    }
    return o;
}

// Why a stored run cannot be taken, empty when it can; the same limits as typed input.
QString runRefusal(const protocol::Run &run)
{
    if (!run.date.isValid() || !run.time.isValid())
        return QStringLiteral("Datum oder Uhrzeit fehlt");
    if (run.ticks && *run.ticks < 0)
        return QStringLiteral("negative Zeit");
    if (!std::isfinite(double(run.meters)) || run.meters < 0 || run.meters > 1000)
        return QStringLiteral("Strecke außerhalb von 0 bis 1000 m");
    if (!std::isfinite(run.uncertaintyMs) || run.uncertaintyMs < 0)
        return QStringLiteral("ungültige Unsicherheit");
    if (int(run.mode) < 0 || int(run.mode) >= timing::MeasurementModeCount)
        return QStringLiteral("unbekannte Messart");
    for (const protocol::RunValue &v : run.extra) {
        if (v.value && !std::isfinite(double(*v.value)))
            return QStringLiteral("ungültiger Wert in %1").arg(v.name);
        if (v.decimals < 0 || v.decimals > 9)
            return QStringLiteral("ungültige Stellenzahl in %1").arg(v.name);
    }
    return {};
}

std::optional<protocol::Run> runOf(const QJsonObject &o, QString &why)
{
    protocol::Run run;
    run.date = QDate::fromString(o.value(QStringLiteral("date")).toString(), Qt::ISODate);
    run.time = QTime::fromString(o.value(QStringLiteral("time")).toString(),
                                 QStringLiteral("HH:mm:ss.zzz"));
    const QJsonValue ticks = o.value(QStringLiteral("ticks"));
    if (!ticks.isNull() && !ticks.isUndefined()) {
        bool ok = false;
        run.ticks = ticks.toString().toLongLong(&ok);
        if (!ok) {
            why = QStringLiteral("ungültige Zeit");
            return std::nullopt;
        }
    }
    const std::optional<long double> meters = exactOf(o.value(QStringLiteral("meters")));
    if (!meters) {
        why = QStringLiteral("ungültige Strecke");
        return std::nullopt;
    }
    run.meters = *meters;
    run.late = o.value(QStringLiteral("late")).toBool();
    run.uncertaintyMs = o.value(QStringLiteral("uncertaintyMs")).toDouble();
    run.label = protocol::cleanLabel(o.value(QStringLiteral("label")).toString());
    run.mode = timing::MeasurementMode(o.value(QStringLiteral("mode")).toInt(-1));
    run.manual = o.value(QStringLiteral("manual")).toBool();
    for (const QJsonValue &item : o.value(QStringLiteral("speeds")).toArray()) {
        const QJsonArray p = item.toArray();
        const double t = p.at(0).toDouble(qQNaN()), v = p.at(1).toDouble(qQNaN());
        if (p.size() != 2 || !std::isfinite(t) || !std::isfinite(v)) {
            why = QStringLiteral("ungültige Geschwindigkeit");
            return std::nullopt;
        }
        run.speeds.append({t, v});
    }
    for (const QJsonValue &item : o.value(QStringLiteral("extra")).toArray()) {
        const QJsonObject e = item.toObject();
        protocol::RunValue v;
        v.name = protocol::cleanLabel(e.value(QStringLiteral("name")).toString());
        v.unit = protocol::cleanLabel(e.value(QStringLiteral("unit")).toString());
        const QJsonValue value = e.value(QStringLiteral("value"));
        if (!value.isNull()) {
            v.value = exactOf(value);
            if (!v.value) {
                why = QStringLiteral("ungültiger Wert in %1").arg(v.name);
                return std::nullopt;
            }
        }
        v.uncertainty = exactOf(e.value(QStringLiteral("uncertainty"))).value_or(-1);
        if (v.uncertainty < 0) {
            why = QStringLiteral("ungültige Unsicherheit in %1").arg(v.name);
            return std::nullopt;
        }
        v.decimals = e.value(QStringLiteral("decimals")).toInt(-1);
        v.late = e.value(QStringLiteral("late")).toBool();
        run.extra.append(v);
    }
    why = runRefusal(run);
    if (!why.isEmpty())
        return std::nullopt;
    return run;
}

} // namespace

QByteArray sessionBytes(const SessionData &data)
{
    QJsonObject o;
    o[QStringLiteral("format")] = Format;
    o[QStringLiteral("version")] = Version;
    o[QStringLiteral("created")] = data.created.toString(Qt::ISODateWithMs);
    o[QStringLiteral("title")] = data.title;
    o[QStringLiteral("class")] = data.className;
    o[QStringLiteral("notes")] = data.notes;
    QJsonArray runs;
    for (const protocol::Run &run : data.runs)
        runs.append(runObject(run));
    o[QStringLiteral("runs")] = runs;
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<SessionData> readSession(const QByteArray &bytes, QStringList *problems)
{
    const auto problem = [problems](const QString &text) {
        if (problems)
            problems->append(text);
    };
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    const QJsonObject o = doc.object();
    if (error.error != QJsonParseError::NoError || o.value(QStringLiteral("format")) != Format) {
        problem(QStringLiteral("keine Sitzungsdatei von Tachoflux"));
        return std::nullopt;
    }
    if (o.value(QStringLiteral("version")).toInt() > Version) {
        problem(QStringLiteral("Sitzungsdatei einer neueren Programmversion"));
        return std::nullopt;
    }
    SessionData data;
    data.created = QDateTime::fromString(o.value(QStringLiteral("created")).toString(), Qt::ISODateWithMs);
    data.title = o.value(QStringLiteral("title")).toString().left(200);
    data.className = o.value(QStringLiteral("class")).toString().left(200);
    data.notes = o.value(QStringLiteral("notes")).toString().left(10000);
    const QJsonArray runs = o.value(QStringLiteral("runs")).toArray();
    for (qsizetype i = 0; i < runs.size(); ++i) {
        QString why;
        if (std::optional<protocol::Run> run = runOf(runs.at(i).toObject(), why))
            data.runs.append(std::move(*run));
        else
            problem(QStringLiteral("Messung %1: %2").arg(i + 1).arg(why));
    }
    return data;
}

QString SessionStore::defaultFolder()
{
    const QString data = platform::dataFolder();
    return data.isEmpty() ? QString() : data + QStringLiteral("/Sitzungen");
}

QString SessionStore::newPath(const QDateTime &begun) const
{
    const QString base = m_folder + QStringLiteral("/Sitzung-") +
                         begun.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString path = base + QStringLiteral(".json");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = base + QStringLiteral("-%1.json").arg(n);
    return path;
}

QStringList SessionStore::paths() const
{
    QDir dir(m_folder);
    QStringList list;
    // The names carry the beginning, so the name's order is the time's.
    const QStringList names = dir.entryList({QStringLiteral("Sitzung-*.json")}, QDir::Files,
                                            QDir::Name | QDir::Reversed);
    for (const QString &name : names)
        list << dir.filePath(name);
    return list;
}

QString SessionStore::lastPath() const
{
    QFile marker(m_folder + u'/' + Marker);
    if (marker.open(QIODevice::ReadOnly)) {
        const QString name = QString::fromUtf8(marker.read(256)).trimmed();
        // Only a name in the folder: the marker points nowhere else.
        if (!name.isEmpty() && !name.contains(u'/') && QFileInfo(m_folder + u'/' + name).isFile())
            return m_folder + u'/' + name;
    }
    return paths().value(0);
}

int SessionStore::save(const QString &path, const SessionData &data)
{
    if (m_folder.isEmpty())
        return ENOENT;
    if (!QDir().mkpath(m_folder))
        return errno ? errno : EACCES;
    const QByteArray target = QFile::encodeName(path);
    platform::ReplaceOptions options;
    options.temporaryTemplate = platform::folderOf(target) + '/' + TemporaryPrefix +
                                QByteArray::number(::getpid()) + "-XXXXXX";
    const platform::ReplaceResult result =
        platform::replaceFile(target, nullptr, sessionBytes(data), options);
    if (!result)
        return result.error ? result.error : EIO;
    return markCurrent(path);
}

int SessionStore::markCurrent(const QString &path)
{
    if (m_marked == path)
        return 0;
    const QByteArray marker = QFile::encodeName(m_folder + u'/' + Marker);
    platform::ReplaceOptions options;
    options.temporaryTemplate = platform::folderOf(marker) + '/' + TemporaryPrefix +
                                QByteArray::number(::getpid()) + "-XXXXXX";
    const platform::ReplaceResult result =
        platform::replaceFile(marker, nullptr, QFileInfo(path).fileName().toUtf8(), options);
    if (!result)
        return result.error ? result.error : EIO;
    m_marked = path;
    return 0;
}

std::optional<SessionData> SessionStore::load(const QString &path, QStringList *problems)
{
    QFile file(path);
    const QFileInfo info(path);
    // Only a regular file of a sane size: a link to a device would never end.
    if (!info.isFile() || info.size() > MaxFileSize || !file.open(QIODevice::ReadOnly)) {
        if (problems)
            problems->append(QStringLiteral("%1 lässt sich nicht lesen").arg(path));
        return std::nullopt;
    }
    QStringList found;
    std::optional<SessionData> data = readSession(file.read(MaxFileSize), &found);
    if (problems)
        for (const QString &p : found)
            problems->append(QStringLiteral("%1: %2").arg(path, p));
    return data;
}

} // namespace session
