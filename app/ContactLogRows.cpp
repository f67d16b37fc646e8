#include "app/ContactLogRows.h"

#include "protocol/NumberFormat.h"

namespace app {

namespace {

constexpr long double TicksPerSecond = 10000;
constexpr long double TicksPerMs = TicksPerSecond / 1000;

} // namespace

QStringList contactLogCaptions()
{
    return {QStringLiteral("Nr."),
            QStringLiteral("Zeit (s)"),
            QStringLiteral("Kontakt"),
            QStringLiteral("Zustand"),
            QStringLiteral("Abstand (ms)"),
            QStringLiteral("Unsicherheit (ms)"),
            QStringLiteral("Verspätet erkannt")};
}

QString contactLogField(const ContactLog &log, std::size_t index, ContactLogColumn column,
                        QChar decimal)
{
    const ContactLog::Entry &entry = log.at(index);
    const timing::LineEdge &edge = entry.edge;
    switch (column) {
    case ContactLogColumn::Number:
        return QString::number(log.added() - log.size() + index + 1);
    case ContactLogColumn::Time:
        return protocol::formatFixed((edge.at - log.origin()) / TicksPerSecond, 4, decimal);
    case ContactLogColumn::Line:
        return QString::number(edge.line);
    case ContactLogColumn::State:
        return edge.active ? QStringLiteral("aktiv") : QStringLiteral("inaktiv");
    case ContactLogColumn::Since:
        return entry.sincePrevious < 0
                   ? QString()
                   : protocol::formatFixed(entry.sincePrevious / TicksPerMs, 1, decimal);
    case ContactLogColumn::Uncertainty:
        return protocol::formatFixed3(edge.uncertainty * 1000.0L, decimal);
    case ContactLogColumn::Late:
        return edge.late ? QStringLiteral("*") : QString();
    }
    return {};
}

QStringList contactLogFields(const ContactLog &log, std::size_t index, QChar decimal)
{
    QStringList fields;
    for (int column = 0; column < ContactLogColumnCount; ++column)
        fields << contactLogField(log, index, ContactLogColumn(column), decimal);
    return fields;
}

QByteArray contactLogCsv(const ContactLog &log, protocol::CsvConvention convention)
{
    // Fields are numbers and fixed words: none holds a separator or a quote.
    QString text = contactLogCaptions().join(convention.separator) + QStringLiteral("\r\n");
    for (std::size_t i = 0; i < log.size(); ++i)
        text += contactLogFields(log, i, convention.decimal).join(convention.separator) +
                QStringLiteral("\r\n");
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace app
