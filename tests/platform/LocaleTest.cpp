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

// A run's stamp comes from one reading: the date and time belong to one instant, and a
// locale that sets its own date and time gives them together.
TEST(SystemLocale, DateAndTimeComeFromOneReading)
{
    const platform::SystemLocale system;
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime now = system.currentDateTime();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);

    struct Midnight final : platform::Locale
    {
        QChar decimalSeparator() const override { return u','; }
        QChar thousandSeparator() const override { return u'.'; }
        QString shortDate(const QDate &) const override { return {}; }
        QString longTime(const QTime &) const override { return {}; }
        QDate currentDate() const override { return {2026, 12, 7}; }
        QTime currentTime() const override { return {0, 0, 0}; }
    } midnight;
    EXPECT_EQ(midnight.currentDateTime(), QDateTime(QDate(2026, 12, 7), QTime(0, 0)));
}
