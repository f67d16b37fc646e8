#include "protocol/ProtocolExport.h"

#include "protocol/NumberFormat.h"

#include <array>

namespace protocol {

namespace {

constexpr QLatin1StringView Crlf("\r\n");

// Code page 1252 at 0x80..0x9F; zero where the code page has no character.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char ansiByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (std::size_t i = 0; i < Cp1252High.size(); ++i) {
        if (Cp1252High[i] == c)
            return char(0x80 + i);
    }
    return '?';
}

} // namespace

QString exportRow(const QString &f1, const QString &f2, const QString &f3, const QString &f4)
{
    return f1.leftJustified(25) + f2.leftJustified(15) + f3.leftJustified(15)
           + f4.rightJustified(15);
}

QString exportText(const QList<ProtocolRow> &rows, const QStringList &extraHeaders)
{
    constexpr qsizetype ExtraWidth = 15;
    const auto extraFields = [&](const QStringList &cells) {
        QString fields;
        for (qsizetype i = 0; i < extraHeaders.size(); ++i)
            fields += cells.value(i).rightJustified(ExtraWidth);
        return fields;
    };
    QString text;
    text += QLatin1StringView(ExportTitle) + Crlf;
    text += Crlf;
    text += exportRow(QStringLiteral("Datum/Zeit"), QStringLiteral("Stoppuhrzeit"),
                      QStringLiteral("Entfernung"), QStringLiteral("Geschwindigkeit"))
            + extraFields(extraHeaders) + Crlf;
    text += QString(70 + ExtraWidth * extraHeaders.size(), u' ') + Crlf;
    for (const ProtocolRow &row : rows)
        text += exportRow(row.caption, row.late ? row.time + LateMark : row.time, row.distance,
                          row.speed)
                + extraFields(row.extra) + Crlf;
    text += Crlf;
    text += QLatin1StringView(MakersMark) + Crlf;
    return text;
}

QByteArray toAnsi(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text)
        bytes.append(ansiByte(c.unicode()));
    return bytes;
}

std::array<QString, 3> entryTexts(const timing::RunEntry &entry, QChar decimalSeparator)
{
    if (!entry.time)
        return {QStringLiteral("???"), QStringLiteral("???"), QStringLiteral("???")};
    return {timing::TicksToStr(*entry.time),
            formatFixed3(entry.meters, decimalSeparator) + QStringLiteral(" m"),
            formatFixed3(entry.speed(), decimalSeparator) + QStringLiteral(" m/s")};
}

} // namespace protocol
