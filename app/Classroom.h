#pragma once

#include "app/ProjectorView.h"
#include "session/Session.h"
#include "platform/SoundOutput.h"

#include <QObject>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;

namespace widgets {
class TIAeverLiquidIndicator;
}

namespace app {

class ClassView;

// What a class watching a run needs beside the main window: the armed state in words and
// colour (a strip below the window's controls, which stay where they are), the projector
// view (F11) and a tone on start and on stop, in every mode. It follows the session; the
// window only tells it when the display is drawn anew.
class Classroom : public QObject, private session::Session::Observer
{
    Q_OBJECT

public:
    // Adds the strip below `form`, which grows by its height, and shows `digits` on the
    // projector. Made once the window has loaded its settings.
    Classroom(QWidget &form, session::Session &session, widgets::TIAeverLiquidIndicator &digits);
    ~Classroom() override;

    static constexpr int StripHeight = 26;

    // On every display refresh.
    void refresh();
    // The projector's figures: the last run and the series the next run joins.
    static ProjectorFigures figures(const session::Session &session);

    void toggleProjector();
    // Null until the projector view is first opened.
    ProjectorView *projector() const { return m_projector; }
    ClassView *classView() const { return m_classView; }

    session::ArmedState state() const { return m_state; }
    QLabel *stateLabel() const { return m_stateLabel; }

    // "Ton": remembered as the setting "Sound"; a file without it plays tones.
    bool soundOn() const { return m_soundOn; }
    void setSoundOn(bool on);
    // Remembered as "ProjectorScreen" (1, the default: another screen when there is one).
    bool preferOtherScreen() const { return m_preferOther; }
    void setPreferOtherScreen(bool other);

    // The output the tones go to; made at the first tone unless a test set one before.
    void setSoundOutput(std::unique_ptr<platform::SoundOutput> output);
    platform::SoundOutput *soundOutput() const { return m_sound.get(); }

private:
    // session::Session::Observer
    void clockChanged() override { updateState(); }
    void linesChanged() override { updateState(); }
    void runStarted() override { playTone(true); }
    void runTaken() override { playTone(false); }

    void updateState();
    void playTone(bool start);
    void showProjectorFigures();

    QWidget &m_form;
    session::Session &m_session;
    widgets::TIAeverLiquidIndicator &m_digits;
    session::ArmedState m_state = session::ArmedState::NoPort;
    QString m_shownText;
    bool m_soundOn = true;
    bool m_preferOther = true;

    QLabel *m_stateLabel = nullptr;
    QCheckBox *m_soundBox = nullptr;
    QPushButton *m_projectorButton = nullptr;
    QAction *m_projectorAction = nullptr;
    QAction *m_otherScreenAction = nullptr;
    QAction *m_soundAction = nullptr;
    ProjectorView *m_projector = nullptr;
    ClassView *m_classView = nullptr;

    std::unique_ptr<platform::SoundOutput> m_sound;
    std::shared_ptr<const platform::Pcm> m_startTone;
    std::shared_ptr<const platform::Pcm> m_stopTone;
};

} // namespace app
