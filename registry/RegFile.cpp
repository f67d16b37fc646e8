#include "registry/RegFile.h"

#include "platform/ResourceText.h"

#include <QStringView>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace registry {

namespace {

constexpr qsizetype MaxKeyNameLength = 255;
constexpr qsizetype MaxValueNameLength = 16383;
// Hex data lines wrap before this column, as the registry editor's do.
constexpr int HexWrapColumn = 76;

bool isStringKind(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

QByteArray toUtf16Le(const QString &text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<char16_t>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

QString fromUtf16Le(const QByteArray &bytes)
{
    QString text(bytes.size() / 2, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(bytes.constData(), text.size(), text.data());
    return text;
}

bool hasControlCharacter(QStringView name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x20)
            return true;
    }
    return false;
}

// The file is text, so a line break inside a name or a lone surrogate could not come
// back as it went in.
bool isStorableName(QStringView name, qsizetype maxLength)
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

QString quote(QStringView text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += u'"';
    for (qsizetype from = 0;;) {
        qsizetype at = from;
        while (at < text.size() && text[at] != u'\\' && text[at] != u'"')
            ++at;
        quoted += text.sliced(from, at - from);
        if (at == text.size())
            break;
        quoted += u'\\';
        quoted += text[at];
        from = at + 1;
    }
    quoted += u'"';
    return quoted;
}

// The quoted string at line[pos] (which is '"'); pos moves past its closing quote.
std::optional<QString> unquote(QStringView line, qsizetype &pos)
{
    QString text;
    for (qsizetype from = pos + 1;;) {
        qsizetype at = from;
        while (at < line.size() && line[at] != u'\\' && line[at] != u'"')
            ++at;
        if (at == line.size())
            return std::nullopt;
        text += line.sliced(from, at - from);
        if (line[at] == u'"') {
            pos = at + 1;
            return text;
        }
        if (at + 1 >= line.size() || (line[at + 1] != u'\\' && line[at + 1] != u'"'))
            return std::nullopt;
        text += line[at + 1];
        from = at + 2;
    }
}

// The text of a REG_SZ value, without its terminating zero, if writing it as "text" gives
// back exactly the same bytes.
std::optional<QString> quotedForm(const RegValue &value)
{
    if (value.type != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0)
        return std::nullopt;
    QString text = fromUtf16Le(value.data);
    if (text.back() != QChar(0))
        return std::nullopt;
    text.chop(1);
    if (text.contains(QChar(0)) || text.contains(u'\r') || text.contains(u'\n') ||
        !text.isValidUtf16())
        return std::nullopt;
    return text;
}

QString hexData(QString line, const QByteArray &data)
{
    static constexpr char16_t digits[] = u"0123456789abcdef";
    line.reserve(line.size() + data.size() * 3 + data.size() / 24 * 5);
    qsizetype column = line.size();
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0) {
            line += u',';
            if (++column > HexWrapColumn) {
                line += QStringLiteral("\\\r\n  ");
                column = 2;
            }
        }
        line += QChar(digits[quint8(data[i]) >> 4]);
        line += QChar(digits[quint8(data[i]) & 0xF]);
        column += 2;
    }
    return line;
}

QString valueLine(const QString &name, const RegValue &value)
{
    const QString left = (name.isEmpty() ? QStringLiteral("@") : quote(name)) + u'=';
    if (const std::optional<QString> text = quotedForm(value))
        return left + quote(*text);
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

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Comma-separated pairs of hex digits, blanks allowed around each pair.
std::optional<QByteArray> parseHexBytes(QStringView text)
{
    QByteArray bytes;
    text = text.trimmed();
    if (text.isEmpty())
        return bytes;
    bytes.reserve(text.size() / 3 + 1);
    qsizetype i = 0;
    for (;;) {
        while (i < text.size() && text[i].isSpace())
            ++i;
        if (i + 1 >= text.size())
            return std::nullopt;
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(char(high << 4 | low));
        i += 2;
        while (i < text.size() && text[i].isSpace())
            ++i;
        if (i == text.size())
            return bytes;
        if (text[i++] != u',')
            return std::nullopt;
    }
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
            reason = regText("malformed string");
            return std::nullopt;
        }
        // The text and its terminating zero, as UTF-16LE.
        QByteArray bytes((s->size() + 1) * 2, Qt::Uninitialized);
        qToLittleEndian<char16_t>(s->utf16(), s->size(), bytes.data());
        bytes[bytes.size() - 2] = bytes[bytes.size() - 1] = '\0';
        return RegValue{REG_SZ, bytes};
    }
    if (startsWithWord(text, u"dword:")) {
        const QStringView digits = text.mid(6);
        if (!isHexDigits(digits, 1, 8)) {
            reason = regText("malformed dword");
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
            reason = regText("malformed value type");
            return std::nullopt;
        }
        type = digits.toUInt(nullptr, 16);
        rest = text.mid(close + 2);
    } else {
        reason = text.startsWith(u'-') ? regText("value deletion in a hive")
                                       : regText("unknown value format");
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = parseHexBytes(rest);
    if (!bytes) {
        reason = regText("malformed hex data");
        return std::nullopt;
    }
    return RegValue{type, *bytes};
}

// The next code point of `text` from `i` on, case-folded as the registry compares names;
// a lone surrogate counts as the replacement character.
char32_t nextFolded(QStringView text, qsizetype &i)
{
    char32_t c = text[i++].unicode();
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
    if (QChar::isHighSurrogate(c) && i < text.size() && text[i].isLowSurrogate())
        c = QChar::surrogateToUcs4(char16_t(c), text[i++].unicode());
    else if (QChar::isSurrogate(c))
        c = QChar::ReplacementCharacter;
    return QChar::toCaseFolded(c);
}

int foldedCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = nextFolded(a, i);
        const char32_t y = nextFolded(b, j);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return (i < a.size()) - (j < b.size());
}

std::size_t foldedHash(QStringView name, std::size_t seed)
{
    std::uint64_t h = 0xcbf29ce484222325ULL ^ seed;
    for (qsizetype i = 0; i < name.size();)
        h = (h ^ nextFolded(name, i)) * 0x100000001b3ULL;
    // The low bits pick the slot: mix the high ones in.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return std::size_t(h);
}

} // namespace

QString regText(const char *format, const QStringList &args)
{
    return platform::resourceText(format, args);
}

QString describeLimit(RegLimit limit)
{
    switch (limit) {
    case RegLimit::None:
        break;
    case RegLimit::FileSize:
        return regText("larger than %s bytes", {QString::number(RegLimits::FileSize)});
    case RegLimit::KeyDepth:
        return regText("key path deeper than %s levels", {QString::number(RegLimits::KeyDepth)});
    case RegLimit::KeyPathLength:
        return regText("key path longer than %s characters",
                       {QString::number(RegLimits::KeyPathLength)});
    case RegLimit::ValueSize:
        return regText("value larger than %s bytes", {QString::number(RegLimits::ValueSize)});
    case RegLimit::Entries:
        return regText("more than %s keys and values", {QString::number(RegLimits::Entries)});
    }
    return {};
}

QString RegFileError::text() const
{
    return regText("line %s: %s", {QString::number(line), reason});
}

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

template <typename NameOf>
qsizetype RegFile::lookUp(const NameIndex &index, qsizetype owner, QStringView name,
                          NameOf nameOf) const
{
    if (index.table.empty())
        return -1;
    const std::uint64_t hash = foldedHash(name, std::size_t(owner));
    const std::size_t mask = index.table.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot &slot = index.table[i];
        if (slot.target < 0)
            return -1;
        if (slot.hash == hash && slot.owner == owner && foldedCompare(nameOf(slot), name) == 0)
            return slot.target;
    }
}

void RegFile::insert(NameIndex &index, qsizetype owner, QStringView name, qsizetype target)
{
    const auto place = [](std::vector<Slot> &table, const Slot &slot) {
        const std::size_t mask = table.size() - 1;
        std::size_t i = slot.hash & mask;
        while (table[i].target >= 0)
            i = (i + 1) & mask;
        table[i] = slot;
    };
    // At most half full, so that probes stay short.
    if ((index.count + 1) * 2 > qsizetype(index.table.size())) {
        std::vector<Slot> grown(std::max<std::size_t>(16, index.table.size() * 2));
        for (const Slot &slot : index.table) {
            if (slot.target >= 0)
                place(grown, slot);
        }
        index.table.swap(grown);
    }
    place(index.table, Slot{foldedHash(name, std::size_t(owner)), qint32(owner), qint32(target)});
    ++index.count;
}

bool RegFile::isValidKeyName(QStringView name)
{
    return !name.isEmpty() && !name.contains(u'\\') && isStorableName(name, MaxKeyNameLength);
}

bool RegFile::isValidValueName(QStringView name)
{
    return isStorableName(name, MaxValueNameLength);
}

bool RegFile::hasHeader(const QByteArray &bytes)
{
    const QByteArray start = bytes.left(2 * qsizetype(sizeof Header) + 64);
    const std::optional<QString> text = decode(start);
    // A cut in the middle of a UTF-8 sequence makes the start undecodable; the header
    // itself is ASCII, so the lenient decoding is enough to find it.
    const QString lenient =
        text ? *text
        : start.startsWith("\xFF\xFE")
            ? fromUtf16Le(start.mid(2))
            : QString::fromUtf8(start.startsWith("\xEF\xBB\xBF") ? start.mid(3) : start);
    const qsizetype end = lenient.indexOf(u'\n');
    return (end < 0 ? QStringView(lenient) : QStringView(lenient).left(end)).trimmed() ==
           QLatin1String(Header);
}

bool RegFile::entriesFull() const
{
    return qsizetype(m_keys.size()) + m_valueCount >= RegLimits::Entries;
}

qsizetype RegFile::child(qsizetype key, QStringView name) const
{
    return lookUp(m_children, key, name, [this](const Slot &slot) {
        return QStringView(m_keys[std::size_t(slot.target)].name);
    });
}

qsizetype RegFile::find(QStringView path) const
{
    qsizetype key = 0;
    if (path.isEmpty())
        return key;
    qsizetype from = 0;
    for (;;) {
        const qsizetype end = path.indexOf(u'\\', from);
        key = child(key, path.sliced(from, (end < 0 ? path.size() : end) - from));
        if (key < 0 || end < 0)
            return key;
        from = end + 1;
    }
}

qsizetype RegFile::make(QStringView path, bool &created, RegLimit &exceeded)
{
    created = false;
    exceeded = RegLimit::None;
    qsizetype key = 0;
    if (path.isEmpty())
        return key;
    // The part that exists already, then the rest checked whole before any of it is made.
    qsizetype from = 0;
    for (;;) {
        const qsizetype end = path.indexOf(u'\\', from);
        const QStringView name = path.sliced(from, (end < 0 ? path.size() : end) - from);
        const qsizetype next = child(key, name);
        if (next < 0)
            break;
        key = next;
        if (end < 0)
            return key;
        from = end + 1;
    }
    const QStringView rest = path.sliced(from);
    const Key &parent = m_keys[std::size_t(key)];
    const qsizetype added = rest.count(u'\\') + 1;
    if (parent.depth + added > RegLimits::KeyDepth)
        exceeded = RegLimit::KeyDepth;
    else if (parent.pathLength + (key == 0 ? 0 : 1) + rest.size() > RegLimits::KeyPathLength)
        exceeded = RegLimit::KeyPathLength;
    else if (qsizetype(m_keys.size()) + m_valueCount + added > RegLimits::Entries)
        exceeded = RegLimit::Entries;
    if (exceeded != RegLimit::None)
        return -1;
    for (QStringView name : rest.tokenize(u'\\')) {
        if (!isValidKeyName(name))
            return -1;
    }
    for (QStringView name : rest.tokenize(u'\\')) {
        const qsizetype made = qsizetype(m_keys.size());
        Key &above = m_keys[std::size_t(key)];
        Key next;
        next.name = name.toString();
        next.parent = key;
        next.depth = above.depth + 1;
        next.pathLength = above.pathLength + (key == 0 ? 0 : 1) + name.size();
        insert(m_children, key, next.name, made);
        above.children.push_back(made);
        m_keys.push_back(std::move(next));
        key = made;
    }
    created = true;
    return key;
}

qsizetype RegFile::valueIndex(qsizetype key, QStringView name) const
{
    return lookUp(m_values, key, name, [this](const Slot &slot) {
        return QStringView(m_keys[std::size_t(slot.owner)].values[std::size_t(slot.target)].name);
    });
}

bool RegFile::store(qsizetype key, const QString &name, const RegValue &value, RegLimit &exceeded)
{
    exceeded = RegLimit::None;
    if (value.data.size() > RegLimits::ValueSize) {
        exceeded = RegLimit::ValueSize;
        return false;
    }
    std::vector<Value> &values = m_keys[std::size_t(key)].values;
    if (const qsizetype at = valueIndex(key, name); at >= 0) {
        RegValue &stored = values[std::size_t(at)].value;
        if (stored == value)
            return false;
        stored = value;
        return true;
    }
    if (entriesFull()) {
        exceeded = RegLimit::Entries;
        return false;
    }
    insert(m_values, key, name, qsizetype(values.size()));
    values.push_back(Value{name, value});
    ++m_valueCount;
    return true;
}

QString RegFile::pathOf(qsizetype key) const
{
    QString path;
    path.reserve(m_keys[std::size_t(key)].pathLength);
    std::vector<qsizetype> chain;
    for (; key > 0; key = m_keys[std::size_t(key)].parent)
        chain.push_back(key);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.isEmpty() || it != chain.rbegin())
            path += u'\\';
        path += m_keys[std::size_t(*it)].name;
    }
    return path;
}

std::vector<qsizetype> RegFile::sortedChildren(qsizetype key) const
{
    std::vector<qsizetype> children = m_keys[std::size_t(key)].children;
    std::sort(children.begin(), children.end(), [this](qsizetype a, qsizetype b) {
        return foldedCompare(m_keys[std::size_t(a)].name, m_keys[std::size_t(b)].name) < 0;
    });
    return children;
}

bool RegFile::hasKey(const QString &path) const
{
    return find(path) >= 0;
}

bool RegFile::createKey(const QString &path, RegLimit *exceeded)
{
    bool created = false;
    RegLimit limit = RegLimit::None;
    make(path, created, limit);
    if (exceeded)
        *exceeded = limit;
    return created;
}

QString RegFile::keyPath(const QString &path) const
{
    const qsizetype key = find(path);
    return key < 0 ? QString() : pathOf(key);
}

QStringList RegFile::subKeyNames(const QString &path) const
{
    QStringList names;
    const qsizetype key = find(path);
    if (key >= 0) {
        for (const qsizetype child : sortedChildren(key))
            names.append(m_keys[std::size_t(child)].name);
    }
    return names;
}

QStringList RegFile::keys() const
{
    QStringList paths;
    std::vector<qsizetype> pending{0};
    while (!pending.empty()) {
        const qsizetype key = pending.back();
        pending.pop_back();
        paths.append(pathOf(key));
        const std::vector<qsizetype> children = sortedChildren(key);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return paths;
}

const RegValue *RegFile::value(const QString &keyPath, const QString &name) const
{
    const qsizetype key = find(keyPath);
    if (key < 0)
        return nullptr;
    const qsizetype at = valueIndex(key, name);
    return at < 0 ? nullptr : &m_keys[std::size_t(key)].values[std::size_t(at)].value;
}

bool RegFile::setValue(const QString &keyPath, const QString &name, const RegValue &value,
                       RegLimit *exceeded)
{
    RegLimit limit = RegLimit::None;
    bool created = false;
    bool changed = false;
    if (isValidValueName(name)) {
        const qsizetype key = make(keyPath, created, limit);
        if (key >= 0)
            changed = store(key, name, value, limit);
    }
    if (exceeded)
        *exceeded = limit;
    return changed || created;
}

QStringList RegFile::valueNames(const QString &keyPath) const
{
    QStringList names;
    const qsizetype key = find(keyPath);
    if (key >= 0) {
        for (const Value &value : m_keys[std::size_t(key)].values)
            names.append(value.name);
    }
    return names;
}

bool operator==(const RegFile &a, const RegFile &b)
{
    if (a.m_keys.size() != b.m_keys.size() || a.m_valueCount != b.m_valueCount)
        return false;
    // Keys of `a` paired with the keys of `b` at the same path; as both trees have as many
    // keys, every key of `b` gets paired once.
    std::vector<std::pair<qsizetype, qsizetype>> pending{{0, 0}};
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        const RegFile::Key &kx = a.m_keys[std::size_t(x)];
        const RegFile::Key &ky = b.m_keys[std::size_t(y)];
        if (kx.name != ky.name || kx.children.size() != ky.children.size() ||
            kx.values.size() != ky.values.size())
            return false;
        for (std::size_t i = 0; i < kx.values.size(); ++i) {
            if (kx.values[i].name != ky.values[i].name || kx.values[i].value != ky.values[i].value)
                return false;
        }
        for (const qsizetype c : kx.children) {
            const qsizetype d = b.child(y, a.m_keys[std::size_t(c)].name);
            if (d < 0)
                return false;
            pending.emplace_back(c, d);
        }
    }
    return true;
}

std::optional<RegFile> RegFile::parse(const QByteArray &bytes, QString *error)
{
    RegFileError failure;
    std::optional<RegFile> file = parse(bytes, &failure);
    if (!file && error)
        *error = failure.text();
    return file;
}

std::optional<RegFile> RegFile::parse(const QByteArray &bytes, RegFileError *error)
{
    const auto fail = [error](qsizetype line, const QString &reason) {
        if (error)
            *error = RegFileError{line, reason};
        return std::nullopt;
    };
    if (bytes.size() > RegLimits::FileSize)
        return fail(1, describeLimit(RegLimit::FileSize));
    const std::optional<QString> decoded = decode(bytes);
    if (!decoded)
        return fail(1, regText("not UTF-8 or UTF-16 text"));
    const QStringView text(*decoded);

    qsizetype next = 0;
    qsizetype lineNumber = 0;
    // The next line without its line end; false at the end of the text.
    const auto nextLine = [&](QStringView &line) {
        if (next > text.size())
            return false;
        qsizetype end = text.indexOf(u'\n', next);
        if (end < 0)
            end = text.size();
        line = text.sliced(next, end - next);
        if (line.endsWith(u'\r'))
            line.chop(1);
        next = end + 1;
        ++lineNumber;
        return true;
    };

    QStringView line;
    if (!nextLine(line) || line.trimmed() != QLatin1String(Header))
        return fail(1, regText("no registry file header"));

    RegFile file;
    qsizetype section = -1;
    QString joined;
    while (nextLine(line)) {
        line = line.trimmed();
        const qsizetype startLine = lineNumber;
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                return fail(startLine, regText("malformed key line"));
            const QStringView path = line.sliced(1, line.size() - 2);
            if (path.startsWith(u'-'))
                return fail(startLine, regText("key deletion in a hive"));
            const qsizetype rootLength = qsizetype(sizeof(RootName) - 1);
            if (!path.startsWith(QLatin1String(RootName), Qt::CaseInsensitive) ||
                (path.size() > rootLength && path[rootLength] != u'\\'))
                return fail(startLine, regText("key outside HKEY_CURRENT_USER"));
            bool created = false;
            RegLimit exceeded = RegLimit::None;
            section =
                file.make(path.size() > rootLength ? path.sliced(rootLength + 1) : QStringView(),
                          created, exceeded);
            if (section < 0)
                return fail(startLine, exceeded == RegLimit::None ? regText("invalid key name")
                                                                  : describeLimit(exceeded));
            continue;
        }
        if (!line.startsWith(u'"') && !line.startsWith(u'@'))
            return fail(startLine, regText("unexpected text"));
        if (section < 0)
            return fail(startLine, regText("value outside any key"));
        // Hex data may go on over several lines, each but the last ending in a backslash.
        if (line.endsWith(u'\\')) {
            joined = line.toString();
            while (joined.endsWith(u'\\')) {
                QStringView more;
                if (!nextLine(more))
                    return fail(startLine, regText("file ends inside a value"));
                joined.chop(1);
                joined += more.trimmed();
            }
            line = joined;
        }
        QString name;
        qsizetype pos = 1;
        if (line.startsWith(u'"')) {
            pos = 0;
            std::optional<QString> unquoted = unquote(line, pos);
            if (!unquoted)
                return fail(startLine, regText("malformed value name"));
            name = std::move(*unquoted);
        }
        if (pos >= line.size() || line[pos] != u'=' || !isValidValueName(name))
            return fail(startLine, regText("malformed value line"));
        QString reason;
        const std::optional<RegValue> value = parseData(line.sliced(pos + 1), reason);
        if (!value)
            return fail(startLine, reason);
        RegLimit exceeded = RegLimit::None;
        file.store(section, name, *value, exceeded);
        if (exceeded != RegLimit::None)
            return fail(startLine, describeLimit(exceeded));
    }
    return file;
}

std::optional<QByteArray> RegFile::serialize(qint64 limit) const
{
    QByteArray out = QByteArray(Header) + "\r\n\r\n";
    QString path;
    // Each entry: a key, the length of `path` before it, and its children still to visit.
    struct Visit
    {
        qsizetype key;
        qsizetype pathLength;
        std::vector<qsizetype> children;
        std::size_t next = 0;
    };
    std::vector<Visit> stack;
    const auto enter = [&](qsizetype key) {
        const Key &k = m_keys[std::size_t(key)];
        const qsizetype before = path.size();
        if (key != 0) {
            if (!path.isEmpty())
                path += u'\\';
            path += k.name;
        }
        if (!k.values.empty() || (key != 0 && k.children.empty())) {
            out += '[';
            out += RootName;
            if (!path.isEmpty())
                out += '\\' + path.toUtf8();
            out += "]\r\n";
            for (const Value &value : k.values) {
                out += valueLine(value.name, value.value).toUtf8();
                out += "\r\n";
                if (out.size() > limit)
                    return false;
            }
            out += "\r\n";
        }
        stack.push_back(Visit{key, before, sortedChildren(key)});
        return out.size() <= limit;
    };
    if (!enter(0))
        return std::nullopt;
    while (!stack.empty()) {
        Visit &top = stack.back();
        if (top.next == top.children.size()) {
            path.truncate(top.pathLength);
            stack.pop_back();
            continue;
        }
        if (!enter(top.children[top.next++]))
            return std::nullopt;
    }
    if (out.size() > limit)
        return std::nullopt;
    return out;
}

QByteArray RegFile::serialize() const
{
    return *serialize(std::numeric_limits<qint64>::max());
}

} // namespace registry
