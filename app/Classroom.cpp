#include "app/Classroom.h"

#include "app/ClassView.h"
#include "app/ExceptionHandler.h"
#include "app/ProjectorView.h"
#include "i18n/Translation.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
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

Classroom::Classroom(QWidget &form, session::Session &session,
                     widgets::TIAeverLiquidIndicator &digits)
    : QObject(&form), m_form(form), m_session(session), m_digits(digits)
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
    for (QWidget *w : {static_cast<QWidget *>(&digits), static_cast<QWidget *>(m_projectorButton)}) {
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
        w->addActions({m_projectorAction, m_otherScreenAction, m_soundAction});
    }

    // The class view's switch sits between "Ton" and the projector's button.
    m_classView = new ClassView(session, [this] { return m_digits.Indicatorstring(); }, this);
    m_classView->addControls(strip, QRect(330, 3, 130, 20), &digits);

    guarded([strip] { i18n::TranslateComponentTexts(strip, QString()); });

    form.setMinimumHeight(top + StripHeight);
    form.resize(form.width(), top + StripHeight);
    session.addObserver(this);
    updateState();
    m_classView->startIfRemembered();
}

Classroom::~Classroom()
{
    m_session.removeObserver(this);
}

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
    const session::ArmedState state = m_session.armedState();
    QString text = session::armedStateText(state);
    // What the last change did not record, said where the class looks.
    if (!m_session.stateNote().isEmpty())
        text += QStringLiteral(" – ") + m_session.stateNote();
    if (state == m_state && text == m_shownText)
        return;
    m_state = state;
    m_shownText = text;
    m_stateLabel->setText(text);
    m_stateLabel->setAccessibleName(QStringLiteral("Zustand: ") + text);
    QPalette p = m_stateLabel->palette();
    p.setColor(QPalette::Window, session::armedStateColor(state));
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
    m_projector->setTime(m_digits.Indicatorstring());
    m_projector->setArmedState(m_state);
    m_projector->setFigures(figures(m_session));
}

ProjectorFigures Classroom::figures(const session::Session &session)
{
    ProjectorFigures f;
    const QList<protocol::Run> &runs = session.runs().runs();
    if (!runs.isEmpty())
        f.last = runs.last();
    // The series the next run joins.
    session::Series current{session.currentKey(), {}};
    for (const session::Series &series : session.series())
        if (series.key == current.key)
            current = series;
    f.series = session::seriesResult(runs, current, platform::locale().decimalSeparator());
    return f;
}

void Classroom::toggleProjector()
{
    if (m_projector && m_projector->isVisible()) {
        m_projector->close();
        return;
    }
    if (!m_projector) {
        m_projector = new ProjectorView(&m_form);
        connect(m_projector, &ProjectorView::contact1Requested, this,
                [this] { guarded([&] { m_session.keyContact1(); }); });
        connect(m_projector, &ProjectorView::contact2Requested, this,
                [this] { guarded([&] { m_session.keyContact2(); }); });
        connect(m_projector, &ProjectorView::resetRequested, this,
                [this] { guarded([&] { m_session.reset(); }); });
        connect(m_projector, &ProjectorView::closed, this, [this] {
            m_form.activateWindow();
        });
        m_classView->setProjector(m_projector);
    }
    m_projector->copyLook(m_digits);
    const QList<QScreen *> screens = QGuiApplication::screens();
    const int index = projectorScreenIndex(int(screens.size()), int(screens.indexOf(m_form.screen())),
                                           m_preferOther);
    showProjectorFigures();
    m_projector->showOn(index >= 0 ? screens[index] : nullptr);
}

} // namespace app
