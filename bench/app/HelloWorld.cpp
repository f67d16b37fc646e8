// The reference for the start-up benchmark: the smallest Qt Widgets window, reporting
// the instant it is first exposed and its resident memory a second later, as the program
// does with TACHOFLUX_STARTUP_REPORT set.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <ctime>

namespace {

class Report : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto *window = qobject_cast<QWindow *>(watched);
        if (event->type() == QEvent::Expose && !m_seen && window && window->isExposed()) {
            m_seen = true;
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("mapped %lld\n",
                        static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            QTimer::singleShot(1000, qApp, [] {
                QFile status(QStringLiteral("/proc/self/status"));
                if (status.open(QIODevice::ReadOnly)) {
                    for (const QByteArray &line : status.readAll().split('\n')) {
                        if (line.startsWith("VmRSS:"))
                            std::printf("rss %s\n", line.mid(6).trimmed().constData());
                    }
                }
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Hallo Welt"));
    label.resize(320, 120);
    label.winId();
    label.windowHandle()->installEventFilter(new Report(&label));
    label.show();
    return app.exec();
}
