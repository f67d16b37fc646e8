#pragma once

#include "comm/SelfTest.h"

#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>

namespace app {

struct KeptSelfTest
{
    QDateTime when;
    comm::SelfTestResult result;
};

// The last self-test of each adapter, in a small file of the program's configuration.
class SelfTestStore
{
public:
    static constexpr int MaxAdapters = 32;

    // The file under platform::configFolder(); empty without a home folder.
    static QString defaultPath();
    explicit SelfTestStore(QString path = defaultPath());

    // The adapters' results as the file holds them; a damaged file holds none (damaged()).
    QMap<QString, KeptSelfTest> read() const;
    std::optional<KeptSelfTest> find(const QString &adapter) const;
    bool damaged() const { return m_damaged; }

    // Keeps `kept` for `adapter`, replacing the file in one step (the oldest adapter's
    // result goes beyond MaxAdapters). Empty, or the German reason it failed.
    QString keep(const QString &adapter, const KeptSelfTest &kept);

    const QString &path() const { return m_path; }

private:
    QString m_path;
    mutable bool m_damaged = false;
};

} // namespace app
