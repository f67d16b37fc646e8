#pragma once

#include "app/ArmedState.h"
#include "app/RunSummary.h"
#include "platform/SoundOutput.h"

#include <QObject>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;

namespace app {

class ProjectorView;
class TForm1;

// What a class watching a run needs beside the main window: the armed state in words and
// colour (a strip below the window's controls, which stay where they are), the projector
// view (F11) and a tone on start and on stop. The window calls the three hooks; everything
// else lives here.
class Classroom : public QObject
{
    Q_OBJECT

public:
    using SummarySource = std::function<RunSummary()>;

    // Adds the strip below the window, which grows by its height. Made once the window
    // has loaded its settings.
    Classroom(TForm1 &form, SummarySource summary);
    ~Classroom() override;

    static constexpr int StripHeight = 26;

    // Hooks: after a contact or a reset took effect; after every evaluation of the lines;
    // on every display refresh.
    void runChanged();
    void linesChanged();
    void refresh();

    void toggleProjector();
    // Null until the projector view is first opened.
    ProjectorView *projector() const { return m_projector; }

    ArmedState state() const { return m_state; }
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
    void updateState();
    void playTone(bool start);
    void showProjectorFigures();

    TForm1 &m_form;
    SummarySource m_summary;
    ArmedState m_state = ArmedState::NoPort;
    bool m_wasRunning = false;
    bool m_soundOn = true;
    bool m_preferOther = true;

    QLabel *m_stateLabel = nullptr;
    QCheckBox *m_soundBox = nullptr;
    QPushButton *m_projectorButton = nullptr;
    QAction *m_projectorAction = nullptr;
    QAction *m_otherScreenAction = nullptr;
    QAction *m_soundAction = nullptr;
    ProjectorView *m_projector = nullptr;

    std::unique_ptr<platform::SoundOutput> m_sound;
    std::shared_ptr<const platform::Pcm> m_startTone;
    std::shared_ptr<const platform::Pcm> m_stopTone;
};

} // namespace app
