#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace widgets {

// The spin field's number texts: plain logic, independent of the C library's locale.
// The separators are passed in; a null thousands separator means none.
namespace spinedit {

// Fixed-point text with exactly `decimals` places, rounded to at most 15 significant
// digits first; a leading "-" only when something non-zero is shown. More than 15
// integer digits come out in exponent notation (1,5E20); non-finite values as NAN,
// INF and -INF.
QString formatFixed(double value, int decimals, QChar decimalSeparator,
                    QChar thousandSeparator = QChar());

// Up to 15 significant digits, trailing zeros dropped; exponent notation below 1E-5
// and from 1E15 on. Used for limits quoted in messages.
QString formatGeneral(double value, QChar decimalSeparator);

// Every thousands separator is removed first (unless it equals the decimal separator);
// then blanks around, an optional sign, digits with at most one decimal separator and
// an optional "E" exponent. Anything else, or a result out of range, is no number.
std::optional<double> parseFloat(QStringView text, QChar decimalSeparator, QChar thousandSeparator);

// Whole numbers, decimal with optional sign and thousands separators, or hexadecimal.
std::optional<std::int64_t> parseInteger(QStringView text, QChar decimalSeparator,
                                         QChar thousandSeparator);
std::optional<std::int64_t> parseHex(QStringView text);
QString formatInteger(std::int64_t value, QChar thousandSeparator = QChar());
QString formatHex(std::int64_t value);

// Nearest whole number, ties to even, saturated at the 64-bit range.
std::int64_t nearest(double value);

// What typing accepts in a field of one kind. `thousandSeparator` is null when the field
// shows no thousands separators.
struct TypingRules
{
    enum Kind { Integer, Float, Hex };
    Kind kind = Float;
    QChar decimalSeparator = u'.';
    QChar thousandSeparator;
};

// A pasted, dropped or composed text as the characters typing it would give, taken as a
// whole: blanks around it dropped, full-width forms and the minus sign as their plain
// ones, "." as the decimal separator where typing makes it one. nullopt when it is empty
// or holds a character typing refuses; the caller still checks that the result is a number.
std::optional<QString> typedForm(QStringView inserted, const TypingRules &rules);

} // namespace spinedit

} // namespace widgets
