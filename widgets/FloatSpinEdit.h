#pragma once

#include <QLineEdit>
#include <QStringList>

#include <functional>
#include <optional>

class QMenu;
class QToolButton;

namespace widgets {

// A single-line edit whose text always holds a formatted number, with up/down arrows
// at its right edge. Every text change re-reads and re-writes the number; steps are
// taken from the shown text, so repeated steps never drift. Separators come from the
// user's locale (platform::locale()).
//
// Built on QLineEdit rather than QAbstractSpinBox: the behaviour is an edit's (caret,
// selection, modified flag, typed-key filter, clipboard commands), and a spin box's own
// validator, wheel-delta accumulation, key handling and menu would all be in the way.
class TFloatSpinEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(bool BeepOnError READ BeepOnError WRITE setBeepOnError)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE setAlignment)
    Q_PROPERTY(TButtonKind ButtonKind READ ButtonKind WRITE setButtonKind)
    Q_PROPERTY(int Decimal READ Decimal WRITE setDecimal)
    Q_PROPERTY(double Increment READ Increment WRITE setIncrement)
    Q_PROPERTY(TValueType ValueType READ ValueType WRITE setValueType)
    Q_PROPERTY(double Value READ Value WRITE setValue)
    Q_PROPERTY(
        TClipboardCommands ClipboardCommands READ ClipboardCommands WRITE setClipboardCommands)
    Q_PROPERTY(double MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(double MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(bool CheckMinValue READ CheckMinValue WRITE setCheckMinValue)
    Q_PROPERTY(bool CheckMaxValue READ CheckMaxValue WRITE setCheckMaxValue)
    Q_PROPERTY(TCheckOptions CheckOptions READ CheckOptions WRITE setCheckOptions)
    Q_PROPERTY(bool Thousands READ Thousands WRITE setThousands)
    Q_PROPERTY(bool ArrowKeys READ ArrowKeys WRITE setArrowKeys)
    Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE setEditorEnabled)
    Q_PROPERTY(bool ShowButton READ ShowButton WRITE setShowButton)
    Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE setAutoSelect)
    Q_PROPERTY(bool ReadOnly READ isReadOnly WRITE setReadOnly)
    // Captions of the context menu, indexed by MenuEntry; the translation walk reaches them.
    Q_PROPERTY(QStringList MenuCaptions READ MenuCaptions WRITE setMenuCaptions)

public:
    enum TValueType : int { vtInteger, vtFloat, vtHex };
    Q_ENUM(TValueType)
    enum TAlignment : int { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)
    enum TButtonKind : int { bkStandard, bkDiagonal, bkClassic };
    Q_ENUM(TButtonKind)
    enum TClipboardCommand : int { caCopy = 0x1, caCut = 0x2, caPaste = 0x4, caUndo = 0x8 };
    Q_DECLARE_FLAGS(TClipboardCommands, TClipboardCommand)
    Q_FLAG(TClipboardCommands)
    enum TCheckOption : int { coCheckOnChange = 0x1, coCheckOnExit = 0x2, coCropBeyondLimit = 0x4 };
    Q_DECLARE_FLAGS(TCheckOptions, TCheckOption)
    Q_FLAG(TCheckOptions)
    enum MenuEntry : int {
        meUndo,
        meCut,
        meCopy,
        mePaste,
        meDelete,
        meSelectAll,
        meStepUp,
        meStepDown
    };
    Q_ENUM(MenuEntry)

    explicit TFloatSpinEdit(QWidget *parent = nullptr);

    // Reading never clamps; a text that is no number reads as MinValue.
    double Value() const;
    void setValue(double value);

    bool BeepOnError() const { return m_beepOnError; }
    void setBeepOnError(bool on) { m_beepOnError = on; }
    TAlignment Alignment() const { return m_alignment; }
    using QLineEdit::setAlignment;
    void setAlignment(TAlignment alignment);
    TButtonKind ButtonKind() const { return m_buttonKind; }
    void setButtonKind(TButtonKind kind);
    int Decimal() const { return m_decimal; }
    void setDecimal(int decimal);
    double Increment() const { return m_increment; }
    void setIncrement(double increment);
    TValueType ValueType() const { return m_valueType; }
    void setValueType(TValueType type);
    TClipboardCommands ClipboardCommands() const { return m_clipboard; }
    void setClipboardCommands(TClipboardCommands commands);
    double MinValue() const { return m_minValue; }
    void setMinValue(double value);
    double MaxValue() const { return m_maxValue; }
    void setMaxValue(double value);
    bool CheckMinValue() const { return m_checkMin; }
    void setCheckMinValue(bool on);
    bool CheckMaxValue() const { return m_checkMax; }
    void setCheckMaxValue(bool on);
    TCheckOptions CheckOptions() const { return m_checkOptions; }
    void setCheckOptions(TCheckOptions options) { m_checkOptions = options; }
    bool Thousands() const { return m_thousands; }
    void setThousands(bool on);
    bool ArrowKeys() const { return m_arrowKeys; }
    void setArrowKeys(bool on) { m_arrowKeys = on; }
    bool EditorEnabled() const { return m_editorEnabled; }
    void setEditorEnabled(bool on) { m_editorEnabled = on; }
    bool ShowButton() const { return m_showButton; }
    void setShowButton(bool on);
    bool AutoSelect() const { return m_autoSelect; }
    void setAutoSelect(bool on) { m_autoSelect = on; }
    QStringList MenuCaptions() const { return m_menuCaptions; }
    void setMenuCaptions(const QStringList &captions);

    // The toolkit's after-loading step: the value shown now is the one later changes
    // are compared with.
    void loaded();

    // Which values the field takes: the reason in the user's words for refusing the value
    // (nullopt: the text is no number), empty to take it. A refused value is never used:
    // when the field is left or Enter is pressed the reason is shown and the last value
    // taken comes back. Without one, every number is taken.
    using Acceptance = std::function<QString(std::optional<double> value)>;
    void setAcceptance(Acceptance acceptance);
    // The value the field stands for: the shown one if it would be taken, otherwise the
    // last one taken (TakenValue), so a half-typed or refused text is never used.
    double AcceptedValue() const;
    // The last value taken: set from code, by a step, or when the field was left or Enter
    // pressed; a refused text gives way to it.
    double TakenValue() const { return m_accepted; }
    // Takes or refuses the text now, as leaving the field does; false if it was refused.
    bool checkAccepted();

    void stepUp() { step(+1); }
    void stepDown() { step(-1); }

    // The context menu as it would pop up now (the caller owns it).
    QMenu *createContextMenu();

signals:
    // The value differs from the one last reported.
    void OnChange();
    void OnTopClick();
    void OnBottomClick();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    double clamp(double value) const;
    bool outOfRange(double value) const;
    QString rangeMessage() const;
    QString format(double value) const;
    void writeText(const QString &text);
    void textChange();
    void step(int direction);
    void typeChar(QChar c);
    void pasteWhole(const QString &pasted);
    std::optional<QString> insertable(const QString &inserted, int start, int length) const;
    bool insertWhole(const QString &inserted, int start, int length);
    bool droppable(const QDropEvent *event, int *start = nullptr, int *length = nullptr);
    std::optional<double> parsed() const { return parsedText(text()); }
    std::optional<double> parsedText(const QString &text) const;
    QString refusal(std::optional<double> value) const;
    void take();
    bool blockedShortcut(const QKeyEvent *event) const;
    void rejectKey() const;
    void placeButtons();

    double m_increment = 1.0;
    double m_minValue = 0;
    double m_maxValue = 0;
    double m_lastValue = 0;
    double m_accepted = 0;
    Acceptance m_acceptance;
    int m_decimal = 2;
    TValueType m_valueType = vtInteger;
    TAlignment m_alignment = taLeftJustify;
    TButtonKind m_buttonKind = bkDiagonal;
    TClipboardCommands m_clipboard = {caCopy, caCut, caPaste, caUndo};
    TCheckOptions m_checkOptions = {coCheckOnChange, coCheckOnExit, coCropBeyondLimit};
    bool m_checkMin = false;
    bool m_checkMax = false;
    bool m_thousands = false;
    bool m_arrowKeys = true;
    bool m_editorEnabled = true;
    bool m_showButton = true;
    bool m_beepOnError = true;
    bool m_autoSelect = true;
    bool m_changing = false;
    QString m_exitError;
    QStringList m_menuCaptions;
    QWidget *m_buttons = nullptr;
    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TFloatSpinEdit::TClipboardCommands)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFloatSpinEdit::TCheckOptions)

} // namespace widgets
