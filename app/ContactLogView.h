#pragma once

#include "app/ContactLogPicture.h"

#include <QWidget>

#include <optional>

namespace app {

// The contact display's traces: the last seconds up to now while it runs, a stretch held
// still while it is paused. The wheel and + / - zoom (while running the right edge stays
// now; paused, the wheel keeps the instant under the mouse), Left and Right move a paused
// stretch, Space pauses and resumes, End resumes.
class ContactLogView : public QWidget
{
    Q_OBJECT

public:
    static constexpr timing::Ticks MinLength = 10;         // 1 ms
    static constexpr timing::Ticks MaxLength = 1'200'000;  // 2 min
    static constexpr timing::Ticks DefaultLength = 50'000; // 5 s

    explicit ContactLogView(const ContactLog &log, QWidget *parent = nullptr);

    // The stretch shown now; while running it ends at the current tick count.
    ContactLogSpan span() const;
    bool isPaused() const { return m_paused; }
    void setPaused(bool paused);
    // Each step halves (positive) or doubles (negative) the stretch, within the limits,
    // keeping the instant at `anchorX` where it is (paused only; default the middle).
    void zoom(int steps, std::optional<int> anchorX = std::nullopt);
    // Moves by a quarter of the stretch per step, later for positive steps; pauses.
    void pan(int steps);
    // Pauses with `at` in the middle.
    void showAt(timing::Ticks at);

    // A stretch's length as people read it: "5 s", "2,5 s", "312,5 ms".
    static QString lengthText(timing::Ticks length, QChar decimal);

    QSize sizeHint() const override { return {760, 240}; }
    QSize minimumSizeHint() const override { return {320, 120}; }

signals:
    void pausedChanged(bool paused);
    void spanChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void changed();

    const ContactLog &m_log;
    timing::Ticks m_length = DefaultLength;
    timing::Ticks m_end = 0; // of the held stretch
    bool m_paused = false;
    int m_wheelAngle = 0;
};

} // namespace app
