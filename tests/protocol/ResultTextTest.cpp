#include "protocol/ResultText.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ResultTextTest, ValueAndUncertaintyRoundedTogether)
{
    struct Case
    {
        double value, uncertainty;
        QChar separator;
        const char *text;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {0.50213, 0.01287, u',', "(0,502 ± 0,013)"},
        {0.50213, 0.01287, u'.', "(0.502 ± 0.013)"},
        {9.8123, 0.1234, u',', "(9,81 ± 0,12)"},
        {-0.5021, 0.0013, u',', "(-0,5021 ± 0,0013)"},
        {0.5, 0.25, u',', "(0,50 ± 0,25)"},
        {12.0, 1.5, u',', "(12,0 ± 1,5)"},
        {12.0, 15, u',', "(12 ± 15)"},
        // 0,0996 rounds up to 0,100: two digits are 0,10.
        {1.2345, 0.0996, u',', "(1,23 ± 0,10)"},
        {2.00049, 0.0013, u',', "(2,0005 ± 0,0013)"},
        // Too coarse or too fine for fixed notation: a common power of ten.
        {1234.5, 130, u',', "(1,23 ± 0,13)·10³"},
        {5, 130, u',', "(0,1 ± 1,3)·10²"},
        {1.2e-6, 3.4e-8, u',', "(1,200 ± 0,034)·10⁻⁶"},
        // Without an uncertainty: four significant digits.
        {0.5, 0, u',', "0,5000"},
        {9.80665, nan, u',', "9,807"},
        {123456, 0, u',', "1,235·10⁵"},
        {0, 0, u',', "0"},
        {nan, 0.1, u',', "???"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(protocol::measuredText(c.value, c.uncertainty, c.separator).toStdString(), c.text)
            << c.value << " ± " << c.uncertainty;
}

TEST(ResultTextTest, SymbolAndUnit)
{
    EXPECT_EQ(
        protocol::resultText(QStringLiteral("a"), 0.50213, 0.01287, QStringLiteral("m/s²"), u',')
            .toStdString(),
        "a = (0,502 ± 0,013) m/s²");
    EXPECT_EQ(
        protocol::resultText(QStringLiteral("R²"), 0.998765, 0, QString(), u',').toStdString(),
        "R² = 0,9988");
}

} // namespace
