#include "platform/Locale.h"

#include <gtest/gtest.h>

#include <clocale>

// The C library's own formats, as a user without regional settings has them.
TEST(SystemLocale, ReadsSeparatorsAndFormatsOfTheCLibraryLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const platform::SystemLocale locale;
    EXPECT_EQ(locale.decimalSeparator(), u'.');
    EXPECT_EQ(locale.shortDate(QDate(2026, 12, 6)), "12/06/26");
    EXPECT_EQ(locale.shortDate(QDate(1999, 1, 31)), "01/31/99");
    EXPECT_EQ(locale.longTime(QTime(14, 3, 27)), "14:03:27");
    EXPECT_EQ(locale.longTime(QTime(0, 0, 0)), "00:00:00");
    std::setlocale(LC_ALL, saved.c_str());
}
