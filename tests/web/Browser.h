#pragma once

// Headless Chromium driven over its DevTools pipe (file descriptors 3 and 4, one JSON
// message per NUL), so that a test can ask the live page what it shows and when.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

extern char **environ;

namespace webtest {

class Browser
{
public:
    // Starts the browser on url; false when it cannot be started.
    bool start(const QString &url)
    {
        int in[2], out[2]; // in: we write, the browser reads on 3; out: it writes on 4
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return false;
        const QStringList arguments = {
            QStringLiteral("chromium"), QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
            QStringLiteral("--disable-gpu"), QStringLiteral("--disable-background-networking"),
            QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
            QStringLiteral("--no-first-run"), QStringLiteral("--hide-scrollbars"),
            QStringLiteral("--user-data-dir=") + m_profile.path(),
            QStringLiteral("--remote-debugging-pipe"), QStringLiteral("--window-size=1920,1080"), url};
        std::vector<QByteArray> bytes;
        for (const QString &a : arguments)
            bytes.push_back(a.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 3);
        posix_spawn_file_actions_adddup2(&actions, out[1], 4);
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        posix_spawn_file_actions_adddup2(&actions, devNull, 2); // its D-Bus complaints
        const int spawned = posix_spawnp(&m_pid, "chromium", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(devNull);
        ::close(in[0]);
        ::close(out[1]);
        m_write = in[1];
        m_read = out[0];
        return spawned == 0;
    }

    ~Browser()
    {
        if (m_write >= 0)
            ::close(m_write);
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_read >= 0)
            ::close(m_read);
    }

    // Sends a command and waits for its answer (events in between are dropped); an empty
    // object on time-out.
    QJsonObject call(const QString &method, const QJsonObject &params = {}, int timeoutMs = 15000)
    {
        QJsonObject message{{QStringLiteral("id"), ++m_id},
                            {QStringLiteral("method"), method},
                            {QStringLiteral("params"), params}};
        if (!m_session.isEmpty())
            message[QStringLiteral("sessionId")] = m_session;
        const QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
        if (::write(m_write, bytes.constData(), size_t(bytes.size())) != bytes.size())
            return {};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            const qsizetype end = m_buffer.indexOf('\0');
            if (end < 0) {
                pollfd p{m_read, POLLIN, 0};
                if (::poll(&p, 1, 100) > 0) {
                    char chunk[65536];
                    const ssize_t n = ::read(m_read, chunk, sizeof chunk);
                    if (n <= 0)
                        return {};
                    m_buffer.append(chunk, n);
                }
                continue;
            }
            const QJsonObject reply = QJsonDocument::fromJson(m_buffer.left(end)).object();
            m_buffer.remove(0, end + 1);
            if (reply.value(QStringLiteral("id")).toInt() == m_id)
                return reply;
        }
        return {};
    }

    // Attaches to the page the browser opened with the address.
    bool attach()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QJsonObject targets = call(QStringLiteral("Target.getTargets"));
            for (const auto &t : targets[QStringLiteral("result")][QStringLiteral("targetInfos")].toArray()) {
                const QJsonObject info = t.toObject();
                if (info[QStringLiteral("type")].toString() != QStringLiteral("page"))
                    continue;
                const QJsonObject attached =
                    call(QStringLiteral("Target.attachToTarget"),
                         {{QStringLiteral("targetId"), info[QStringLiteral("targetId")]},
                          {QStringLiteral("flatten"), true}});
                m_session = attached[QStringLiteral("result")][QStringLiteral("sessionId")].toString();
                return !m_session.isEmpty();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // The value of a script expression in the page (JSON-able values only).
    QJsonValue evaluate(const QString &expression)
    {
        const QJsonObject reply = call(QStringLiteral("Runtime.evaluate"),
                                       {{QStringLiteral("expression"), expression},
                                        {QStringLiteral("returnByValue"), true}});
        return reply[QStringLiteral("result")][QStringLiteral("result")][QStringLiteral("value")];
    }

    // Polls the expression until it is true or the time runs out.
    bool waitUntil(const QString &expression, int timeoutMs = 30000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (evaluate(expression).toBool())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // The page as a PNG in a window of the given size.
    QByteArray screenshot(int width, int height, bool mobile)
    {
        call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
             {{QStringLiteral("width"), width},
              {QStringLiteral("height"), height},
              {QStringLiteral("deviceScaleFactor"), 1},
              {QStringLiteral("mobile"), mobile}});
        // The page laid out at the new size and drawn: two animation frames after it.
        call(QStringLiteral("Runtime.evaluate"),
             {{QStringLiteral("expression"),
               QStringLiteral("new Promise(r => requestAnimationFrame(() => "
                              "requestAnimationFrame(() => r(true))))")},
              {QStringLiteral("awaitPromise"), true},
              {QStringLiteral("returnByValue"), true}});
        const QJsonObject shot = call(QStringLiteral("Page.captureScreenshot"),
                                      {{QStringLiteral("format"), QStringLiteral("png")}});
        return QByteArray::fromBase64(
            shot[QStringLiteral("result")][QStringLiteral("data")].toString().toLatin1());
    }

private:
    QTemporaryDir m_profile;
    pid_t m_pid = -1;
    int m_write = -1;
    int m_read = -1;
    int m_id = 0;
    QString m_session;
    QByteArray m_buffer;
};

} // namespace webtest
