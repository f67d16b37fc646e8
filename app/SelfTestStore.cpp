#include "app/SelfTestStore.h"

#include "platform/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace app {

namespace {

QJsonArray lineJson(const comm::SelfTestLine &line)
{
    return {line.edges, line.medianUs, line.p99Us, line.maxUs};
}

bool lineFromJson(const QJsonValue &value, comm::SelfTestLine &line)
{
    const QJsonArray a = value.toArray();
    if (a.size() != 4)
        return false;
    for (const QJsonValue &v : a)
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return false;
    line.edges = a[0].toInt();
    line.medianUs = a[1].toDouble();
    line.p99Us = a[2].toDouble();
    line.maxUs = a[3].toDouble();
    return true;
}

// A file of this size is not ours.
constexpr qint64 MaxFileBytes = 64 * 1024;

} // namespace

QString SelfTestStore::defaultPath()
{
    const QString folder = platform::configFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/selbsttest.json");
}

SelfTestStore::SelfTestStore(QString path) : m_path(std::move(path)) {}

QMap<QString, KeptSelfTest> SelfTestStore::read() const
{
    m_damaged = false;
    QMap<QString, KeptSelfTest> kept;
    if (m_path.isEmpty() || !QFileInfo::exists(m_path))
        return kept;
    const platform::SideFile file = platform::readSideFile(m_path, MaxFileBytes);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &error);
    if (!file.error.isEmpty() || error.error != QJsonParseError::NoError || !document.isObject()) {
        m_damaged = true;
        return kept;
    }
    const QJsonObject adapters = document.object().value(QStringLiteral("adapters")).toObject();
    for (auto it = adapters.begin(); it != adapters.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        KeptSelfTest entry;
        entry.when = QDateTime::fromString(o.value(QStringLiteral("when")).toString(), Qt::ISODate);
        comm::SelfTestResult &r = entry.result;
        r.loopback = o.value(QStringLiteral("loopback")).toBool();
        r.buffering = o.value(QStringLiteral("buffering")).toBool();
        r.latencyMs = o.value(QStringLiteral("latencyMs")).toInt(-1);
        r.systematicUs = o.value(QStringLiteral("systematicUs")).toDouble(NAN);
        // An entry that does not read whole is no result at all.
        if (!entry.when.isValid() || !std::isfinite(r.systematicUs) ||
            !lineFromJson(o.value(QStringLiteral("dsr")), r.dsr) ||
            !lineFromJson(o.value(QStringLiteral("cts")), r.cts)) {
            m_damaged = true;
            continue;
        }
        kept.insert(it.key(), entry);
    }
    return kept;
}

std::optional<KeptSelfTest> SelfTestStore::find(const QString &adapter) const
{
    const QMap<QString, KeptSelfTest> kept = read();
    const auto it = kept.constFind(adapter);
    if (it == kept.cend())
        return std::nullopt;
    return *it;
}

QString SelfTestStore::keep(const QString &adapter, const KeptSelfTest &kept)
{
    if (m_path.isEmpty())
        return QStringLiteral("Es gibt keinen Ordner für die Einstellungen.");
    QMap<QString, KeptSelfTest> all = read();
    all.insert(adapter, kept);
    while (all.size() > MaxAdapters) {
        auto oldest = std::min_element(all.begin(), all.end(), [](const auto &a, const auto &b) {
            return a.when < b.when;
        });
        all.erase(oldest);
    }
    QJsonObject adapters;
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        const comm::SelfTestResult &r = it->result;
        adapters.insert(it.key(),
                        QJsonObject{{QStringLiteral("when"), it->when.toString(Qt::ISODateWithMs)},
                                    {QStringLiteral("loopback"), r.loopback},
                                    {QStringLiteral("buffering"), r.buffering},
                                    {QStringLiteral("latencyMs"), r.latencyMs},
                                    {QStringLiteral("systematicUs"), r.systematicUs},
                                    {QStringLiteral("dsr"), lineJson(r.dsr)},
                                    {QStringLiteral("cts"), lineJson(r.cts)}});
    }
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{QStringLiteral("adapters"), adapters}}).toJson();
    const QString folder = QFileInfo(m_path).absolutePath();
    errno = 0;
    if (!QDir().mkpath(folder))
        return QStringLiteral("Der Ordner %1 lässt sich nicht anlegen.").arg(folder);
    const QByteArray target = QFile::encodeName(m_path);
    platform::ReplaceOptions options;
    options.temporaryTemplate = platform::folderOf(target) + "/.selbsttest-" +
                                QByteArray::number(::getpid()) + "-XXXXXX";
    const platform::ReplaceResult result = platform::replaceFile(target, nullptr, bytes, options);
    if (!result)
        return QStringLiteral("Das Ergebnis ließ sich nicht in %1 speichern: %2")
            .arg(m_path, QString::fromLocal8Bit(std::strerror(result.error ? result.error : EIO)));
    m_damaged = false;
    return {};
}

} // namespace app
