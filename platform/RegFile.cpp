#include "platform/RegFile.h"

#include <QStringView>

namespace platform {

namespace {

constexpr qsizetype MaxKeyNameLength = 255;
constexpr qsizetype MaxValueNameLength = 16383;
// Hex data lines wrap before this column, as the registry editor's do.
constexpr int HexWrapColumn = 76;

QString fold(const QString &path)
{
    return path.toCaseFolded();
}

bool isStringKind(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

QByteArray toUtf16Le(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QString fromUtf16Le(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(char16_t(quint8(bytes[i]) | (quint8(bytes[i + 1]) << 8))));
    return text;
}

bool hasControlCharacter(const QString &name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x20)
            return true;
    }
    return false;
}

// The file is text, so a line break inside a name or a lone surrogate could not come
// back as it went in.
bool isStorableName(const QString &name, qsizetype maxLength)
{
    return name.size() <= maxLength && !hasControlCharacter(name) && name.isValidUtf16();
}

std::optional<QString> decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE")) {
        const QByteArray body = bytes.mid(2);
        if (body.size() % 2 != 0)
            return std::nullopt;
        return fromUtf16Le(body);
    }
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QString text = QString::fromUtf8(body);
    // Valid UTF-8 is the only kind that comes back byte for byte.
    if (text.toUtf8() != body)
        return std::nullopt;
    return text;
}

QString quote(const QString &text)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

// The quoted string at line[pos] (which is '"'); pos moves past its closing quote.
std::optional<QString> unquote(QStringView line, qsizetype &pos)
{
    QString text;
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"') {
            pos = i + 1;
            return text;
        }
        if (c == u'\\') {
            if (i + 1 >= line.size() || (line[i + 1] != u'\\' && line[i + 1] != u'"'))
                return std::nullopt;
            ++i;
        }
        text += line[i];
    }
    return std::nullopt;
}

// The string is written as "text" when that form gives back exactly the same bytes.
bool fitsQuotedForm(const RegValue &value)
{
    if (value.type != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0)
        return false;
    const QString text = fromUtf16Le(value.data);
    if (text.back() != QChar(0))
        return false;
    const QStringView body = QStringView(text).chopped(1);
    if (body.contains(QChar(0)) || body.contains(u'\r') || body.contains(u'\n'))
        return false;
    return body.isValidUtf16();
}

QString hexData(QString line, const QByteArray &data)
{
    qsizetype column = line.size();
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0) {
            line += u',';
            if (++column > HexWrapColumn) {
                line += QStringLiteral("\\\r\n  ");
                column = 2;
            }
        }
        line += QStringLiteral("%1").arg(quint8(data[i]), 2, 16, QChar(u'0'));
        column += 2;
    }
    return line;
}

QString valueLine(const QString &name, const RegValue &value)
{
    const QString left = (name.isEmpty() ? QStringLiteral("@") : quote(name)) + u'=';
    if (fitsQuotedForm(value))
        return left + quote(fromUtf16Le(value.data).chopped(1));
    if (value.type == REG_DWORD && value.data.size() == 4) {
        const DWORD v = DWORD(quint8(value.data[0])) | DWORD(quint8(value.data[1])) << 8 |
                        DWORD(quint8(value.data[2])) << 16 | DWORD(quint8(value.data[3])) << 24;
        return left + QStringLiteral("dword:%1").arg(v, 8, 16, QChar(u'0'));
    }
    const QString kind = value.type == REG_BINARY
                             ? QStringLiteral("hex:")
                             : QStringLiteral("hex(%1):").arg(value.type, 0, 16);
    return hexData(left + kind, value.data);
}

bool isHexDigits(QStringView text, qsizetype minLength, qsizetype maxLength)
{
    if (text.size() < minLength || text.size() > maxLength)
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')))
            return false;
    }
    return true;
}

std::optional<QByteArray> parseHexBytes(QStringView text)
{
    QByteArray bytes;
    if (text.trimmed().isEmpty())
        return bytes;
    for (QStringView token : text.split(u',')) {
        token = token.trimmed();
        if (!isHexDigits(token, 2, 2))
            return std::nullopt;
        bytes.append(char(token.toUInt(nullptr, 16)));
    }
    return bytes;
}

bool startsWithWord(QStringView text, QStringView word)
{
    return text.startsWith(word, Qt::CaseInsensitive);
}

std::optional<RegValue> parseData(QStringView text, QString &reason)
{
    if (text.startsWith(u'"')) {
        qsizetype pos = 0;
        const std::optional<QString> s = unquote(text, pos);
        if (!s || pos != text.size()) {
            reason = QStringLiteral("malformed string");
            return std::nullopt;
        }
        return RegValue::string(*s);
    }
    if (startsWithWord(text, u"dword:")) {
        const QStringView digits = text.mid(6);
        if (!isHexDigits(digits, 1, 8)) {
            reason = QStringLiteral("malformed dword");
            return std::nullopt;
        }
        return RegValue::dword(digits.toUInt(nullptr, 16));
    }
    DWORD type = REG_BINARY;
    QStringView rest;
    if (startsWithWord(text, u"hex:")) {
        rest = text.mid(4);
    } else if (startsWithWord(text, u"hex(")) {
        const qsizetype close = text.indexOf(u"):");
        const QStringView digits = close > 4 ? text.mid(4, close - 4) : QStringView();
        if (!isHexDigits(digits, 1, 8)) {
            reason = QStringLiteral("malformed value type");
            return std::nullopt;
        }
        type = digits.toUInt(nullptr, 16);
        rest = text.mid(close + 2);
    } else {
        reason = text.startsWith(u'-') ? QStringLiteral("value deletion in a hive")
                                       : QStringLiteral("unknown value format");
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = parseHexBytes(rest);
    if (!bytes) {
        reason = QStringLiteral("malformed hex data");
        return std::nullopt;
    }
    return RegValue{type, *bytes};
}

} // namespace

RegValue RegValue::string(const QString &text, DWORD type)
{
    return {type, toUtf16Le(text + QChar(0))};
}

RegValue RegValue::dword(DWORD value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xFF);
    return {REG_DWORD, bytes};
}

RegValue RegValue::fromAnsi(DWORD type, const QByteArray &bytes)
{
    return {type, isStringKind(type) ? toUtf16Le(QString::fromUtf8(bytes)) : bytes};
}

QByteArray RegValue::toAnsi() const
{
    return isStringKind(type) ? fromUtf16Le(data).toUtf8() : data;
}

QString RegValue::text() const
{
    if (!isStringKind(type))
        return {};
    const QString all = fromUtf16Le(data);
    const qsizetype end = all.indexOf(QChar(0));
    return end < 0 ? all : all.left(end);
}

bool RegFile::isValidKeyName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'\\') && isStorableName(name, MaxKeyNameLength);
}

bool RegFile::isValidValueName(const QString &name)
{
    return isStorableName(name, MaxValueNameLength);
}

const RegFile::Key *RegFile::find(const QString &path) const
{
    const auto it = m_keys.find(fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

bool RegFile::hasKey(const QString &path) const
{
    return find(path) != nullptr;
}

bool RegFile::createKey(const QString &path)
{
    if (hasKey(path))
        return false;
    QString prefix;
    for (const QString &name : path.split(u'\\')) {
        prefix = prefix.isEmpty() ? name : prefix + u'\\' + name;
        const QString folded = fold(prefix);
        if (m_keys.find(folded) == m_keys.end())
            m_keys.emplace(folded, Key{prefix, {}});
    }
    return true;
}

QString RegFile::keyPath(const QString &path) const
{
    const Key *key = find(path);
    return key ? key->path : QString();
}

QStringList RegFile::keys() const
{
    QStringList paths;
    for (const auto &[folded, key] : m_keys)
        paths.append(key.path);
    return paths;
}

const RegValue *RegFile::value(const QString &keyPath, const QString &name) const
{
    const Key *key = find(keyPath);
    if (!key)
        return nullptr;
    for (const auto &[valueName, value] : key->values) {
        if (valueName.compare(name, Qt::CaseInsensitive) == 0)
            return &value;
    }
    return nullptr;
}

bool RegFile::setValue(const QString &keyPath, const QString &name, const RegValue &value)
{
    createKey(keyPath);
    Key &key = m_keys.find(fold(keyPath))->second;
    for (auto &[valueName, stored] : key.values) {
        if (valueName.compare(name, Qt::CaseInsensitive) == 0) {
            if (stored == value)
                return false;
            stored = value;
            return true;
        }
    }
    key.values.emplace_back(name, value);
    return true;
}

QStringList RegFile::valueNames(const QString &keyPath) const
{
    QStringList names;
    if (const Key *key = find(keyPath)) {
        for (const auto &[name, value] : key->values)
            names.append(name);
    }
    return names;
}

std::optional<RegFile> RegFile::parse(const QByteArray &bytes, QString *error)
{
    const auto fail = [error](qsizetype line, const QString &reason) {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(line).arg(reason);
        return std::nullopt;
    };
    const std::optional<QString> text = decode(bytes);
    if (!text)
        return fail(1, QStringLiteral("not UTF-8 or UTF-16 text"));
    QStringList lines = text->split(u'\n');
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    if (lines.front().trimmed() != QLatin1String(Header))
        return fail(1, QStringLiteral("no registry file header"));

    RegFile file;
    std::optional<QString> section;
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const qsizetype lineNumber = n + 1;
        QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                return fail(lineNumber, QStringLiteral("malformed key line"));
            const QString path = line.mid(1, line.size() - 2);
            if (path.startsWith(u'-'))
                return fail(lineNumber, QStringLiteral("key deletion in a hive"));
            const qsizetype rootLength = qsizetype(sizeof(RootName) - 1);
            if (!path.startsWith(QLatin1String(RootName), Qt::CaseInsensitive) ||
                (path.size() > rootLength && path[rootLength] != u'\\'))
                return fail(lineNumber, QStringLiteral("key outside HKEY_CURRENT_USER"));
            const QString relative = path.mid(rootLength + 1);
            if (!relative.isEmpty()) {
                for (const QString &name : relative.split(u'\\')) {
                    if (!isValidKeyName(name))
                        return fail(lineNumber, QStringLiteral("invalid key name"));
                }
            }
            file.createKey(relative);
            section = relative;
            continue;
        }
        if (!line.startsWith(u'"') && !line.startsWith(u'@'))
            return fail(lineNumber, QStringLiteral("unexpected text"));
        if (!section)
            return fail(lineNumber, QStringLiteral("value outside any key"));
        // Hex data may go on over several lines, each but the last ending in a backslash.
        while (line.endsWith(u'\\')) {
            if (++n >= lines.size())
                return fail(lineNumber, QStringLiteral("file ends inside a value"));
            line.chop(1);
            line += lines[n].trimmed();
        }
        QString name;
        qsizetype pos = 1;
        if (line.startsWith(u'"')) {
            pos = 0;
            const std::optional<QString> unquoted = unquote(line, pos);
            if (!unquoted)
                return fail(lineNumber, QStringLiteral("malformed value name"));
            name = *unquoted;
        }
        if (pos >= line.size() || line[pos] != u'=' || !isValidValueName(name))
            return fail(lineNumber, QStringLiteral("malformed value line"));
        QString reason;
        const std::optional<RegValue> value = parseData(QStringView(line).mid(pos + 1), reason);
        if (!value)
            return fail(lineNumber, reason);
        file.setValue(*section, name, *value);
    }
    return file;
}

QByteArray RegFile::serialize() const
{
    QString text = QLatin1String(Header) + QStringLiteral("\r\n\r\n");
    for (const auto &[folded, key] : m_keys) {
        if (key.path.isEmpty() && key.values.empty())
            continue;
        text +=
            QStringLiteral("[%1%2]\r\n")
                .arg(QLatin1String(RootName), key.path.isEmpty() ? QString() : u'\\' + key.path);
        for (const auto &[name, value] : key.values)
            text += valueLine(name, value) + QStringLiteral("\r\n");
        text += QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

} // namespace platform
