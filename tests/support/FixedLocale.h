#pragma once

#include "platform/Locale.h"

namespace platform {

// Fixed separators and Qt date/time format strings; the clock can be pinned too.
class FixedLocale final : public Locale
{
public:
    FixedLocale(QChar decimal, QChar thousand, QString dateFormat, QString timeFormat)
        : m_decimal(decimal), m_thousand(thousand), m_dateFormat(std::move(dateFormat)),
          m_timeFormat(std::move(timeFormat))
    {
    }
    QChar decimalSeparator() const override { return m_decimal; }
    QChar thousandSeparator() const override { return m_thousand; }
    QString shortDate(const QDate &date) const override { return date.toString(m_dateFormat); }
    QString longTime(const QTime &time) const override { return time.toString(m_timeFormat); }
    QDate currentDate() const override
    {
        return m_date.isValid() ? m_date : QDate::currentDate();
    }
    QTime currentTime() const override
    {
        return m_time.isValid() ? m_time : QTime::currentTime();
    }
    void pinNow(const QDate &date, const QTime &time)
    {
        m_date = date;
        m_time = time;
    }

    static FixedLocale german()
    {
        return FixedLocale(u',', u'.', QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    }
    static FixedLocale english()
    {
        return FixedLocale(u'.', u',', QStringLiteral("M/d/yyyy"), QStringLiteral("h:mm:ss AP"));
    }

private:
    QChar m_decimal;
    QChar m_thousand;
    QString m_dateFormat;
    QString m_timeFormat;
    QDate m_date;
    QTime m_time;
};

} // namespace platform
