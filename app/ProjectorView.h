#pragma once

#include "session/ArmedState.h"
#include "session/Series.h"

#include "protocol/Run.h"

#include <optional>

#include <QWidget>

namespace widgets {
class QrCode;
class TIAeverLiquidIndicator;
}

namespace app {

class BigText;

// What the projector shows of the runs: the last one and the current series with the
// mode's own result.
struct ProjectorFigures
{
    std::optional<protocol::Run> last;
    session::SeriesResult series;

    bool operator==(const ProjectorFigures &) const = default;
};

// Which screen the projector view takes: another than the main window's when one exists
// and the user prefers it, else the main window's own.
int projectorScreenIndex(int screenCount, int mainIndex, bool preferOther);

// The chronometer for a whole class: a full-screen window with the running time in the
// same segment display as the main window, drawn anew at the window's size, the armed
// state, the last run and the means, in large bright type on black. It holds no data:
// the main window hands it what to show on every display refresh.
class ProjectorView : public QWidget
{
    Q_OBJECT

public:
    explicit ProjectorView(QWidget *parent = nullptr);
    ~ProjectorView() override;

    // Takes the main display's look (kind, colours, cells), so both show the same face.
    void copyLook(const widgets::TIAeverLiquidIndicator &source);

    // Full screen on the given screen.
    void showOn(QScreen *screen);

    void setTime(const QString &text);
    void setArmedState(session::ArmedState state);
    void setFigures(const ProjectorFigures &figures);
    // The class view's address as a QR code in a corner; empty shows none.
    void setJoinUrl(const QString &url);
    QString joinUrl() const;

    widgets::TIAeverLiquidIndicator *display() const { return m_digits; }
    QString stateText() const;
    QString lastRunText() const;
    QString statisticsText() const;

signals:
    // The keys F5, F6 and F8, which work here as in the main window.
    void contact1Requested();
    void contact2Requested();
    void resetRequested();
    void closed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void layOut();

    widgets::TIAeverLiquidIndicator *m_digits = nullptr;
    BigText *m_state = nullptr;
    BigText *m_lastRun = nullptr;
    BigText *m_statistics = nullptr;
    widgets::QrCode *m_join = nullptr;
};

} // namespace app
