#include "widgets/FloatSpinEditText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace widgets {

namespace spinedit {

namespace {

constexpr int Precision = 15;

// |value| = 0.d1 d2 d3 ... x 10^integerDigits, with at most 15 digits.
struct Digits
{
    std::string digits;
    int integerDigits = 0;
};

Digits decompose(double magnitude)
{
    Digits d;
    if (magnitude == 0)
        return d;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                      std::chars_format::scientific, Precision - 1);
    const std::string_view text(buffer, std::size_t(result.ptr - buffer));
    const std::size_t e = text.find('e');
    d.digits.push_back(text[0]);
    if (e > 2)
        d.digits.append(text.substr(2, e - 2));
    std::string_view exponent = text.substr(e + 1);
    if (!exponent.empty() && exponent.front() == '+')
        exponent.remove_prefix(1);
    int power = 0;
    std::from_chars(exponent.data(), exponent.data() + exponent.size(), power);
    d.integerDigits = power + 1;
    return d;
}

// Keeps `keep` digits, rounding half up on the 15-digit string.
void roundTo(Digits &d, int keep)
{
    if (keep >= int(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[std::size_t(keep)] >= '5';
    d.digits.resize(std::size_t(keep));
    if (!up)
        return;
    int i = keep - 1;
    for (; i >= 0; --i) {
        char &c = d.digits[std::size_t(i)];
        if (c != '9') {
            ++c;
            break;
        }
        c = '0';
    }
    if (i < 0) {
        d.digits.insert(d.digits.begin(), '1');
        ++d.integerDigits;
    }
}

QString group(const QString &integer, QChar separator)
{
    if (separator.isNull())
        return integer;
    QString grouped;
    for (qsizetype i = 0; i < integer.size(); ++i) {
        if (i > 0 && (integer.size() - i) % 3 == 0)
            grouped += separator;
        grouped += integer[i];
    }
    return grouped;
}

// The digits laid out around the decimal separator, `decimals` places after it.
QString layOut(const Digits &d, int decimals, QChar decimalSeparator, QChar thousandSeparator)
{
    const auto digitAt = [&d](int index) {
        return index >= 0 && index < int(d.digits.size())
                   ? QChar::fromLatin1(d.digits[std::size_t(index)])
                   : QChar(u'0');
    };
    QString integer;
    for (int i = 0; i < d.integerDigits; ++i)
        integer += digitAt(i);
    if (integer.isEmpty())
        integer = QStringLiteral("0");
    QString text = group(integer, thousandSeparator);
    if (decimals > 0) {
        text += decimalSeparator;
        for (int j = 0; j < decimals; ++j)
            text += digitAt(d.integerDigits + j);
    }
    return text;
}

QString exponentForm(Digits d, QChar decimalSeparator)
{
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    QString text = QChar::fromLatin1(d.digits[0]);
    if (d.digits.size() > 1) {
        text += decimalSeparator;
        text += QString::fromLatin1(d.digits.data() + 1, qsizetype(d.digits.size() - 1));
    }
    return text + u'E' + QString::number(d.integerDigits - 1);
}

std::optional<QString> nonFinite(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    return std::nullopt;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

QString withoutThousands(QStringView text, QChar decimalSeparator, QChar thousandSeparator)
{
    QString plain;
    plain.reserve(text.size());
    const bool strip = !thousandSeparator.isNull() && thousandSeparator != decimalSeparator;
    for (QChar c : text) {
        if (!(strip && c == thousandSeparator))
            plain += c;
    }
    return plain;
}

} // namespace

QString formatFixed(double value, int decimals, QChar decimalSeparator, QChar thousandSeparator)
{
    if (auto special = nonFinite(value))
        return *special;
    Digits d = decompose(std::fabs(value));
    if (d.integerDigits > Precision)
        return (value < 0 ? QStringLiteral("-") : QString()) + exponentForm(d, decimalSeparator);
    roundTo(d, d.integerDigits + decimals);
    const bool shown = d.digits.find_first_not_of('0') != std::string::npos;
    const QString text = layOut(d, decimals, decimalSeparator, thousandSeparator);
    return value < 0 && shown ? u'-' + text : text;
}

QString formatGeneral(double value, QChar decimalSeparator)
{
    if (auto special = nonFinite(value))
        return *special;
    if (value == 0)
        return QStringLiteral("0");
    Digits d = decompose(std::fabs(value));
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    if (d.integerDigits > Precision || d.integerDigits < -4)
        return sign + exponentForm(d, decimalSeparator);
    const int decimals = std::max(0, int(d.digits.size()) - d.integerDigits);
    return sign + layOut(d, decimals, decimalSeparator, QChar());
}

std::optional<double> parseFloat(QStringView text, QChar decimalSeparator, QChar thousandSeparator)
{
    const QString plain = withoutThousands(text, decimalSeparator, thousandSeparator).trimmed();
    std::string ascii;
    qsizetype i = 0;
    const auto at = [&plain](qsizetype index) {
        return index < plain.size() ? plain[index] : QChar();
    };
    if (at(i) == u'+' || at(i) == u'-')
        ascii.push_back(char(plain[i++].unicode()));
    int mantissaDigits = 0;
    for (; isAsciiDigit(at(i)); ++i, ++mantissaDigits)
        ascii.push_back(char(plain[i].unicode()));
    if (at(i) == decimalSeparator && !decimalSeparator.isNull()) {
        ascii.push_back('.');
        for (++i; isAsciiDigit(at(i)); ++i, ++mantissaDigits)
            ascii.push_back(char(plain[i].unicode()));
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (at(i) == u'e' || at(i) == u'E') {
        ascii.push_back('e');
        ++i;
        if (at(i) == u'+' || at(i) == u'-')
            ascii.push_back(char(plain[i++].unicode()));
        int exponentDigits = 0;
        for (; isAsciiDigit(at(i)); ++i, ++exponentDigits)
            ascii.push_back(char(plain[i].unicode()));
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (i != plain.size())
        return std::nullopt;
    // from_chars takes no leading "+".
    const char *begin = ascii.data() + (ascii.front() == '+' ? 1 : 0);
    const char *end = ascii.data() + ascii.size();
    double value = 0;
    const auto result = std::from_chars(begin, end, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseInteger(QStringView text, QChar decimalSeparator,
                                         QChar thousandSeparator)
{
    const QString plain = withoutThousands(text, decimalSeparator, thousandSeparator).trimmed();
    const QByteArray ascii = plain.toLatin1();
    const char *begin = ascii.constData();
    const char *end = begin + ascii.size();
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-')
        ++begin;
    std::int64_t value = 0;
    const auto result = std::from_chars(begin, end, value, 10);
    if (begin == end || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseHex(QStringView text)
{
    const QByteArray ascii = text.toString().trimmed().toLatin1();
    const char *begin = ascii.constData();
    const char *end = begin + ascii.size();
    std::uint64_t value = 0;
    const auto result = std::from_chars(begin, end, value, 16);
    if (begin == end || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    // Sixteen digits are the two's complement, as the text of a negative value shows it.
    return static_cast<std::int64_t>(value);
}

QString formatInteger(std::int64_t value, QChar thousandSeparator)
{
    const QString digits = QString::number(value < 0 ? -static_cast<std::uint64_t>(value)
                                                     : static_cast<std::uint64_t>(value));
    const QString grouped = group(digits, thousandSeparator);
    return value < 0 ? u'-' + grouped : grouped;
}

QString formatHex(std::int64_t value)
{
    return QString::number(static_cast<std::uint64_t>(value), 16).toUpper();
}

std::int64_t nearest(double value)
{
    if (std::isnan(value))
        return 0;
    // 2^63 exactly; every double below it converts.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit)
        return std::numeric_limits<std::int64_t>::max();
    if (value < -limit)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::nearbyint(value));
}

std::optional<QString> typedForm(QStringView inserted, const TypingRules &rules)
{
    const QString plain = inserted.toString().normalized(QString::NormalizationForm_KC).trimmed();
    if (plain.isEmpty())
        return std::nullopt;
    const bool grouped = !rules.thousandSeparator.isNull();
    QString typed;
    typed.reserve(plain.size());
    for (QChar c : plain) {
        if (c == u'\u2212')
            c = u'-';
        if (rules.kind == TypingRules::Float && c == u'.' &&
            !(grouped && rules.thousandSeparator == u'.'))
            c = rules.decimalSeparator;
        const bool accepted = isAsciiDigit(c) || c == u'+' || c == u'-' ||
                              (grouped && c == rules.thousandSeparator) ||
                              (rules.kind == TypingRules::Float &&
                               (c == rules.decimalSeparator || c == u'e' || c == u'E')) ||
                              (rules.kind == TypingRules::Hex &&
                               ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
        if (!accepted)
            return std::nullopt;
        typed += c;
    }
    return typed;
}

} // namespace spinedit

} // namespace widgets
