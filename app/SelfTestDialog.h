#pragma once

#include "comm/SelfTest.h"
#include "comm/SerialPort.h"

#include <QDateTime>
#include <QDialog>
#include <QMap>
#include <QString>

#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace comm {
class TMyCommStatus;
}

namespace app {

// Half the last digit shown (0.1 ms): a time that may be further off than this shows a
// fourth decimal that cannot be trusted.
inline constexpr double LastDigitUs = 100.0;

// How far a time between the two barriers may be off by the timing path alone, in
// microseconds: the systematic difference between the contacts' paths and the larger
// spread (99th percentile above the median) of the two lines.
double betweenBarriersUs(const comm::SelfTestResult &result);

// The result in German, one statement a line: the figures per line, the difference
// between the two contacts' paths, whether the adapter buffers, and what it means for the
// last digit; without a loopback, what to plug or close.
QString selfTestText(const comm::SelfTestResult &result);

// The adapter a result belongs to: its link in serial/by-id under devRoot (which names the
// maker's product and its serial number), else the device file; "COM n" where the driver
// names no device.
QString adapterIdentity(const comm::SerialPortFacts &facts, int port,
                        const QString &devRoot = QStringLiteral("/dev"));

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

// "Selbsttest der Messkette": switches DTR and RTS on the open port with a loopback plug and
// shows how late each change is recorded. Without a status (a window not on a serial port)
// it asks for a port.
class SelfTestDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SelfTestDialog(comm::TMyCommStatus *status, QWidget *parent = nullptr,
                            SelfTestStore store = SelfTestStore(), int toggles = 300);

    // Runs the test (handling events meanwhile), shows and keeps its result.
    void runTest();

    QString text() const;
    // The adapter the dialog speaks of; empty without an open port.
    const QString &adapter() const { return m_adapter; }
    std::optional<comm::SelfTestResult> lastResult() const { return m_result; }

private:
    void showKept();

    comm::TMyCommStatus *m_status;
    SelfTestStore m_store;
    int m_toggles;
    QString m_adapter;
    std::optional<comm::SelfTestResult> m_result;
    QLabel *m_text = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_start = nullptr;
};

} // namespace app
