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
    // The date and time of one instant, for a run's stamp: read apart, a stop at midnight
    // could get the time of one day and the date of the next. A locale that sets its own
    // date and time (a test's) gives them here.
    virtual QDateTime currentDateTime() const { return QDateTime(currentDate(), currentTime()); }
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
    // One reading of the clock.
    QDateTime currentDateTime() const override { return QDateTime::currentDateTime(); }

private:
    QChar m_decimal = u'.';
    QChar m_thousand = u',';
};

Locale &locale();
// nullptr restores the system locale.
void setLocale(Locale *locale);

} // namespace platform
