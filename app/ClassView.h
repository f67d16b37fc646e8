#pragma once

#include "session/Session.h"
#include "web/ClassViewServer.h"
#include "web/ClassViewState.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;

namespace app {

class ClassViewDialog;
class ProjectorView;

// The class view in the program: while switched on it owns the server and hands it what
// the window shows on every change of the session. The state is cheap and goes out at
// once (bursts coalesced in one turn of the event loop); the CSV goes with it; the PDF,
// which takes a while to draw, at most once a second after a change.
class ClassView : public QObject, private session::Session::Observer
{
    Q_OBJECT

public:
    // `timeText` gives the display's text as the window shows it.
    ClassView(session::Session &session, std::function<QString()> timeText,
              QObject *parent = nullptr);
    ~ClassView() override;

    // What the page shows of `session`, its texts in the locale's formats.
    static web::ClassViewState state(const session::Session &session, const QString &timeText,
                                     timing::Ticks now);

    // The server's options beyond the stored port (tests: port 0, loopback only).
    void setOptions(const web::ClassViewServer::Options &options) { m_options = options; }
    const web::ClassViewServer::Options &options() const { return m_options; }

    // Starts or stops the server and remembers the choice as "ClassView". Returns the
    // German message when the server cannot start (the port taken); it is then off.
    QString setOn(bool on);
    bool isOn() const { return m_server != nullptr; }
    // http://ADDRESS:PORT/?k=CODE while on, else empty.
    QString url() const;
    web::ClassViewServer *server() const { return m_server.get(); }

    // Sends the state (and the CSV) now, as the coalescing timer does.
    void publishNow();
    // Draws the PDF now, as the once-a-second timer does.
    void makePdf();

    // The switch: a checkbox "Klassenansicht" in `strip` at `geometry`, and on `display`'s
    // context menu the same as a checkable command beside one that shows the address.
    void addControls(QWidget *strip, const QRect &geometry, QWidget *display);
    // The projector view shows the address in a corner while the class view is on.
    void setProjector(ProjectorView *projector);
    // At the program's start: on when the user left it on.
    void startIfRemembered();
    // The user's switch: a taken port is said in German; switched on, the address is shown.
    void switchByUser(bool on);
    // The dialog with the address; made at the first call.
    ClassViewDialog *showAddress();
    QCheckBox *checkBox() const { return m_box; }
    QAction *action() const { return m_action; }

signals:
    void switched(bool on, const QString &url);

private:
    void clockChanged() override { schedule(); }
    void sessionChanged() override
    {
        schedule();
        m_csvDirty = true;
        if (m_server && !m_pdfTimer.isActive())
            m_pdfTimer.start();
    }

    void schedule();

    session::Session &m_session;
    std::function<QString()> m_timeText;
    web::ClassViewServer::Options m_options;
    std::unique_ptr<web::ClassViewServer> m_server;
    QTimer m_publishTimer;
    QTimer m_pdfTimer;
    bool m_csvDirty = true;
    QWidget *m_dialogParent = nullptr;
    QCheckBox *m_box = nullptr;
    QAction *m_action = nullptr;
    QPointer<ProjectorView> m_projector;
    QPointer<ClassViewDialog> m_dialog;
};

} // namespace app
