#include "timing/NumberFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

using timing::formatFixed3;

TEST(FormatFixed3, WritesThreeDecimalsWithTheGivenSeparator)
{
    const struct
    {
        long double value;
        char separator;
        const char *text;
    } rows[] = {
        {0.15L, ',', "0,150"},
        {0.15L, '.', "0.150"},
        {0, ',', "0,000"},
        {1500, ',', "1500,000"},
        {0.122L, ',', "0,122"},
        {1234567.0L, ',', "1234567,000"}, // no thousands separators
        {0.0625L, '.', "0.063"},          // an exact tie rounds away from zero
        {-0.0625L, '.', "-0.063"},
        {-0.0004L, '.', "0.000"},         // no minus sign on a zero
        {0.9996L, '.', "1.000"},
        {2.5L, ',', "2,500"},
        // Beyond seven integer digits only ten significant digits remain.
        {123456789.1234L, '.', "123456789.100"},
        {1234567891.26L, '.', "1234567891.000"},
        {9999999999.6L, '.', "1E10"},     // rounding carries into an eleventh digit
        {1.5e15L, ',', "1,5E15"},
        {-2.25e12L, '.', "-2.25E12"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(formatFixed3(row.value, QChar::fromLatin1(row.separator)).toStdString(), row.text)
            << double(row.value);
}

TEST(FormatFixed3, NamesValuesThatAreNoNumbers)
{
    EXPECT_EQ(formatFixed3(std::numeric_limits<long double>::infinity(), u','), "INF");
    EXPECT_EQ(formatFixed3(-std::numeric_limits<long double>::infinity(), u','), "-INF");
    EXPECT_EQ(formatFixed3(std::numeric_limits<long double>::quiet_NaN(), u','), "NAN");
}

// The program runs in the user's C library locale, whose decimal separator may be a comma.
TEST(FormatFixed3, IsTheSameInEveryCLibraryLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not generated";
    const QString texts[] = {formatFixed3(0.15L, ','), formatFixed3(1500, '.'),
                             formatFixed3(1.5e15L, ',')};
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(texts[0], "0,150");
    EXPECT_EQ(texts[1], "1500.000");
    EXPECT_EQ(texts[2], "1,5E15");
}
