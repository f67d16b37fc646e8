// Any bytes as the settings file on disk, then a load and a save as the program does them
// at start and close. Nothing may be lost: after the save the file holds every key and
// value it held before, and a load gives the settings saved (a value the load refused and
// the save did not change stays as it was); or the save was refused and the file is what
// it was (or what the load made of it); a damaged hive is kept aside byte for byte; a file
// that is no hive is left as it was.

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
    settings::SettingsValues applied;
    void applyComPort(int index) override { applied.comPort = index; }
    void applyComAlg(int index) override { applied.comAlg = index; }
    void applyMeters(long double meters) override { applied.meters = double(meters); }
    void applyMode(int index) override { applied.mode = index; }
    void applyFlagMeters(long double meters) override { applied.flagMeters = double(meters); }
    void applyMinDarkMs(int ms) override { applied.minDarkMs = ms; }
    void applyMinContactMs(int ms) override { applied.minContactMs = ms; }
};

const char *const Names[] = {"COMPort", "COMAlg", "Meters", "Mode",
                             "FlagMeters", "MinDarkMs", "MinContactMs"};

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
    succeeds([&] { settings::LoadSettingsChecked(target); });
    const settings::SettingsValues chosen{1, 1, 2.5};
    const bool saved = succeeds([&] { settings::SaveSettings(chosen); });

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

    const QByteArray after = contents(hivePath);
    const std::optional<registry::RegFile> now =
        after.isEmpty() ? registry::RegFile() : registry::RegFile::parse(after);
    check(bool(now));
    if (!saved) {
        check(after == bytes || *now == loaded);
        return 0;
    }
    // Everything but the seven as it was.
    registry::RegFile expected = loaded;
    registry::RegFile others = *now;
    for (const char *name : Names) {
        expected.setValue(Section, QString::fromLatin1(name), registry::RegValue::string("x"));
        others.setValue(Section, QString::fromLatin1(name), registry::RegValue::string("x"));
    }
    check(others == expected);
    Target again;
    check(succeeds([&] { settings::LoadSettingsChecked(again); }));
    const settings::SettingsValues &a = again.applied;
    check(a.comPort == chosen.comPort && a.comAlg == chosen.comAlg && a.meters == chosen.meters &&
          a.mode == chosen.mode && a.flagMeters == chosen.flagMeters &&
          a.minDarkMs == chosen.minDarkMs && a.minContactMs == chosen.minContactMs);
    return 0;
}
