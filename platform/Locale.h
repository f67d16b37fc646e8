#pragma once

#include <QChar>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace platform {

// The user's regional settings as far as the program uses them.
class Locale
{
public:
    virtual ~Locale() = default;
    virtual QChar decimalSeparator() const = 0;
    virtual QChar thousandSeparator() const = 0;
    virtual QString shortDate(const QDate &date) const = 0;
    virtual QString longTime(const QTime &time) const = 0;
    virtual QDate currentDate() const { return QDate::currentDate(); }
    virtual QTime currentTime() const { return QTime::currentTime(); }
    // Date and time of one reading of the clock: a run stopped at midnight is not stamped
    // with the day before. Stand-ins that set date and time on their own combine the two.
    virtual QDateTime currentDateTime() const
    {
        if (isClockStandIn())
            return QDateTime(currentDate(), currentTime());
        return QDateTime::currentDateTime();
    }

protected:
    // Whether currentDate or currentTime are a stand-in's own.
    virtual bool isClockStandIn() const { return true; }
};

// Separators and formats of the C library locale (LC_NUMERIC, LC_TIME: %x and %X),
// read once when constructed. The process must have called setlocale(LC_ALL, "").
class SystemLocale final : public Locale
{
public:
    SystemLocale();
    QChar decimalSeparator() const override { return m_decimal; }
    QChar thousandSeparator() const override { return m_thousand; }
    QString shortDate(const QDate &date) const override;
    QString longTime(const QTime &time) const override;

protected:
    bool isClockStandIn() const override { return false; }

private:
    QChar m_decimal = u'.';
    QChar m_thousand = u',';
};

Locale &locale();
// nullptr restores the system locale.
void setLocale(Locale *locale);

} // namespace platform
