#include "widgets/FloatSpinEdit.h"
#include "i18n/TranslationEngine.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "platform/ResourceText.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "widgets/FloatSpinEditText.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <limits>

namespace {

// Errors raised in event handlers are recorded, as the program's default handler shows them.
class RecordingApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const platform::TfError &error) {
            errors << error.message();
            return false;
        }
    }
    QStringList errors;
};

RecordingApplication *application()
{
    return static_cast<RecordingApplication *>(qApp);
}

QStringList captions(const QMenu &menu)
{
    QStringList texts;
    for (const QAction *action : menu.actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    return texts;
}

using widgets::spinedit::formatFixed;
using widgets::spinedit::formatGeneral;
using widgets::spinedit::parseFloat;

TEST(SpinEditText, FormatsFixedWithFifteenSignificantDigits)
{
    const struct
    {
        double value;
        int decimals;
        QChar thousands;
        const char *text;
    } rows[] = {
        {0.15, 3, {}, "0,150"},
        {2, 3, {}, "2,000"},
        {-0.01, 3, {}, "-0,010"},
        {0.0015, 3, {}, "0,002"},
        {-0.0004, 3, {}, "0,000"},
        {999.9996, 3, {}, "1000,000"},
        {1234567.5, 3, u'.', "1.234.567,500"},
        {2.5, 0, {}, "3"},
        {-1e20, 3, {}, "-1E20"},
        {123456789012.3456, 3, {}, "123456789012,346"},
        {1234567890123456.0, 3, {}, "1,23456789012346E15"},
        {std::numeric_limits<double>::infinity(), 3, {}, "INF"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(formatFixed(row.value, row.decimals, u',', row.thousands), row.text) << row.value;
    EXPECT_EQ(formatGeneral(5, u','), "5");
    EXPECT_EQ(formatGeneral(-0.25, u','), "-0,25");
    EXPECT_EQ(formatGeneral(1e20, u'.'), "1E20");
    EXPECT_EQ(formatGeneral(1.5e-7, u'.'), "1.5E-7");
}

TEST(SpinEditText, ParsesTheLocalesNumbersAndNothingElse)
{
    const struct
    {
        const char *text;
        std::optional<double> value;
    } rows[] = {
        {" 1,5 ", 1.5}, {"1.234,5", 1234.5}, {"-2,5E3", -2500}, {"+3", 3},   {"7,", 7},
        {",5", 0.5},    {"1e-2", 0.01},      {"1e,000", {}},    {",", {}},   {"", {}},
        {"1E", {}},     {"--1", {}},         {"1E999", {}},     {"inf", {}}, {"0x10", {}},
        {"1,2,3", {}},  {"١٢", {}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(parseFloat(QString::fromUtf8(row.text), u',', u'.'), row.value) << row.text;
    // With equal separators nothing is taken for thousands.
    EXPECT_EQ(parseFloat(u"1,5", u',', u','), 1.5);
}

// Text arriving in one piece, as typing would give its characters, for each kind of field.
TEST(SpinEditText, InsertedTextTakesTheCharactersTypingWouldGive)
{
    using Rules = widgets::spinedit::TypingRules;
    const Rules german{Rules::Float, u',', QChar()};
    const Rules germanGrouped{Rules::Float, u',', u'.'};
    const Rules english{Rules::Float, u'.', QChar()};
    const Rules integer{Rules::Integer, u',', QChar()};
    const Rules integerGrouped{Rules::Integer, u',', u'.'};
    const Rules hex{Rules::Hex, u',', QChar()};
    const struct
    {
        Rules rules;
        const char *inserted;
        const char *typed; // nullptr: refused
    } rows[] = {
        {german, "0.75", "0,75"},
        {german, " 0,75\t", "0,75"},
        {germanGrouped, "1.234,5", "1.234,5"},
        {german, "1.234,5", "1,234,5"},
        {english, "1,234.5", nullptr},
        {english, "\u22121e-3", "-1e-3"},
        {english, "\uFF11\uFF12", "12"},
        {integer, "12", "12"},
        {integer, "1.5", nullptr},
        {integerGrouped, "1.500", "1.500"},
        {integer, "1e3", nullptr},
        {hex, "Ff0", "Ff0"},
        {hex, "fg", nullptr},
        {hex, "1.0", nullptr},
        {german, "", nullptr},
        {german, "1 000", nullptr},
        {german, "0,75 m", nullptr},
    };
    for (const auto &row : rows) {
        const std::optional<QString> typed =
            widgets::spinedit::typedForm(QString::fromUtf8(row.inserted), row.rules);
        EXPECT_EQ(typed.has_value(), row.typed != nullptr) << row.inserted;
        if (typed && row.typed) {
            EXPECT_EQ(*typed, QString::fromUtf8(row.typed)) << row.inserted;
        }
    }
}

// Every three-decimal text steps by 0.01 to exactly the next one, in both directions.
TEST(SpinEditText, StepsBetweenThreeDecimalTextsNeverDrift)
{
    const auto text = [](int thousandths) {
        const int magnitude = std::abs(thousandths);
        return QStringLiteral("%1%2,%3")
            .arg(thousandths < 0 ? "-" : "")
            .arg(magnitude / 1000)
            .arg(magnitude % 1000, 3, 10, QChar(u'0'));
    };
    for (int k = -30000; k <= 30000; ++k) {
        const double value = *parseFloat(text(k), u',', u'.');
        ASSERT_EQ(formatFixed(value, 3, u','), text(k));
        ASSERT_EQ(formatFixed(value + 0.01, 3, u','), text(k + 10)) << k;
        ASSERT_EQ(formatFixed(value - 0.01, 3, u','), text(k - 10)) << k;
    }
}

// The main window's field, set up in the order its stored layout does.
void configureLikeTheMainWindow(widgets::TFloatSpinEdit &field)
{
    field.setBeepOnError(false);
    field.setAlignment(widgets::TFloatSpinEdit::taRightJustify);
    field.setButtonKind(widgets::TFloatSpinEdit::bkStandard);
    field.setDecimal(3);
    field.setIncrement(0.01);
    field.setValueType(widgets::TFloatSpinEdit::vtFloat);
    field.setValue(0.15);
    field.setClipboardCommands({});
    field.loaded();
}

struct LocaleCase
{
    const char *name;
    platform::FixedLocale locale;
};

void PrintTo(const LocaleCase &c, std::ostream *out)
{
    *out << c.name;
}

class FloatSpinEditTest : public ::testing::TestWithParam<LocaleCase>
{
protected:
    void SetUp() override
    {
        locale = GetParam().locale;
        auto *layout = new QVBoxLayout(&window);
        before = new QLineEdit(&window);
        field = new widgets::TFloatSpinEdit(&window);
        layout->addWidget(before);
        layout->addWidget(field);
        configureLikeTheMainWindow(*field);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        field->setFocus();
        application()->errors.clear();
    }

    // The text written with the locale's separator in place of ",".
    QString local(const char *german) const
    {
        return QString::fromUtf8(german).replace(u',', locale.decimalSeparator());
    }
    void type(const QString &keys)
    {
        for (QChar c : keys)
            QTest::keyClick(field, c.toLatin1());
    }
    void wheel(QPoint angle, Qt::ScrollPhase phase = Qt::NoScrollPhase)
    {
        QWheelEvent event(QPointF(5, 5), field->mapToGlobal(QPointF(5, 5)), {}, angle, Qt::NoButton,
                          Qt::NoModifier, phase, false);
        QApplication::sendEvent(field, &event);
    }
    QToolButton *arrow(const char *name) const { return field->findChild<QToolButton *>(name); }

    platform::FixedLocale locale = platform::FixedLocale::german();
    LocaleInstalled localeInstalled{locale};
    QWidget window;
    QLineEdit *before = nullptr;
    widgets::TFloatSpinEdit *field = nullptr;
};

TEST_P(FloatSpinEditTest, TypingKeepsTheTextAFormattedNumber)
{
    EXPECT_EQ(field->text(), local("0,150"));
    EXPECT_EQ(field->Value(), 0.15);
    EXPECT_EQ(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    const QString separator = locale.decimalSeparator();
    const struct
    {
        QString keys;
        const char *text;
        int caret;
    } steps[] = {
        {"1", "1,000", 1}, {separator, "1,000", 2}, {"2", "1,200", 3},
        {"5", "1,250", 4}, {"x", "1,250", 4},
    };
    field->selectAll();
    for (const auto &s : steps) {
        type(s.keys);
        EXPECT_EQ(field->text(), local(s.text)) << s.keys.toStdString();
        EXPECT_EQ(field->cursorPosition(), s.caret) << s.keys.toStdString();
    }
}

TEST_P(FloatSpinEditTest, TypedCharactersAreFilteredAndUnparsableTextBecomesZero)
{
    // "." stands for the separator in both locales, as pupils type it: it jumps.
    field->setCursorPosition(0);
    QTest::keyClick(field, '.');
    EXPECT_EQ(field->text(), local("0,150"));
    EXPECT_EQ(field->cursorPosition(), 2);

    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), local("0,000"));
    EXPECT_EQ(field->cursorPosition(), 0);

    field->setValue(1);
    field->setCursorPosition(1);
    QTest::keyClick(field, 'e'); // "1e,000"
    EXPECT_EQ(field->text(), local("0,000"));
    // A composed character is typed, full-width forms as their plain ones; a composed word
    // that is no number is refused as a whole.
    field->setCursorPosition(0);
    QInputMethodEvent word;
    word.setCommitString(QStringLiteral("x2"));
    QApplication::sendEvent(field, &word);
    EXPECT_EQ(field->text(), local("0,000"));
    QInputMethodEvent character;
    character.setCommitString(QStringLiteral("\uFF12"));
    QApplication::sendEvent(field, &character);
    EXPECT_EQ(field->text(), local("20,000"));

    // A second "E" is refused while the text holds one.
    field->setValue(1e20);
    field->end(false);
    QTest::keyClick(field, 'e');
    EXPECT_EQ(field->text(), "1E20");
}

TEST_P(FloatSpinEditTest, StepsComeFromTheShownTextAndNeverDrift)
{
    QSignalSpy up(field, &widgets::TFloatSpinEdit::OnTopClick);
    QSignalSpy down(field, &widgets::TFloatSpinEdit::OnBottomClick);
    for (int i = 0; i < 100; ++i)
        QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(field->text(), local("1,150"));
    EXPECT_EQ(field->Value(), 1.15);
    EXPECT_EQ(up.count(), 100);
    EXPECT_TRUE(field->isModified());

    field->setValue(0.02);
    const char *expected[] = {"0,010", "0,000", "-0,010", "-0,020"};
    for (const char *text : expected) {
        QTest::keyClick(field, Qt::Key_Down);
        EXPECT_EQ(field->text(), local(text));
    }
    EXPECT_EQ(down.count(), 4);
}

TEST_P(FloatSpinEditTest, OneWheelNotificationIsOneStep)
{
    wheel({0, 360});
    EXPECT_EQ(field->text(), local("0,160"));
    wheel({0, -15});
    wheel({0, -120});
    EXPECT_EQ(field->text(), local("0,140"));
    // Sideways scrolling and a touchpad's empty end note change nothing.
    wheel({120, 0});
    wheel({0, 0}, Qt::ScrollEnd);
    EXPECT_EQ(field->text(), local("0,140"));
    // The wheel belongs to the focused control.
    before->setFocus();
    wheel({0, 120});
    EXPECT_EQ(field->text(), local("0,140"));
}

TEST_P(FloatSpinEditTest, ClipboardCommandsDoNothing)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("7"));
    field->selectAll();
    const QKeySequence::StandardKey commands[] = {QKeySequence::Paste, QKeySequence::Copy,
                                                  QKeySequence::Cut, QKeySequence::Undo};
    for (QKeySequence::StandardKey command : commands) {
        const QKeyCombination key = QKeySequence(command)[0];
        QTest::keyClick(field, key.key(), key.keyboardModifiers());
        EXPECT_EQ(field->text(), local("0,150")) << QKeySequence(command).toString().toStdString();
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "7");

    // Without the paste command a drop is a paste too, and refused.
    QMimeData dragged;
    dragged.setText(QStringLiteral("7"));
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &drop);
    EXPECT_EQ(field->text(), local("0,150"));

    std::unique_ptr<QMenu> menu(field->createContextMenu());
    EXPECT_EQ(captions(*menu), QStringList({"Select All", "&Step up", "Step &down"}));
    menu->actions().constLast()->trigger();
    EXPECT_EQ(field->text(), local("0,140"));
}

// Text that arrives in one piece, each way it can come. Literal separators: what a user
// copied from elsewhere, not the locale's.
enum class Arrival { Paste, Drop, Composed };

struct WholeText
{
    const char *inserted;
    int selectionStart; // with no selection: the caret, or where the drop lands
    int selectionLength;
    const char *german; // nullptr: refused, the text stays
    const char *english;
};

const WholeText WholeTexts[] = {
    // Nothing selected: the whole text is replaced.
    {"0.75", 0, 0, "0,750", "0.750"},
    {"0.75", 5, 0, "0,750", "0.750"},
    {"0,75", 3, 0, "0,750", nullptr},
    {" 2 \n", 1, 0, "2,000", "2.000"},
    {"-0.5", 0, 0, "-0,500", "-0.500"},
    {"+1e3", 0, 0, "1000,000", "1000.000"},
    {"\uFF10\uFF0E\uFF17\uFF15", 0, 0, "0,750", "0.750"},
    {"\u22122", 0, 0, "-2,000", "-2.000"},
    // Never another number than the one meant.
    {"1.234,5", 0, 0, nullptr, nullptr},
    {"1,234.5", 0, 0, nullptr, nullptr},
    {"0.75 m", 0, 0, nullptr, nullptr},
    {"0,75,1", 0, 0, nullptr, nullptr},
    {"1 000", 0, 0, nullptr, nullptr},
    {"e5", 0, 0, nullptr, nullptr},
    {"--1", 0, 0, nullptr, nullptr},
    {"abc", 0, 0, nullptr, nullptr},
    {"", 0, 0, nullptr, nullptr},
    {"  ", 0, 0, nullptr, nullptr},
    // A selection gives way to the text, which must leave a number.
    {"0.75", 0, 5, "0,750", "0.750"},
    {"25", 2, 3, "0,250", "0.250"},
    {"9", 0, 1, "9,150", "9.150"},
    {"0.75", 2, 2, nullptr, nullptr},
    {"-", 0, 1, "-0,150", "-0.150"},
    {"e2", 1, 4, "0,000", "0.000"},
};

TEST_P(FloatSpinEditTest, TextArrivingInOnePieceIsTheNumberMeantOrRefused)
{
    field->setClipboardCommands(widgets::TFloatSpinEdit::caCopy | widgets::TFloatSpinEdit::caCut |
                                widgets::TFloatSpinEdit::caPaste | widgets::TFloatSpinEdit::caUndo);
    const bool german = locale.decimalSeparator() == u',';
    // A point on the selection [from, to], inside it where it has an inside.
    const auto pointAt = [this](int from, int to) {
        QPoint onEdge(2, field->height() / 2);
        for (int x = 0; x < field->width(); ++x) {
            const QPoint p(x, field->height() / 2);
            const int at = field->cursorPositionAt(p);
            if (at > from && at < to)
                return p;
            if (at == from || at == to)
                onEdge = p;
        }
        return onEdge;
    };
    for (const Arrival arrival : {Arrival::Paste, Arrival::Drop, Arrival::Composed}) {
        for (const WholeText &c : WholeTexts) {
            const QString inserted = QString::fromUtf8(c.inserted);
            field->setValue(0.15);
            if (c.selectionLength > 0)
                field->setSelection(c.selectionStart, c.selectionLength);
            else
                field->setCursorPosition(c.selectionStart);
            const QString before = field->text();
            const char *expected = german ? c.german : c.english;
            const std::string row = std::to_string(int(arrival)) + " \"" + c.inserted + "\" at " +
                                    std::to_string(c.selectionStart) + "+" +
                                    std::to_string(c.selectionLength);
            switch (arrival) {
            case Arrival::Paste: {
                QGuiApplication::clipboard()->setText(inserted);
                QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
                break;
            }
            case Arrival::Drop: {
                QMimeData data;
                data.setText(inserted);
                const QPoint at =
                    c.selectionLength > 0
                        ? pointAt(c.selectionStart, c.selectionStart + c.selectionLength)
                        : QPoint(2, field->height() / 2);
                QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                                      Qt::NoModifier);
                QApplication::sendEvent(field, &enter);
                EXPECT_EQ(enter.isAccepted(), expected != nullptr) << row;
                QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                                Qt::NoModifier);
                QApplication::sendEvent(field, &drop);
                EXPECT_EQ(drop.isAccepted(), expected != nullptr) << row;
                if (drop.isAccepted()) {
                    EXPECT_EQ(drop.dropAction(), Qt::CopyAction) << row;
                }
                break;
            }
            case Arrival::Composed: {
                QInputMethodEvent composed;
                composed.setCommitString(inserted);
                QApplication::sendEvent(field, &composed);
                break;
            }
            }
            EXPECT_EQ(field->text(), expected ? QString::fromUtf8(expected) : before) << row;
        }
    }
    EXPECT_TRUE(application()->errors.isEmpty());
}

// A drop finishes the entry as Enter does: a refused value gives way to the last one taken.
TEST_P(FloatSpinEditTest, ADroppedValueIsTakenOrRefusedAtOnce)
{
    field->setClipboardCommands(widgets::TFloatSpinEdit::caPaste);
    field->setAcceptance([](std::optional<double> value) {
        return value && *value > 0 ? QString()
                                   : QStringLiteral("Die Entfernung muss positiv sein.");
    });
    const struct
    {
        const char *dropped;
        const char *text;
        double taken;
        bool refused;
    } drops[] = {
        {"0.5", "0,500", 0.5, false}, {"-1", "0,500", 0.5, true}, {"2", "2,000", 2, false}};
    before->setFocus();
    for (const auto &d : drops) {
        application()->errors.clear();
        QMimeData data;
        data.setText(QString::fromUtf8(d.dropped));
        QDragEnterEvent enter(QPoint(2, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &enter);
        QDropEvent drop(QPointF(2, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &drop);
        QCoreApplication::sendPostedEvents(field);
        EXPECT_EQ(field->text(), local(d.text)) << d.dropped;
        EXPECT_EQ(field->TakenValue(), d.taken) << d.dropped;
        EXPECT_EQ(application()->errors.size(), d.refused ? 1 : 0) << d.dropped;
    }
}

TEST_P(FloatSpinEditTest, ArrowsStepOncePerPressAndOncePerRepeat)
{
    before->setFocus();
    QToolButton *up = arrow("UpButton");
    ASSERT_TRUE(up);
    EXPECT_LE(up->parentWidget()->width(), 15);
    EXPECT_GE(field->textMargins().right(), up->parentWidget()->width() + 2);
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(field->text(), local("0,160"));
    EXPECT_TRUE(field->hasFocus());

    QToolButton *down = arrow("DownButton");
    down->setAutoRepeatDelay(20);
    down->setAutoRepeatInterval(10);
    QSignalSpy steps(field, &widgets::TFloatSpinEdit::OnBottomClick);
    QTest::mousePress(down, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return steps.count() >= 31; }));
    QTest::mouseRelease(down, Qt::LeftButton);
    // The press and every repeat: exactly one step each, whatever the count.
    const int n = int(steps.count());
    const QString expected = formatFixed((160 - 10 * n) / 1000.0, 3, locale.decimalSeparator());
    EXPECT_EQ(field->text(), expected);

    field->setReadOnly(true);
    QTest::mouseClick(up, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(steps.count(), n);
    EXPECT_EQ(field->text(), expected);
}

TEST_P(FloatSpinEditTest, EnteringByKeyboardSelectsAllAndLeavingReformats)
{
    before->setFocus();
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(field->hasFocus());
    EXPECT_EQ(field->selectedText(), local("0,150"));

    field->setCheckOptions(widgets::TFloatSpinEdit::coCheckOnExit);
    type("3");
    EXPECT_EQ(field->text(), "3");
    QTest::keyClick(field, Qt::Key_Backtab);
    EXPECT_EQ(field->text(), local("3,000"));
}

TEST_P(FloatSpinEditTest, EnterAndEscapeReachTheDialog)
{
    QDialog dialog;
    auto *edit = new widgets::TFloatSpinEdit(&dialog);
    configureLikeTheMainWindow(*edit);
    auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    QSignalSpy clicked(ok, &QPushButton::clicked);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.show();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicked.count() == 1; }));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(rejected.count(), 1);
    EXPECT_EQ(edit->text(), local("0,150"));
}

TEST_P(FloatSpinEditTest, LimitsClampOrAreReportedOnLeaving)
{
    field->setMinValue(1);
    field->setMaxValue(5);
    EXPECT_TRUE(field->CheckMinValue() && field->CheckMaxValue());
    EXPECT_EQ(field->text(), local("1,000"));
    field->setValue(9);
    EXPECT_EQ(field->text(), local("5,000"));
    // Typing beyond a limit is clamped at once, the error swallowed.
    field->setCheckOptions(widgets::TFloatSpinEdit::coCheckOnChange |
                           widgets::TFloatSpinEdit::coCheckOnExit);
    field->selectAll();
    type("7");
    EXPECT_EQ(field->text(), local("5,000"));

    field->setCheckOptions(widgets::TFloatSpinEdit::coCheckOnExit);
    field->selectAll();
    type("0");
    before->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([] { return !application()->errors.isEmpty(); }));
    EXPECT_EQ(application()->errors, QStringList("Value must be between 1 and 5"));
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->selectedText(), "0");

    field->setCheckOptions(widgets::TFloatSpinEdit::coCheckOnExit |
                           widgets::TFloatSpinEdit::coCropBeyondLimit);
    before->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(field->text(), local("1,000"));
    EXPECT_EQ(application()->errors.size(), 1);
}

TEST_P(FloatSpinEditTest, ValueWritesReportChangesAndIntegerTypesRoundTheStep)
{
    QSignalSpy changes(field, &widgets::TFloatSpinEdit::OnChange);
    field->setValue(0.15);
    field->setValue(0.1504); // shown as 0,150 as well
    EXPECT_EQ(changes.count(), 0);
    field->setValue(2);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_FALSE(field->isModified());

    // Loading: a new field shows "0"; the real type re-writes it, the step stays fractional.
    widgets::TFloatSpinEdit loading;
    EXPECT_EQ(loading.text(), "0");
    loading.setDecimal(3);
    loading.setIncrement(0.01);
    loading.setValueType(widgets::TFloatSpinEdit::vtFloat);
    EXPECT_EQ(loading.text(), local("0,000"));
    EXPECT_EQ(loading.Increment(), 0.01);

    field->setValueType(widgets::TFloatSpinEdit::vtInteger);
    EXPECT_EQ(field->text(), "2");
    EXPECT_EQ(field->Increment(), 1);
    field->setValueType(widgets::TFloatSpinEdit::vtFloat);
    EXPECT_EQ(field->text(), local("2,000"));
}

INSTANTIATE_TEST_SUITE_P(Locales, FloatSpinEditTest,
                         ::testing::Values(LocaleCase{"German", platform::FixedLocale::german()},
                                           LocaleCase{"English", platform::FixedLocale::english()}),
                         [](const auto &param) { return std::string(param.param.name); });

// The program's own toolkit catalog, as built from Qt's German translations.
i18n::TTranslationEngine *g_engine = nullptr;
QString toolkitText(const QString &text)
{
    return g_engine->TranslateInDomain(QStringLiteral("toolkit"), text);
}

TEST(FloatSpinEditGerman, MenuAndRangeErrorSpeakGerman)
{
    i18n::TTranslationEngine engine(QStringLiteral(TF_PROGRAM_CATALOG_PARENT "/"), nullptr);
    engine.SelectLanguage(QStringLiteral("de"));
    g_engine = &engine;
    const ResourceTextInstalled resourceText(&toolkitText);
    platform::FixedLocale german = platform::FixedLocale::german();
    const LocaleInstalled installed(german);

    QWidget window;
    auto *before = new QLineEdit(&window);
    auto *field = new widgets::TFloatSpinEdit(&window);
    field->setGeometry(0, 30, 105, 21);
    field->setValueType(widgets::TFloatSpinEdit::vtFloat);
    field->setMinValue(0.5);
    field->setMaxValue(2.5);
    field->setCheckOptions(widgets::TFloatSpinEdit::coCheckOnExit);
    field->setClipboardCommands({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    std::unique_ptr<QMenu> menu(field->createContextMenu());
    EXPECT_EQ(captions(*menu),
              QStringList({"Alles auswählen", "&Inkrementieren", "&Dekrementieren"}));

    application()->errors.clear();
    field->setFocus();
    field->setText(QStringLiteral("3"));
    before->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(QTest::qWaitFor([] { return !application()->errors.isEmpty(); }));
    EXPECT_EQ(application()->errors, QStringList("Der Wert muss zwischen 0,5 und 2,5 liegen"));

    g_engine = nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    RecordingApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
