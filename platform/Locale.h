#pragma once

#include <QChar>
#include <QDate>
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

private:
    QChar m_decimal = u'.';
    QChar m_thousand = u',';
};

// Fixed separators and Qt date/time format strings; the clock can be pinned too.
class FixedLocale final : public Locale
{
public:
    FixedLocale(QChar decimal, QChar thousand, QString dateFormat, QString timeFormat);
    QChar decimalSeparator() const override { return m_decimal; }
    QChar thousandSeparator() const override { return m_thousand; }
    QString shortDate(const QDate &date) const override;
    QString longTime(const QTime &time) const override;
    QDate currentDate() const override;
    QTime currentTime() const override;
    void pinNow(const QDate &date, const QTime &time);

    static FixedLocale german();
    static FixedLocale english();

private:
    QChar m_decimal;
    QChar m_thousand;
    QString m_dateFormat;
    QString m_timeFormat;
    QDate m_date;
    QTime m_time;
};

Locale &locale();
// nullptr restores the system locale.
void setLocale(Locale *locale);

} // namespace platform
