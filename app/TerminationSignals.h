#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace app {

// SIGTERM (kill, shutdown), SIGHUP (the terminal or session went away) and SIGINT (Ctrl+C)
// end the program through its normal close path, so the settings are saved as on a close.
// The handler only writes a byte to a pipe; the event loop then runs the end action once.
// A signal that comes while no event loop runs waits for the next one, and requested()
// tells the start-up that it came. One instance at a time.
class TerminationSignals : public QObject
{
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

    void setOnEnd(std::function<void()> onEnd) { m_onEnd = std::move(onEnd); }
    bool requested() const { return m_requested; }

private:
    void arrived();

    QSocketNotifier *m_notifier = nullptr;
    std::function<void()> m_onEnd;
    bool m_requested = false;
};

} // namespace app
