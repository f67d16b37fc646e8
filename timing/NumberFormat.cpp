#include "timing/NumberFormat.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace timing {

namespace {

constexpr int Precision = 10;
constexpr int Decimals = 3;

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
    digits.insert(digits.begin(), '1');
    return true;
}

QString scientific(long double magnitude, bool negative, QChar separator)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*Le", Precision - 1, magnitude);
    std::string text(buffer);
    const auto e = text.find('e');
    std::string mantissa = text.substr(0, e);
    // The C library writes the user's decimal separator; ours replaces it below.
    const auto cPoint = mantissa.find_first_not_of("0123456789");
    if (cPoint != std::string::npos)
        mantissa[cPoint] = '.';
    const int exponent = std::stoi(text.substr(e + 1));
    while (mantissa.back() == '0')
        mantissa.pop_back();
    if (mantissa.back() == '.')
        mantissa.pop_back();
    QString result = QString::fromLatin1(mantissa.c_str());
    result.replace(u'.', separator);
    result += u'E' + QString::number(exponent);
    return negative ? u'-' + result : result;
}

} // namespace

QString formatFixed3(long double value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    const bool negative = std::signbit(value);
    const long double magnitude = std::fabs(value);
    if (magnitude >= 1e10L)
        return scientific(magnitude, negative, decimalSeparator);

    // The exact binary value in decimal: below 1e10 a long double has at most 64
    // fraction bits, so 70 places print it without rounding.
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%.70Lf", magnitude);
    std::string text(buffer);
    // The C library writes the user's decimal separator here (LC_NUMERIC).
    const auto point = text.find_first_not_of("0123456789");
    std::string intPart = text.substr(0, point);
    if (intPart == "0")
        intPart.clear();
    std::string digits = intPart + text.substr(point + 1);
    std::size_t intDigits = intPart.size();

    const std::size_t firstSignificant = digits.find_first_not_of('0');
    std::size_t keep = intDigits + Decimals;
    if (firstSignificant != std::string::npos && firstSignificant + Precision < keep)
        keep = firstSignificant + Precision;
    if (roundDigits(digits, keep))
        ++intDigits;
    digits.resize(intDigits + Decimals, '0');

    if (intDigits > std::size_t(Precision))
        return scientific(magnitude, negative, decimalSeparator);

    std::string whole = digits.substr(0, intDigits);
    const std::string fraction = digits.substr(intDigits);
    if (whole.empty())
        whole = "0";
    const bool zero = whole.find_first_not_of('0') == std::string::npos
                      && fraction.find_first_not_of('0') == std::string::npos;
    QString result = QString::fromLatin1(whole.c_str()) + decimalSeparator
                     + QString::fromLatin1(fraction.c_str());
    return negative && !zero ? u'-' + result : result;
}

} // namespace timing
