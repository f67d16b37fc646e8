// Any bytes as the settings file on disk, then a load and a save as the program does them
// at start and close. Nothing may be lost: after the save the file holds every key and
// value it held before plus the three settings; or the save was refused and the file is
// what it was (or what the load made of it); a damaged hive is kept aside byte for byte;
// a file that is no hive is left as it was.

#include "platform/Errors.h"
#include "registry/RegFile.h"
#include "registry/RegistryStore.h"
#include "settings/Settings.h"

#include "Version.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

class Target : public settings::SettingsTarget
{
public:
    void applyComPort(int) override {}
    void applyComAlg(int) override {}
    void applyMeters(long double) override {}
};

const QString Store = QStringLiteral(TACHOFLUX_TITLE);
const QString Section = Store + QStringLiteral("\\Settings");

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

template <typename F> bool succeeds(F &&body)
{
    try {
        body();
        return true;
    } catch (const platform::ERegistryException &) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    static const bool configured = [] {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        return QDir().mkpath(dir.path() + QStringLiteral("/tachoflux"));
    }();
    check(configured);
    const QString folder = dir.path() + QStringLiteral("/tachoflux");
    const QString hivePath = folder + QStringLiteral("/registry.reg");
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);

    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(hivePath);
        check(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    registry::RegistryStore::takeProblems();

    Target target;
    succeeds([&] { settings::LoadSettings(target); });
    const bool saved = succeeds([] { settings::SaveSettings({1, 1, 2.5}); });

    const std::optional<registry::RegFile> before =
        bytes.isEmpty() ? registry::RegFile() : registry::RegFile::parse(bytes);
    if (!before) {
        const QStringList kept = QDir(folder).entryList({QStringLiteral("registry.reg.damaged-*")});
        if (registry::RegFile::hasHeader(bytes)) {
            check(kept.size() == 1 && contents(folder + u'/' + kept[0]) == bytes);
        } else {
            check(kept.isEmpty() && contents(hivePath) == bytes);
        }
        return 0;
    }
    registry::RegFile loaded = *before;
    loaded.createKey(Store);
    registry::RegFile expected = loaded;
    expected.setValue(Section, QStringLiteral("COMPort"), registry::RegValue::string("1"));
    expected.setValue(Section, QStringLiteral("COMAlg"), registry::RegValue::string("1"));
    expected.setValue(Section, QStringLiteral("Meters"), registry::RegValue::string("2500"));

    const QByteArray after = contents(hivePath);
    const std::optional<registry::RegFile> now =
        after.isEmpty() ? registry::RegFile() : registry::RegFile::parse(after);
    check(bool(now));
    if (saved)
        check(*now == expected);
    else
        check(after == bytes || *now == loaded);
    return 0;
}
