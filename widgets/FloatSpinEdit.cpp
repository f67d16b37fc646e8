#include "widgets/FloatSpinEdit.h"

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "platform/ResourceText.h"
#include "widgets/FloatSpinEditText.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QStyle>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace widgets {

namespace {

// Qt's own wording, so that the toolkit catalog has the German for them.
const char *const MenuTexts[] = {"&Undo",  "Cu&t",       "&Copy",    "&Paste",
                                 "Delete", "Select All", "&Step up", "Step &down"};

QEvent::Type exitErrorEvent()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type refusedEvent()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHexLetter(QChar c)
{
    return (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Focus that comes and goes with the whole window or a popup is no entering or leaving.
bool entersOrLeaves(Qt::FocusReason reason)
{
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
           reason != Qt::MenuBarFocusReason;
}

QToolButton *arrowButton(QWidget *parent, Qt::ArrowType arrow, const char *name)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

TFloatSpinEdit::TFloatSpinEdit(QWidget *parent) : QLineEdit(parent)
{
    for (const char *text : MenuTexts)
        m_menuCaptions << platform::resourceText(QString::fromLatin1(text));

    m_buttons = new QWidget(this);
    m_buttons->setObjectName(QStringLiteral("Arrows"));
    m_up = arrowButton(m_buttons, Qt::UpArrow, "UpButton");
    m_down = arrowButton(m_buttons, Qt::DownArrow, "DownButton");
    // Each press, and each repeat while held, is exactly one step.
    const auto press = [this](int direction) {
        if ((focusPolicy() & Qt::TabFocus) && isEnabled() && !hasFocus())
            setFocus(Qt::OtherFocusReason);
        step(direction);
    };
    connect(m_up, &QToolButton::pressed, this, [press] { press(+1); });
    connect(m_down, &QToolButton::pressed, this, [press] { press(-1); });
    setMenuCaptions(m_menuCaptions);

    connect(this, &QLineEdit::textChanged, this, &TFloatSpinEdit::textChange);
    setText(QStringLiteral("0"));
    placeButtons();
}

// --- Value --------------------------------------------------------------------------

double TFloatSpinEdit::Value() const
{
    const platform::Locale &locale = platform::locale();
    const QChar decimal = locale.decimalSeparator();
    const QChar thousand = locale.thousandSeparator();
    switch (m_valueType) {
    case vtFloat:
        return spinedit::parseFloat(text(), decimal, thousand).value_or(m_minValue);
    case vtHex:
        if (const auto v = spinedit::parseHex(text()))
            return double(*v);
        break;
    case vtInteger:
        if (const auto v = spinedit::parseInteger(text(), decimal, thousand))
            return double(*v);
        break;
    }
    return double(spinedit::nearest(m_minValue));
}

void TFloatSpinEdit::setValue(double value)
{
    writeText(format(value));
    // Written from code, not re-formatted while typing: the value is taken.
    if (!m_changing)
        take();
}

void TFloatSpinEdit::take()
{
    if (const std::optional<double> number = parsed(); number && refusal(number).isEmpty())
        m_accepted = *number;
}

double TFloatSpinEdit::AcceptedValue() const
{
    if (const std::optional<double> number = parsed(); number && refusal(number).isEmpty())
        return *number;
    return m_accepted;
}

QString TFloatSpinEdit::format(double value) const
{
    const platform::Locale &locale = platform::locale();
    const QChar thousand = m_thousands ? locale.thousandSeparator() : QChar();
    value = clamp(value);
    switch (m_valueType) {
    case vtFloat:
        return spinedit::formatFixed(value, m_decimal, locale.decimalSeparator(), thousand);
    case vtHex:
        return spinedit::formatHex(spinedit::nearest(value));
    case vtInteger:
        break;
    }
    return spinedit::formatInteger(spinedit::nearest(value), thousand);
}

void TFloatSpinEdit::writeText(const QString &newText)
{
    if (newText == text())
        return;
    // Writing a value is no edit by the user.
    const bool modified = isModified();
    setText(newText);
    setModified(modified);
}

double TFloatSpinEdit::clamp(double value) const
{
    if (m_checkMin)
        value = std::max(value, m_minValue);
    if (m_checkMax && value > m_maxValue)
        value = m_maxValue;
    return value;
}

bool TFloatSpinEdit::outOfRange(double value) const
{
    return (m_checkMin && value < m_minValue) || (m_checkMax && value > m_maxValue);
}

QString TFloatSpinEdit::rangeMessage() const
{
    const QChar decimal = platform::locale().decimalSeparator();
    QString message = platform::resourceText(QStringLiteral("Value must be between %g and %g"));
    for (const double limit : {m_minValue, m_maxValue}) {
        const qsizetype at = message.indexOf(QLatin1String("%g"));
        if (at >= 0)
            message.replace(at, 2, spinedit::formatGeneral(limit, decimal));
    }
    return message;
}

void TFloatSpinEdit::textChange()
{
    if (m_changing)
        return;
    int caret = cursorPosition();
    const std::optional<double> number = parsed();
    if (!number && m_acceptance) {
        // Half typed ("", "-", ",", "1e"): left as it is; leaving the field judges it.
        return;
    }
    if (m_checkOptions & coCheckOnChange) {
        const QChar decimal = platform::locale().decimalSeparator();
        // The caret keeps its place relative to the decimal separator (the end of the
        // digits where there is none yet), so ",7" becomes 0,700 with the caret after the 7.
        const auto separatorAt = [decimal](const QString &text) {
            qsizetype at = text.indexOf(decimal);
            if (at < 0)
                at = text.indexOf(u'e', 0, Qt::CaseInsensitive);
            return at < 0 ? text.size() : at;
        };
        const qsizetype fromSeparator = caret - separatorAt(text());
        {
            QScopedValueRollback changing(m_changing, true);
            // A value beyond an enforced limit is clamped while typing; only leaving the
            // field reports it.
            setValue(Value());
        }
        // A text that was no number keeps the caret's index, as it always did.
        if (number && m_valueType == vtFloat)
            caret = int(std::clamp<qsizetype>(separatorAt(text()) + fromSeparator, 0,
                                              text().size()));
    }
    const double value = Value();
    if (value != m_lastValue) {
        m_lastValue = value;
        emit OnChange();
    }
    // By index: the caret stays where the typing left it, not where the digits went.
    setCursorPosition(caret);
}

std::optional<double> TFloatSpinEdit::parsedText(const QString &text) const
{
    const platform::Locale &locale = platform::locale();
    const QChar decimal = locale.decimalSeparator();
    const QChar thousand = locale.thousandSeparator();
    switch (m_valueType) {
    case vtFloat:
        return spinedit::parseFloat(text, decimal, thousand);
    case vtHex:
        if (const auto v = spinedit::parseHex(text))
            return double(*v);
        break;
    case vtInteger:
        if (const auto v = spinedit::parseInteger(text, decimal, thousand))
            return double(*v);
        break;
    }
    return std::nullopt;
}

QString TFloatSpinEdit::refusal(std::optional<double> value) const
{
    return m_acceptance ? m_acceptance(value) : QString();
}

void TFloatSpinEdit::setAcceptance(Acceptance acceptance)
{
    m_acceptance = std::move(acceptance);
    take();
}

bool TFloatSpinEdit::checkAccepted()
{
    const std::optional<double> number = parsed();
    const QString reason = refusal(number);
    if (reason.isEmpty()) {
        setValue(number.value_or(Value()));
        return true;
    }
    // Never some other number: the last one taken comes back, and the user learns why.
    setValue(m_accepted);
    m_exitError = reason;
    QCoreApplication::postEvent(this, new QEvent(refusedEvent()));
    return false;
}

void TFloatSpinEdit::step(int direction)
{
    if (isReadOnly()) {
        if (m_beepOnError)
            QApplication::beep();
        return;
    }
    const QString old = text();
    {
        // The value is re-read from the shown text each time, so steps never drift.
        QScopedValueRollback changing(m_changing, true);
        setValue(Value() + direction * m_increment);
    }
    if (text().compare(old, Qt::CaseInsensitive) != 0) {
        setModified(true);
        textChange();
    }
    take();
    if (direction > 0)
        emit OnTopClick();
    else
        emit OnBottomClick();
}

void TFloatSpinEdit::loaded()
{
    m_lastValue = Value();
    take();
}

// --- Properties ---------------------------------------------------------------------

void TFloatSpinEdit::setAlignment(TAlignment alignment)
{
    Qt::Alignment horizontal;
    switch (alignment) {
    case taLeftJustify:
        horizontal = Qt::AlignLeft;
        break;
    case taRightJustify:
        horizontal = Qt::AlignRight;
        break;
    case taCenter:
        horizontal = Qt::AlignHCenter;
        break;
    default:
        return;
    }
    m_alignment = alignment;
    QLineEdit::setAlignment(horizontal | Qt::AlignVCenter);
}

void TFloatSpinEdit::setButtonKind(TButtonKind kind)
{
    if (kind == bkStandard || kind == bkDiagonal || kind == bkClassic)
        m_buttonKind = kind;
}

void TFloatSpinEdit::setDecimal(int decimal)
{
    if (decimal == m_decimal || decimal < 0 || decimal > 255)
        return;
    const double value = Value();
    m_decimal = decimal;
    setValue(value);
}

void TFloatSpinEdit::setIncrement(double increment)
{
    if (std::isfinite(increment))
        m_increment = increment;
}

void TFloatSpinEdit::setValueType(TValueType type)
{
    if (type == m_valueType || (type != vtInteger && type != vtFloat && type != vtHex))
        return;
    const double value = Value();
    m_valueType = type;
    if (type != vtFloat) {
        m_increment = double(spinedit::nearest(m_increment));
        if (m_increment == 0)
            m_increment = 1;
    }
    setValue(value);
}

void TFloatSpinEdit::setClipboardCommands(TClipboardCommands commands)
{
    m_clipboard = commands;
    // A drop is a paste by mouse.
    setAcceptDrops(commands.testFlag(caPaste));
}

void TFloatSpinEdit::setMinValue(double value)
{
    if (value == m_minValue || !std::isfinite(value))
        return;
    const double shown = Value();
    m_minValue = value;
    if (value != 0)
        m_checkMin = true;
    setValue(shown);
}

void TFloatSpinEdit::setMaxValue(double value)
{
    if (value == m_maxValue || !std::isfinite(value))
        return;
    const double shown = Value();
    m_maxValue = value;
    if (value != 0)
        m_checkMax = true;
    setValue(shown);
}

void TFloatSpinEdit::setCheckMinValue(bool on)
{
    const double shown = Value();
    m_checkMin = on;
    setValue(shown);
}

void TFloatSpinEdit::setCheckMaxValue(bool on)
{
    const double shown = Value();
    m_checkMax = on;
    setValue(shown);
}

void TFloatSpinEdit::setThousands(bool on)
{
    if (on == m_thousands)
        return;
    const double value = Value();
    m_thousands = on;
    setValue(value);
}

void TFloatSpinEdit::setShowButton(bool on)
{
    m_showButton = on;
    m_buttons->setVisible(on);
    placeButtons();
}

void TFloatSpinEdit::setMenuCaptions(const QStringList &captions)
{
    if (captions.size() != int(std::size(MenuTexts)))
        return;
    m_menuCaptions = captions;
    m_up->setAccessibleName(QString(captions[meStepUp]).remove(u'&'));
    m_down->setAccessibleName(QString(captions[meStepDown]).remove(u'&'));
}

// --- Keys, mouse and focus ----------------------------------------------------------

void TFloatSpinEdit::rejectKey() const
{
    if (m_beepOnError)
        QApplication::beep();
}

bool TFloatSpinEdit::blockedShortcut(const QKeyEvent *event) const
{
    // Deleting to the end of the line puts the text into the clipboard, like a cut.
    if (event->matches(QKeySequence::Cut) || event->matches(QKeySequence::DeleteEndOfLine))
        return !m_clipboard.testFlag(caCut) || !m_editorEnabled;
    if (event->matches(QKeySequence::Copy))
        return !m_clipboard.testFlag(caCopy);
    if (event->matches(QKeySequence::Paste))
        return !m_clipboard.testFlag(caPaste) || !m_editorEnabled;
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
        return !m_clipboard.testFlag(caUndo) || !m_editorEnabled;
    return false;
}

void TFloatSpinEdit::typeChar(QChar c)
{
    if (!m_editorEnabled) {
        rejectKey();
        return;
    }
    const platform::Locale &locale = platform::locale();
    const QChar decimal = locale.decimalSeparator();
    const QString current = text();
    // Judged against the text as it will be: a selection gives way to what is typed.
    QString after = current;
    int caret = cursorPosition();
    if (hasSelectedText()) {
        caret = selectionStart();
        after.remove(caret, selectedText().size());
    }
    // People type points: "." stands for the locale's separator unless it groups thousands.
    if (m_valueType == vtFloat && c == u'.' && !(m_thousands && locale.thousandSeparator() == u'.'))
        c = decimal;
    const bool hasDecimal = after.contains(decimal);
    if (m_valueType == vtFloat && c == decimal && hasDecimal) {
        // Typing the separator jumps to the decimals.
        deselect();
        setCursorPosition(int(current.indexOf(decimal)) + 1);
        return;
    }
    const auto isSign = [](QChar ch) { return ch == u'+' || ch == u'-'; };
    const auto isExponent = [](QChar ch) { return ch == u'e' || ch == u'E'; };
    bool accepted = isAsciiDigit(c);
    if (isSign(c)) {
        // A sign leads the number or its exponent, once.
        const bool signFollows = caret < after.size() && isSign(after[caret]);
        accepted = !signFollows &&
                   (caret == 0 || (m_valueType == vtFloat && isExponent(after[caret - 1])));
    } else if (m_valueType == vtFloat) {
        accepted = accepted || (!hasDecimal && (c == u'.' || c == decimal)) ||
                   (!after.contains(u'E', Qt::CaseInsensitive) && isExponent(c));
        // An exponent typed before the zero decimals that the field put there replaces
        // them: "1" then "e3" is 1e3, not a number with decimals after its exponent.
        if (accepted && isExponent(c) && !hasSelectedText()) {
            const QString tail = after.mid(caret);
            if (tail.size() > 0 && tail.front() == decimal &&
                std::all_of(tail.cbegin() + 1, tail.cend(), [](QChar d) { return d == u'0'; }))
                setSelection(caret, int(tail.size()));
        }
    } else if (m_valueType == vtHex) {
        accepted = accepted || isHexLetter(c);
    }
    if (!accepted) {
        rejectKey();
        return;
    }
    if (!isReadOnly())
        insert(QString(c));
}

// Text that arrives in one piece (a paste, a drop, a composed word) is one number the user
// meant: it passes the typing filter as a whole and replaces the selection, or the whole
// text where nothing is selected. Typing it key by key would re-format after each key and
// could make another number of it ("0.75" dropped into "0,150" is no 750,150).
std::optional<QString> TFloatSpinEdit::insertable(const QString &inserted, int start,
                                                  int length) const
{
    const platform::Locale &locale = platform::locale();
    spinedit::TypingRules rules;
    rules.kind = m_valueType == vtFloat ? spinedit::TypingRules::Float
                 : m_valueType == vtHex ? spinedit::TypingRules::Hex
                                        : spinedit::TypingRules::Integer;
    rules.decimalSeparator = locale.decimalSeparator();
    if (m_thousands)
        rules.thousandSeparator = locale.thousandSeparator();
    const std::optional<QString> typed = spinedit::typedForm(inserted, rules);
    if (!typed)
        return std::nullopt;
    const QString after = QString(text()).replace(start, length, *typed);
    if (!parsedText(after))
        return std::nullopt;
    return typed;
}

bool TFloatSpinEdit::insertWhole(const QString &inserted, int start, int length)
{
    const std::optional<QString> typed =
        m_editorEnabled && !isReadOnly() ? insertable(inserted, start, length) : std::nullopt;
    if (!typed) {
        rejectKey();
        return false;
    }
    setSelection(start, length);
    insert(*typed);
    return true;
}

void TFloatSpinEdit::pasteWhole(const QString &pasted)
{
    if (!m_clipboard.testFlag(caPaste) || !m_editorEnabled || isReadOnly())
        return;
    if (hasSelectedText())
        insertWhole(pasted, selectionStart(), int(selectedText().size()));
    else
        insertWhole(pasted, 0, int(text().size()));
}

void TFloatSpinEdit::keyPressEvent(QKeyEvent *event)
{
    if (blockedShortcut(event)) {
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        pasteWhole(QGuiApplication::clipboard()->text());
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (m_arrowKeys) {
            step(event->key() == Qt::Key_Up ? +1 : -1);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_acceptance)
            checkAccepted();
        // Dialog keys: the containing window's default or cancel button reacts.
        event->ignore();
        return;
    case Qt::Key_Escape:
        event->ignore();
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (!m_editorEnabled) {
            rejectKey();
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    const QString typed = event->text();
    const bool plainTyping =
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plainTyping && !typed.isEmpty() && typed.front() >= u' ' && typed.front() != u'\x7f') {
        for (QChar c : typed)
            typeChar(c);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TFloatSpinEdit::inputMethodEvent(QInputMethodEvent *event)
{
    const QString commit = event->commitString();
    if (commit.isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    // A composed character is typed; a composed word is one number, as a paste is.
    QInputMethodEvent rest(event->preeditString(), event->attributes());
    QLineEdit::inputMethodEvent(&rest);
    const QString plain = commit.normalized(QString::NormalizationForm_KC);
    if (plain.size() == 1 && plain.front() >= u' ')
        typeChar(plain.front() == u'\u2212' ? QChar(u'-') : plain.front());
    else if (hasSelectedText())
        insertWhole(commit, selectionStart(), int(selectedText().size()));
    else
        insertWhole(commit, 0, int(text().size()));
    event->accept();
}

// A drop is a paste by mouse: onto the selection it replaces the selection, elsewhere the
// whole text. Text dragged out of the field itself is refused, since moving digits around
// inside a number never means a number.
bool TFloatSpinEdit::droppable(const QDropEvent *event, int *start, int *length)
{
    const QMimeData *data = event->mimeData();
    if (!data || !data->hasText() || event->source() == this || !m_clipboard.testFlag(caPaste) ||
        !m_editorEnabled || isReadOnly())
        return false;
    int from = 0;
    int count = int(text().size());
    if (hasSelectedText()) {
        const int at = cursorPositionAt(event->position().toPoint());
        if (at >= selectionStart() && at <= selectionEnd()) {
            from = selectionStart();
            count = int(selectedText().size());
        }
    }
    if (!insertable(data->text(), from, count))
        return false;
    if (start)
        *start = from;
    if (length)
        *length = count;
    return true;
}

void TFloatSpinEdit::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppable(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFloatSpinEdit::dragMoveEvent(QDragMoveEvent *event)
{
    // Judged at each point: onto the selection and beside it may differ.
    if (droppable(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFloatSpinEdit::dropEvent(QDropEvent *event)
{
    int start = 0;
    int length = 0;
    if (!droppable(event, &start, &length)) {
        event->ignore();
        return;
    }
    // Copied, never moved: the source keeps its text whatever becomes of it here.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    insertWhole(event->mimeData()->text(), start, length);
    // The drop is finished as it lands, as Enter finishes typing.
    if (m_acceptance)
        checkAccepted();
}

void TFloatSpinEdit::wheelEvent(QWheelEvent *event)
{
    const QPoint delta = event->angleDelta();
    // The wheel belongs to the focused control; sideways scrolling and the empty
    // begin/end notes of touchpads are no wheel turns.
    if (!hasFocus() ||
        (delta.y() == 0 && (delta.x() != 0 || event->phase() != Qt::NoScrollPhase))) {
        event->ignore();
        return;
    }
    step(delta.y() > 0 ? +1 : -1);
    event->accept();
}

void TFloatSpinEdit::mouseReleaseEvent(QMouseEvent *event)
{
    // The middle button pastes the selection of other programs, as a paste does.
    if (event->button() == Qt::MiddleButton) {
        if (QGuiApplication::clipboard()->supportsSelection())
            pasteWhole(QGuiApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TFloatSpinEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (!entersOrLeaves(reason))
        return;
    if (m_autoSelect && reason != Qt::MouseFocusReason)
        selectAll();
    else if (!m_autoSelect && reason != Qt::MouseFocusReason)
        deselect();
}

void TFloatSpinEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (!entersOrLeaves(event->reason()) || !(m_checkOptions & coCheckOnExit))
        return;
    if (m_acceptance) {
        checkAccepted();
        return;
    }
    const double value = Value();
    if (!(m_checkOptions & coCropBeyondLimit) && outOfRange(value)) {
        // Reported once the focus has settled, from the field's own queue.
        m_exitError = rangeMessage();
        QCoreApplication::postEvent(this, new QEvent(exitErrorEvent()));
        return;
    }
    setValue(value);
}

bool TFloatSpinEdit::event(QEvent *event)
{
    if (event->type() == exitErrorEvent()) {
        setFocus(Qt::OtherFocusReason);
        selectAll();
        // The application's default handler shows it.
        throw platform::TfError(m_exitError);
    }
    if (event->type() == refusedEvent())
        throw platform::TfError(m_exitError);
    return QLineEdit::event(event);
}

// --- Context menu -------------------------------------------------------------------

QMenu *TFloatSpinEdit::createContextMenu()
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("SpinEditMenu"));
    const auto add = [this, menu](MenuEntry entry, bool enabled, auto action) {
        QAction *item = menu->addAction(m_menuCaptions.value(entry));
        item->setEnabled(enabled);
        connect(item, &QAction::triggered, this, action);
    };
    const bool editable = !isReadOnly() && m_editorEnabled;
    const bool selected = hasSelectedText();
    if (m_clipboard.testFlag(caUndo))
        add(meUndo, editable && isUndoAvailable(), [this] { undo(); });
    if (m_clipboard.testFlag(caCut))
        add(meCut, editable && selected, [this] { cut(); });
    if (m_clipboard.testFlag(caCopy))
        add(meCopy, selected, [this] { copy(); });
    if (m_clipboard.testFlag(caPaste)) {
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        add(mePaste, editable && data && data->hasText(),
            [this] { pasteWhole(QGuiApplication::clipboard()->text()); });
    }
    // Deleting the selection is the clear command, allowed together with cutting.
    if (m_clipboard.testFlag(caCut))
        add(meDelete, editable && selected, [this] { del(); });
    if (!menu->isEmpty())
        menu->addSeparator();
    add(meSelectAll, !text().isEmpty(), [this] { selectAll(); });
    menu->addSeparator();
    add(meStepUp, !isReadOnly(), [this] { step(+1); });
    add(meStepDown, !isReadOnly(), [this] { step(-1); });
    return menu;
}

void TFloatSpinEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

// --- Arrow buttons ------------------------------------------------------------------

void TFloatSpinEdit::placeButtons()
{
    const int width = std::min(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this), 15);
    const int frame =
        hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
    const QRect inner = rect().adjusted(frame, frame, -frame, -frame);
    const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
    const int height = std::max(inner.height(), 2);
    m_buttons->setGeometry(rightToLeft ? inner.left() : inner.right() - width + 1, inner.top(),
                           width, height);
    m_up->setGeometry(0, 0, width, height / 2);
    m_down->setGeometry(0, height / 2, width, height - height / 2);
    // The text never runs under the arrows.
    const int margin = m_showButton ? width + 2 : 0;
    setTextMargins(rightToLeft ? margin : 0, 0, rightToLeft ? 0 : margin, 0);
}

void TFloatSpinEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    placeButtons();
}

void TFloatSpinEdit::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::LayoutDirectionChange || event->type() == QEvent::StyleChange)
        placeButtons();
}

} // namespace widgets
