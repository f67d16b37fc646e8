#include "protocol/NumberFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

using protocol::formatFixed3;

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
        {1e10L, ',', "1E10"},
        {12345678901234567890.0L, ',', "1,23456789E19"},
        {1e300L, '.', "1E300"},
        {0.00004L, ',', "0,000"},
        {0.00051L, ',', "0,001"},
        {1e-30L, ',', "0,000"},
        {0.1287111721L, ',', "0,129"},
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

// The C library's numeric locale must not leak into the digits: the program's users run it
// with a German locale, whose printf writes a comma.
TEST(FormatFixed3, IgnoresTheCLibraryLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the de_DE.UTF-8 locale is missing: scripts/install-deps.sh generates it";
    const struct
    {
        long double value;
        char separator;
        const char *text;
    } rows[] = {
        {0.15L, ',', "0,150"},
        {0.15L, '.', "0.150"},
        {0, ',', "0,000"},
        {0.1287111721L, ',', "0,129"},
        {1.5e15L, ',', "1,5E15"},
        {1.5e15L, '.', "1.5E15"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(formatFixed3(row.value, QChar::fromLatin1(row.separator)).toStdString(), row.text)
            << double(row.value);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(FormatFixed, WritesTheAskedDecimalsUnderTheSameRules)
{
    const struct
    {
        long double value;
        int decimals;
        const char *text;
    } rows[] = {
        {0.05L, 4, "0,0500"},
        {1.4L, 4, "1,4000"},
        {0.00005L, 4, "0,0001"}, // a tie rounds away from zero
        {0.000049L, 4, "0,0000"},
        {2, 0, "2"},
        {1.5L, 0, "2"},
        {0.5L / 0.9875L, 6, "0,506329"},
        {0.0000004L, 6, "0,000000"},
        {123456789.123456L, 6, "123456789,100000"}, // still ten significant digits
        {-0.00012L, 4, "-0,0001"},
        {0.1287111721L, 3, "0,129"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(protocol::formatFixed(row.value, row.decimals, u',').toStdString(), row.text)
            << double(row.value) << " with " << row.decimals;
}
