#include "protocol/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace protocol {

namespace {

constexpr int Precision = 10;
constexpr int MaxDecimals = 9;

__extension__ typedef unsigned __int128 Wide;

// Decimal digits of an unsigned integer held as 32-bit limbs, least significant first.
// The limbs are consumed.
std::string integerDigits(std::vector<std::uint32_t> limbs)
{
    std::string reversed;
    while (!limbs.empty()) {
        // Divide by 10^9 and emit the remainder's nine digits.
        std::uint64_t remainder = 0;
        for (std::size_t i = limbs.size(); i-- > 0;) {
            const std::uint64_t current = (remainder << 32) | limbs[i];
            limbs[i] = std::uint32_t(current / 1000000000u);
            remainder = current % 1000000000u;
        }
        while (!limbs.empty() && limbs.back() == 0)
            limbs.pop_back();
        for (int d = 0; d < 9; ++d) {
            reversed += char('0' + remainder % 10);
            remainder /= 10;
        }
    }
    while (!reversed.empty() && reversed.back() == '0')
        reversed.pop_back();
    return {reversed.rbegin(), reversed.rend()};
}

// The exact decimal digits of a finite, non-negative value: every integer digit (none
// for a value below 1) followed by FractionDigits digits of the fraction, cut off.
struct Digits
{
    std::string digits;
    std::size_t intDigits = 0;
};

// `fractionDigits` is one more than the shown decimals: that digit decides the rounding.
Digits exactDigits(long double magnitude, int fractionDigits)
{
    // Below this every shown and deciding digit is 0.
    long double smallest = 0.5L;
    for (int i = 0; i < fractionDigits; ++i)
        smallest /= 10;
    if (magnitude < smallest)
        return {std::string(std::size_t(fractionDigits), '0'), 0};

    // magnitude = mantissa * 2^shift with a 64-bit integer mantissa; exact for the
    // 64-bit long double and for anything narrower.
    int exponent = 0;
    const long double fraction = std::frexp(magnitude, &exponent);
    const auto mantissa = std::uint64_t(std::ldexp(fraction, 64));
    const int shift = exponent - 64;

    Digits result;
    if (shift >= 0) {
        std::vector<std::uint32_t> limbs(std::size_t(shift / 32) + 3, 0);
        const int bit = shift % 32;
        const Wide wide = static_cast<Wide>(mantissa) << bit;
        const std::size_t word = std::size_t(shift / 32);
        for (std::size_t i = 0; i < 3; ++i)
            limbs[word + i] = std::uint32_t(wide >> (32 * i));
        while (!limbs.empty() && limbs.back() == 0)
            limbs.pop_back();
        result.digits = integerDigits(std::move(limbs));
        result.intDigits = result.digits.size();
        result.digits.append(std::size_t(fractionDigits), '0');
        return result;
    }

    // At least 5E-11, so no more than 99 fraction bits: 128 bits hold the fraction
    // times ten.
    const int bits = -shift;
    const std::uint64_t whole = bits < 64 ? mantissa >> bits : 0;
    const Wide mask = (static_cast<Wide>(1) << bits) - 1;
    Wide rest = static_cast<Wide>(mantissa) & mask;
    if (whole != 0)
        result.digits = integerDigits({std::uint32_t(whole), std::uint32_t(whole >> 32)});
    result.intDigits = result.digits.size();
    for (int i = 0; i < fractionDigits; ++i) {
        rest *= 10;
        result.digits += char('0' + int(rest >> bits));
        rest &= mask;
    }
    return result;
}

// Rounds the decimal digit string half away from zero so that it keeps `keep` digits;
// returns true when the carry added a new leading digit.
bool roundDigits(std::string &digits, std::size_t keep)
{
    if (keep >= digits.size())
        return false;
    const bool up = digits[keep] >= '5';
    digits.resize(keep);
    if (!up)
        return false;
    for (std::size_t i = keep; i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    digits = '1' + digits;
    return true;
}

QString latin1(const std::string &text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// Ten significant digits, trailing zeros dropped: 1,5E15. `digits` starts with the
// first significant digit and has `intDigits` digits before the point.
QString scientific(std::string digits, std::size_t intDigits, bool negative, QChar separator)
{
    if (roundDigits(digits, Precision))
        ++intDigits;
    digits.resize(Precision, '0');
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    QString result = latin1(digits.substr(0, 1));
    if (digits.size() > 1)
        result += separator + latin1(digits.substr(1));
    result += u'E' + latin1(std::to_string(intDigits - 1));
    return negative ? u'-' + result : result;
}

} // namespace

QString formatFixed3(long double value, QChar decimalSeparator)
{
    return formatFixed(value, 3, decimalSeparator);
}

QString formatFixed(long double value, int decimals, QChar decimalSeparator)
{
    const int shown = std::clamp(decimals, 0, MaxDecimals);
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    const bool negative = std::signbit(value);
    auto [digits, intDigits] = exactDigits(std::fabs(value), shown + 1);
    if (intDigits > std::size_t(Precision))
        return scientific(std::move(digits), intDigits, negative, decimalSeparator);

    const std::size_t firstSignificant = digits.find_first_not_of('0');
    std::size_t keep = intDigits + std::size_t(shown);
    if (firstSignificant != std::string::npos && firstSignificant + Precision < keep)
        keep = firstSignificant + Precision;
    if (roundDigits(digits, keep))
        ++intDigits;
    digits.resize(intDigits + std::size_t(shown), '0');

    if (intDigits > std::size_t(Precision))
        return scientific(std::move(digits), intDigits, negative, decimalSeparator);

    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    const QString whole =
        intDigits == 0 ? QStringLiteral("0") : latin1(digits.substr(0, intDigits));
    const QString result = shown == 0
                               ? whole
                               : whole + decimalSeparator + latin1(digits.substr(intDigits));
    return negative && !zero ? u'-' + result : result;
}

} // namespace protocol
