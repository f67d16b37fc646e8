#include "protocol/RunReader.h"

#include "protocol/CsvColumns.h"

#include "protocol/RunLog.h"
#include "timing/ModeEngine.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <variant>

namespace protocol {

namespace {

using namespace csv;
constexpr char16_t Bom = 0xFEFF;

bool needsGuard(const QString &text)
{
    if (text.isEmpty())
        return false;
    switch (text.front().unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
    case u'\'': // so that taking one apostrophe off gives back what was written
        return true;
    default:
        return false;
    }
}

// One line's fields; quoted fields may hold the separator and doubled quotes. A quote
// left open takes the rest of the line.
QStringList fieldsOf(QStringView line, QChar separator)
{
    QStringList fields;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c != u'"')
                current += c;
            else if (i + 1 < line.size() && line[i + 1] == u'"')
                current += line[++i];
            else
                quoted = false;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == separator) {
            fields << current;
            current.clear();
        } else {
            current += c;
        }
    }
    fields << current;
    return fields;
}

// A decimal number with a comma or a point, optionally signed, with any count of
// decimals or an exponent, as the decimal digits it shows: "0,5" is 5 and -1.
struct Decimal
{
    bool negative = false;
    QString digits; // integer and fraction digits, no sign
    qsizetype fractionDigits = 0;
    int exponent = 0;
};

std::optional<Decimal> decimalOf(QString text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([+-]?)(\\d*)(?:[.,](\\d*))?(?:[eE]([+-]?\\d{1,4}))?$"));
    text = text.trimmed();
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch() || m.capturedLength(2) + m.capturedLength(3) == 0)
        return std::nullopt;
    return Decimal{m.captured(1) == u"-", m.captured(2) + m.captured(3), m.capturedLength(3),
                   m.captured(4).toInt()};
}

std::optional<long double> numberOf(const QString &text)
{
    const std::optional<Decimal> d = decimalOf(text);
    if (!d)
        return std::nullopt;
    // Independent of the C library's locale, which the program sets to the user's.
    const QByteArray plain = d->digits.left(d->digits.size() - d->fractionDigits).toLatin1() +
                             '.' + d->digits.right(d->fractionDigits).toLatin1() + "0e" +
                             QByteArray::number(d->exponent);
    // As double, like the typed values, so that a value written and read back is equal.
    double value = 0;
    const auto [end, error] = std::from_chars(plain.constData(), plain.constData() + plain.size(),
                                              value);
    if (error == std::errc::result_out_of_range) {
        // Beyond the range: infinite (refused by the checks) or nothing.
        const bool big = std::any_of(d->digits.cbegin(), d->digits.cend(),
                                     [](QChar c) { return c != u'0'; }) &&
                         d->exponent > 0;
        value = big ? HUGE_VAL : 0.0;
    } else if (error != std::errc()) {
        return std::nullopt;
    }
    return d->negative ? -value : value;
}

// Seconds as ticks, exactly where there are at most four decimals and rounded half up
// beyond; none for anything that is not a number or outside the ticks' range.
std::optional<timing::Ticks> ticksOf(const QString &text)
{
    const std::optional<Decimal> d = decimalOf(text);
    if (!d)
        return std::nullopt;
    // Four decimals: shift the point by the exponent and pad or cut the fraction.
    const qsizetype point = d->digits.size() - d->fractionDigits + d->exponent + 4;
    QString digits = d->digits;
    if (point < 0)
        return d->negative ? std::nullopt : std::optional<timing::Ticks>(0);
    if (point > digits.size())
        digits += QString(point - digits.size(), u'0');
    const bool roundUp = point < digits.size() && digits[point] >= u'5';
    QString whole = digits.left(point);
    while (whole.size() > 1 && whole.front() == u'0')
        whole.remove(0, 1);
    if (whole.size() > 17)
        return std::nullopt;
    timing::Ticks ticks = whole.isEmpty() ? 0 : whole.toLongLong();
    if (roundUp)
        ++ticks;
    return d->negative ? -ticks : ticks;
}

QDateTime dateTimeOf(QString text)
{
    text = text.trimmed();
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (when.isValid())
        return when;
    text.replace(u'T', u' ');
    for (const char *format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm",
                               "dd.MM.yyyy HH:mm:ss", "dd.MM.yyyy HH:mm", "d.M.yyyy H:mm:ss",
                               "d.M.yyyy H:mm", "dd.MM.yy HH:mm:ss", "dd.MM.yy HH:mm"}) {
        when = QDateTime::fromString(text, QLatin1StringView(format));
        if (when.isValid()) {
            // A two-digit year is this century's.
            if (when.date().year() < 1970)
                when = when.addYears(100);
            return when;
        }
    }
    return {};
}

// The separator of a header line, if it is one: the first field is "Datum/Zeit".
std::optional<QChar> headerSeparator(QStringView line)
{
    for (const QChar separator : {QChar(u';'), QChar(u','), QChar(u'\t')}) {
        const QStringList fields = fieldsOf(line, separator);
        if (fields.size() > 1 && fields.front().trimmed() == DateTimeCaption)
            return separator;
    }
    return std::nullopt;
}

struct ExtraColumn
{
    QString name;
    QString unit;
    qsizetype value = -1;
    qsizetype uncertainty = -1;
};

struct Layout
{
    QChar separator;
    QStringList captions;
    qsizetype time = -1, distance = -1, uncertainty = -1, late = -1, label = -1, mode = -1,
              manual = -1;
    QList<ExtraColumn> extra;
    // Fields a line needs: up to the last column read. A line cut short by a crash has
    // fewer; one that lacks only columns added by hand after them does not matter.
    qsizetype needed = 1;
};

Layout layoutOf(const QStringList &fields, QChar separator)
{
    Layout layout{separator, {}, -1, -1, -1, -1, -1, -1, -1, {}, 1};
    for (const QString &f : fields)
        layout.captions << f.trimmed();
    const auto at = [&](const QString &caption) { return layout.captions.indexOf(caption); };
    layout.time = at(TimeCaption);
    layout.distance = at(DistanceCaption);
    layout.uncertainty = at(UncertaintyCaption);
    layout.late = at(LateCaption);
    layout.label = at(LabelCaption);
    layout.mode = at(ModeCaption);
    layout.manual = at(ManualCaption);
    // A mode's value is a "name (unit)" column with its "Unsicherheit name (unit)" beside
    // it; a column added by hand has no such partner and is left alone.
    static const QRegularExpression pattern(QStringLiteral("^(.+) \\((.*)\\)$"));
    for (qsizetype i = 0; i < layout.captions.size(); ++i) {
        const QString &caption = layout.captions[i];
        if (caption.startsWith(UncertaintyPrefix) || i == layout.time || i == layout.distance)
            continue;
        const qsizetype partner = at(UncertaintyPrefix + caption);
        const QRegularExpressionMatch m = pattern.match(caption);
        if (partner >= 0 && m.hasMatch())
            layout.extra.append({m.captured(1), m.captured(2), i, partner});
    }
    for (const qsizetype i : {layout.time, layout.distance, layout.uncertainty, layout.late,
                              layout.label})
        layout.needed = std::max(layout.needed, i + 1);
    for (const ExtraColumn &c : layout.extra)
        layout.needed = std::max({layout.needed, c.value + 1, c.uncertainty + 1});
    return layout;
}

// The run of one line, or why there is none.
std::variant<Run, QString> runOf(const QStringList &fields, const Layout &layout)
{
    const auto cell = [&](qsizetype i) { return i >= 0 ? fields.value(i).trimmed() : QString(); };
    Run run;
    const QDateTime when = dateTimeOf(fields.front());
    if (!when.isValid())
        return QStringLiteral("„%1“ ist kein Datum mit Uhrzeit").arg(fields.front().left(40));
    run.date = when.date();
    run.time = when.time();
    const auto number = [](const QString &text, const QString &what)
        -> std::variant<long double, QString> {
        if (text.isEmpty())
            return 0.0L;
        if (const std::optional<long double> v = numberOf(text))
            return *v;
        return QStringLiteral("%1 „%2“ ist keine Zahl").arg(what, text.left(40));
    };
    if (const QString time = cell(layout.time); !time.isEmpty()) {
        run.ticks = ticksOf(time);
        if (!run.ticks)
            return QStringLiteral("die Zeit „%1“ ist keine Zahl").arg(time.left(40));
        // Only a time of the run counts; the speed column is worked out again.
        const auto meters = number(cell(layout.distance), QStringLiteral("die Entfernung"));
        if (const QString *why = std::get_if<QString>(&meters))
            return *why;
        run.meters = std::get<long double>(meters);
        const auto ms = number(cell(layout.uncertainty), QStringLiteral("die Unsicherheit"));
        if (const QString *why = std::get_if<QString>(&ms))
            return *why;
        run.uncertaintyMs = double(std::get<long double>(ms));
        run.late = !cell(layout.late).isEmpty();
    }
    QString label = layout.label >= 0 ? fields.value(layout.label) : QString();
    if (label.startsWith(u'\''))
        label.remove(0, 1);
    run.label = cleanLabel(label);
    if (const QString mode = cell(layout.mode); !mode.isEmpty()) {
        bool ok = false;
        const int index = mode.toInt(&ok);
        if (!ok || index < 0 || index >= timing::MeasurementModeCount)
            return QStringLiteral("die Messart „%1“ gibt es nicht").arg(mode.left(40));
        run.mode = timing::MeasurementMode(index);
    }
    run.manual = cell(layout.manual) == ManualMark;
    for (const ExtraColumn &c : layout.extra) {
        const QString text = cell(c.value);
        const QString uncertainty = cell(c.uncertainty);
        // Both empty: the run has no such value (it is of another mode).
        if (text.isEmpty() && uncertainty.isEmpty())
            continue;
        RunValue v{c.name, c.unit, std::nullopt, 0, 3, false};
        if (!text.isEmpty()) {
            v.value = numberOf(text);
            if (!v.value)
                return QStringLiteral("%1 „%2“ ist keine Zahl").arg(c.name, text.left(40));
            const std::optional<Decimal> d = decimalOf(text);
            v.decimals = int(std::clamp<qsizetype>(d->fractionDigits - d->exponent, 0, 12));
        }
        const auto u = number(uncertainty, QStringLiteral("Unsicherheit ") + c.name);
        if (const QString *why = std::get_if<QString>(&u))
            return *why;
        v.uncertainty = std::get<long double>(u);
        run.extra.append(v);
    }
    // A file from before the mode had a column: its values tell the mode.
    if (layout.mode < 0) {
        for (const timing::MeasurementMode mode :
             {timing::MeasurementMode::DarkTime, timing::MeasurementMode::Acceleration,
              timing::MeasurementMode::Pendulum, timing::MeasurementMode::PicketFence}) {
            const QList<RunValue> columns = timing::modeColumns(mode);
            if (!run.extra.isEmpty() && run.extra.size() == columns.size()
                && std::equal(run.extra.begin(), run.extra.end(), columns.begin(),
                              [](const RunValue &a, const RunValue &b) { return a.name == b.name; }))
                run.mode = mode;
        }
    }
    return run;
}

} // namespace

QString guardedCell(const QString &text)
{
    return needsGuard(text) ? u'\'' + text : text;
}

QString runRefusal(const Run &run)
{
    if (!run.date.isValid() || !run.time.isValid())
        return QStringLiteral("Datum oder Uhrzeit fehlt");
    if (run.ticks && (*run.ticks <= 0 || *run.ticks > MaxRunTicks))
        return QStringLiteral("die Zeit liegt nicht zwischen 0 und 99999 Minuten");
    if (!std::isfinite(run.meters))
        return QStringLiteral("die Entfernung ist keine endliche Zahl");
    if (run.meters < 0 || run.meters > MaxRunMeters)
        return QStringLiteral("die Entfernung liegt nicht zwischen 0 und 1000 m");
    if (!std::isfinite(run.uncertaintyMs) || run.uncertaintyMs < 0 ||
        run.uncertaintyMs > double(MaxRunValue))
        return QStringLiteral("die Unsicherheit ist keine Zahl von 0 bis 10⁹ ms");
    if (cleanLabel(run.label) != run.label)
        return QStringLiteral("die Bezeichnung enthält Steuerzeichen oder ist länger als %1 "
                              "Zeichen")
            .arg(MaxLabelLength);
    for (const RunValue &v : run.extra) {
        if (v.value && !(std::isfinite(*v.value) && std::fabs(*v.value) <= MaxRunValue))
            return QStringLiteral("der Wert %1 ist keine Zahl bis 10⁹").arg(v.name);
        if (!(std::isfinite(v.uncertainty) && v.uncertainty >= 0 && v.uncertainty <= MaxRunValue))
            return QStringLiteral("die Unsicherheit von %1 ist keine Zahl von 0 bis 10⁹")
                .arg(v.name);
        if (v.decimals < 0 || v.decimals > 12)
            return QStringLiteral("der Wert %1 hat mehr als 12 Nachkommastellen").arg(v.name);
    }
    return {};
}

LoadedRuns readRuns(const QByteArray &bytes, const QString &fileName)
{
    LoadedRuns loaded;
    const QString text = QString::fromUtf8(bytes);
    std::optional<Layout> layout;
    int lineNumber = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        const bool ended = end >= 0;
        if (!ended)
            end = text.size();
        QStringView line = QStringView(text).mid(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.endsWith(u'\r'))
            line.chop(1);
        // A byte-order mark at the start, or where a file with one was appended.
        while (line.startsWith(Bom))
            line = line.mid(1);
        if (line.trimmed().isEmpty())
            continue;
        const auto refuse = [&](const QString &reason) {
            loaded.problems << QStringLiteral("%1, Zeile %2: %3").arg(fileName).arg(lineNumber).arg(
                                   reason);
        };
        if (const std::optional<QChar> separator = headerSeparator(line)) {
            layout = layoutOf(fieldsOf(line, *separator), *separator);
            continue;
        }
        if (!layout)
            continue;
        const QStringList fields = fieldsOf(line, layout->separator);
        // A line written up to a crash ends early and has no line end; a spreadsheet's
        // leaves no column out.
        if (fields.size() < layout->needed) {
            refuse(QStringLiteral("die Zeile hat %1 statt %2 Spalten%3")
                       .arg(fields.size())
                       .arg(layout->captions.size())
                       .arg(ended ? QString() : QStringLiteral(" (abgebrochen)")));
            continue;
        }
        std::variant<Run, QString> run = runOf(fields, *layout);
        if (const QString *why = std::get_if<QString>(&run)) {
            refuse(*why);
            continue;
        }
        const QString why = runRefusal(std::get<Run>(run));
        if (!why.isEmpty()) {
            refuse(why);
            continue;
        }
        loaded.runs.append(std::move(std::get<Run>(run)));
    }
    return loaded;
}

} // namespace protocol
