#include "app/Classroom.h"

#include "app/ExceptionHandler.h"
#include "app/MainForm.h"
#include "app/ProjectorView.h"
#include "i18n/Translation.h"
#include "platform/Errors.h"
#include "settings/Settings.h"
#include "widgets/IAeverLiquidIndicator.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace app {

namespace {

constexpr char SoundSetting[] = "Sound";
constexpr char ScreenSetting[] = "ProjectorScreen";

void saveFlag(const char *name, bool on)
{
    guarded([&] { settings::SaveSetting(name, on ? 1 : 0); });
}

// Read after the window's own settings: whatever is wrong with the file, the user has
// just been told, so a failing read quietly keeps the default.
bool loadFlag(const char *name, bool defaultValue)
{
    try {
        return settings::LoadSetting(name, defaultValue ? 1 : 0) != 0;
    } catch (const platform::ERegistryException &) {
        return defaultValue;
    }
}

} // namespace

Classroom::Classroom(TForm1 &form, SummarySource summary)
    : QObject(&form), m_form(form), m_summary(std::move(summary))
{
    setObjectName(QStringLiteral("Classroom"));
    m_soundOn = loadFlag(SoundSetting, true);
    m_preferOther = loadFlag(ScreenSetting, true);

    // Everything here lives in the strip, the commands too, so that the strip is
    // translated as a whole.
    const int top = form.height();
    auto *strip = new QWidget(&form);
    strip->setObjectName(QStringLiteral("ClassroomStrip"));
    strip->setGeometry(0, top, form.width(), StripHeight);

    m_stateLabel = new QLabel(strip);
    m_stateLabel->setObjectName(QStringLiteral("lblArmed"));
    m_stateLabel->setGeometry(4, 3, 233, 20);
    m_stateLabel->setAlignment(Qt::AlignCenter);
    m_stateLabel->setAutoFillBackground(true);
    QFont bold = form.font();
    bold.setBold(true);
    m_stateLabel->setFont(bold);

    // Like the window's buttons it takes no focus, so the tab order stays; Alt+T reaches it.
    m_soundBox = new QCheckBox(QStringLiteral("&Ton"), strip);
    m_soundBox->setObjectName(QStringLiteral("chkSound"));
    m_soundBox->setFocusPolicy(Qt::NoFocus);
    m_soundBox->setGeometry(248, 3, 80, 20);
    m_soundBox->setChecked(m_soundOn);
    connect(m_soundBox, &QCheckBox::toggled, this, &Classroom::setSoundOn);

    m_projectorButton = new QPushButton(QStringLiteral("Großanzeige [F11]"), strip);
    m_projectorButton->setObjectName(QStringLiteral("btnProjector"));
    m_projectorButton->setGeometry(form.width() - 4 - 135, 2, 135, 22);
    m_projectorButton->setFocusPolicy(Qt::NoFocus);
    m_projectorButton->setFont(bold);
    connect(m_projectorButton, &QPushButton::clicked, this, [this] { toggleProjector(); });

    m_projectorAction = new QAction(QStringLiteral("Großanzeige"), strip);
    m_projectorAction->setObjectName(QStringLiteral("Grossanzeige1"));
    m_projectorAction->setShortcut(Qt::Key_F11);
    m_projectorAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_projectorAction, &QAction::triggered, this, [this] { toggleProjector(); });
    m_otherScreenAction = new QAction(QStringLiteral("Großanzeige auf anderem Bildschirm"), strip);
    m_otherScreenAction->setObjectName(QStringLiteral("AndererBildschirm1"));
    m_otherScreenAction->setCheckable(true);
    m_otherScreenAction->setChecked(m_preferOther);
    connect(m_otherScreenAction, &QAction::toggled, this, &Classroom::setPreferOtherScreen);
    m_soundAction = new QAction(QStringLiteral("Ton"), strip);
    m_soundAction->setObjectName(QStringLiteral("Ton1"));
    m_soundAction->setCheckable(true);
    m_soundAction->setChecked(m_soundOn);
    connect(m_soundAction, &QAction::toggled, this, &Classroom::setSoundOn);

    // F11 anywhere in the window; the three commands also on the display and the button.
    form.addAction(m_projectorAction);
    for (QWidget *w : {static_cast<QWidget *>(form.Digits), static_cast<QWidget *>(m_projectorButton)}) {
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
        w->addActions({m_projectorAction, m_otherScreenAction, m_soundAction});
    }

    guarded([strip] { i18n::TranslateComponentTexts(strip, QString()); });

    form.setFixedSize(form.width(), top + StripHeight);
    m_wasRunning = form.running();
    updateState();
}

Classroom::~Classroom() = default;

void Classroom::setSoundOn(bool on)
{
    if (on == m_soundOn)
        return;
    m_soundOn = on;
    m_soundBox->setChecked(on);
    m_soundAction->setChecked(on);
    saveFlag(SoundSetting, on);
}

void Classroom::setPreferOtherScreen(bool other)
{
    if (other == m_preferOther)
        return;
    m_preferOther = other;
    m_otherScreenAction->setChecked(other);
    saveFlag(ScreenSetting, other);
}

void Classroom::setSoundOutput(std::unique_ptr<platform::SoundOutput> output)
{
    m_sound = std::move(output);
}

void Classroom::runChanged()
{
    const bool running = m_form.running();
    if (running != m_wasRunning) {
        // A reset ends a run too, but without a stop instant: no tone for a dropped run.
        const bool stopped = !running && m_form.stopTicks() != 0;
        if (running || stopped)
            playTone(running);
        m_wasRunning = running;
    }
    updateState();
}

void Classroom::linesChanged()
{
    updateState();
}

void Classroom::playTone(bool start)
{
    if (!m_soundOn)
        return;
    if (!m_sound)
        m_sound = std::make_unique<platform::SoundOutput>();
    const int rate = m_sound->rate();
    if (!m_startTone) {
        // Start: one short tone; stop: two higher ones, told apart without looking.
        m_startTone = std::make_shared<const platform::Pcm>(platform::tonePcm(880, 90, rate));
        platform::Pcm stop = platform::tonePcm(1320, 70, rate);
        platform::appendSilence(stop, 50, rate);
        const platform::Pcm second = platform::tonePcm(1320, 70, rate);
        stop.insert(stop.end(), second.begin(), second.end());
        m_stopTone = std::make_shared<const platform::Pcm>(std::move(stop));
    }
    m_sound->play(start ? m_startTone : m_stopTone);
}

void Classroom::updateState()
{
    const timing::Chronometer &chrono = m_form.chronometer();
    ArmedInputs in;
    in.portOpen = m_form.portActive();
    in.line1 = chrono.line1();
    in.line2 = chrono.line2();
    in.running = chrono.running();
    in.hasStoppedRun = !in.running && (chrono.startTicks() != 0 || chrono.stopTicks() != 0);
    const ArmedState state = armedState(in);
    if (state == m_state && !m_stateLabel->text().isEmpty())
        return;
    m_state = state;
    m_stateLabel->setText(armedStateText(state));
    m_stateLabel->setAccessibleName(QStringLiteral("Zustand: ") + armedStateText(state));
    QPalette p = m_stateLabel->palette();
    p.setColor(QPalette::Window, armedStateColor(state));
    p.setColor(QPalette::WindowText, Qt::black);
    m_stateLabel->setPalette(p);
    if (m_projector)
        m_projector->setArmedState(state);
}

void Classroom::refresh()
{
    if (m_projector && m_projector->isVisible())
        showProjectorFigures();
}

void Classroom::showProjectorFigures()
{
    m_projector->setTime(m_form.Digits->Indicatorstring());
    m_projector->setArmedState(m_state);
    if (m_summary)
        m_projector->setSummary(m_summary());
}

void Classroom::toggleProjector()
{
    if (m_projector && m_projector->isVisible()) {
        m_projector->close();
        return;
    }
    if (!m_projector) {
        m_projector = new ProjectorView(&m_form);
        const auto forward = [this](void (TForm1::*action)()) {
            return [this, action] { guarded([&] { (m_form.*action)(); }); };
        };
        connect(m_projector, &ProjectorView::contact1Requested, this,
                [this] { guarded([&] { m_form.DoContact1(); }); });
        connect(m_projector, &ProjectorView::contact2Requested, this,
                [this] { guarded([&] { m_form.DoContact2(); }); });
        connect(m_projector, &ProjectorView::resetRequested, this, forward(&TForm1::DoReset));
        connect(m_projector, &ProjectorView::closed, this, [this] {
            m_form.activateWindow();
        });
    }
    m_projector->copyLook(*m_form.Digits);
    const QList<QScreen *> screens = QGuiApplication::screens();
    const int index = projectorScreenIndex(int(screens.size()), int(screens.indexOf(m_form.screen())),
                                           m_preferOther);
    showProjectorFigures();
    m_projector->showOn(index >= 0 ? screens[index] : nullptr);
}

} // namespace app
