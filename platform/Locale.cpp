#include "platform/Locale.h"

#include <clocale>
#include <ctime>
#include <langinfo.h>
#include <memory>

namespace platform {

namespace {

QChar firstChar(const char *text, QChar fallback)
{
    const QString s = QString::fromLocal8Bit(text ? text : "");
    return s.isEmpty() ? fallback : s.front();
}

QString strftimeText(const char *format, const tm &t)
{
    char buffer[256];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &t);
    return QString::fromLocal8Bit(buffer, qsizetype(n));
}

} // namespace

SystemLocale::SystemLocale()
{
    m_decimal = firstChar(nl_langinfo(RADIXCHAR), u'.');
    // Locales without grouping (C, POSIX) have an empty separator.
    m_thousand = firstChar(nl_langinfo(THOUSEP), u',');
}

QString SystemLocale::shortDate(const QDate &date) const
{
    tm t{};
    t.tm_year = date.year() - 1900;
    t.tm_mon = date.month() - 1;
    t.tm_mday = date.day();
    t.tm_wday = date.dayOfWeek() % 7;
    t.tm_yday = date.dayOfYear() - 1;
    return strftimeText("%x", t);
}

QString SystemLocale::longTime(const QTime &time) const
{
    tm t{};
    t.tm_hour = time.hour();
    t.tm_min = time.minute();
    t.tm_sec = time.second();
    return strftimeText("%X", t);
}

namespace {
Locale *g_locale = nullptr;

Locale &systemLocale()
{
    static SystemLocale instance;
    return instance;
}
} // namespace

Locale &locale()
{
    return g_locale ? *g_locale : systemLocale();
}

void setLocale(Locale *locale)
{
    g_locale = locale;
}

} // namespace platform
