#pragma once

#include "app/SelfTestStore.h"
#include "comm/SelfTest.h"

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace comm {
class TMyCommStatus;
}

namespace app {

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
