#include "i18n/TranslationEngine.h"

#include "i18n/Domain.h"
#include "i18n/SystemLanguage.h"
#include "platform/Errors.h"

#include <QStringEncoder>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <string>

namespace i18n {

namespace {

QString notTranslatable(const QString &key)
{
    return QStringLiteral("Error: Could not translate %1. Probably because the mo file doesn't "
                          "contain utf-8 encoded translations.")
        .arg(key);
}

struct EncodedKey
{
    std::string_view utf8;
    bool hadCr = false;
    bool hasLf = false;
};

// UTF-8 of the key without its CR characters, into buffer (or spare for long keys).
// Keys are mostly ASCII, which is copied straight; anything else goes through Qt's encoder.
EncodedKey encodeKey(const QString &key, char (&buffer)[512], std::string &spare)
{
    EncodedKey encoded;
    const qsizetype size = key.size();
    const char16_t *in = reinterpret_cast<const char16_t *>(key.constData());
    char *start = buffer;
    if (size * 3 > qsizetype(sizeof buffer)) {
        spare.resize(std::size_t(size) * 3);
        start = spare.data();
    }
    char *out = start;
    qsizetype i = 0;
    // Whether a character up to CR was met: only then are line breaks looked for.
    bool control = false;
#if defined(__SSE2__)
    // Eight characters at a time while they are ASCII.
    const __m128i notAscii = _mm_set1_epi16(short(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    const __m128i aboveCr = _mm_set1_epi16('\r' + 1);
    __m128i controls = zero;
    for (; i + 8 <= size; i += 8) {
        const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(chars, notAscii), zero)) != 0xFFFF)
            break;
        controls = _mm_or_si128(controls, _mm_cmplt_epi16(chars, aboveCr));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(chars, chars));
        out += 8;
    }
    control = _mm_movemask_epi8(controls) != 0;
#endif
    for (; i + 4 <= size; i += 4) {
        std::uint64_t chunk;
        std::memcpy(&chunk, in + i, sizeof chunk);
        if (chunk & 0xFF80FF80FF80FF80ull)
            break;
        // A character up to CR borrows into its top bit (a borrow may flag its neighbour too).
        control |= ((chunk - 0x000E000E000E000Eull) & ~chunk & 0x8000800080008000ull) != 0;
        for (int j = 0; j < 4; ++j)
            out[j] = char(in[i + j]);
        out += 4;
    }
    for (; i < size && in[i] < 0x80; ++i) {
        control |= in[i] <= u'\r';
        *out++ = char(in[i]);
    }
    if (i < size) {
        control = true;
        // Stateless: an unpaired surrogate at the end is encoded as a replacement
        // character instead of being held back for a partner that never comes.
        QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        out = encoder.appendToBuffer(start, key);
    }
    const std::size_t length = std::size_t(out - start);
    encoded.hasLf = control && std::memchr(start, '\n', length) != nullptr;
    char *kept = out;
    if (control && std::memchr(start, '\r', length)) {
        encoded.hadCr = true;
        kept = start;
        for (const char *c = start; c != out; ++c) {
            if (*c != '\r')
                *kept++ = *c;
        }
    }
    encoded.utf8 = std::string_view(start, std::size_t(kept - start));
    return encoded;
}

// Strict UTF-8 to UTF-16 with a CR put before every LF that does not follow one: false
// for anything that is not well-formed UTF-8 (overlong forms, surrogates, values past
// U+10FFFF, cut sequences).
bool decodeWithCrLf(std::string_view bytes, QString &text)
{
    text = QString(qsizetype(bytes.size()) * 2, Qt::Uninitialized);
    char16_t *const begin = reinterpret_cast<char16_t *>(text.data());
    char16_t *out = begin;
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = in + bytes.size();
    unsigned char previous = 0;
    while (in != end) {
#if defined(__SSE2__)
        // Sixteen bytes at a time while they are ASCII without a line feed; the ASCII
        // bytes before the first other one are copied as well.
        const __m128i zero = _mm_setzero_si128();
        const __m128i lineFeeds = _mm_set1_epi8('\n');
        while (end - in >= 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
            const int stop =
                _mm_movemask_epi8(chunk) | _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, lineFeeds));
            if (stop != 0) {
                const int ascii = __builtin_ctz(unsigned(stop));
                for (int i = 0; i < ascii; ++i)
                    out[i] = in[i];
                if (ascii > 0)
                    previous = in[ascii - 1];
                out += ascii;
                in += ascii;
                break;
            }
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(chunk, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(chunk, zero));
            out += 16;
            in += 16;
            previous = in[-1];
        }
#endif
        // The rest eight bytes at a time, on the same terms.
        while (end - in >= 8) {
            std::uint64_t chunk;
            std::memcpy(&chunk, in, sizeof chunk);
            const std::uint64_t lf = chunk ^ 0x0A0A0A0A0A0A0A0Aull;
            if ((chunk & 0x8080808080808080ull) ||
                ((lf - 0x0101010101010101ull) & ~lf & 0x8080808080808080ull))
                break;
            for (int i = 0; i < 8; ++i)
                out[i] = in[i];
            out += 8;
            in += 8;
            previous = in[-1];
        }
        if (in == end)
            break;
        const unsigned char lead = *in++;
        if (lead < 0x80) {
            if (lead == '\n' && previous != '\r')
                *out++ = u'\r';
            *out++ = lead;
            previous = lead;
            continue;
        }
        previous = lead;
        int trail;
        char32_t value;
        char32_t least;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1, value = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2, value = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3, value = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (end - in < trail)
            return false;
        for (int i = 0; i < trail; ++i, ++in) {
            if ((*in & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (*in & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        if (value >= 0x10000) {
            *out++ = char16_t(0xD800 + ((value - 0x10000) >> 10));
            *out++ = char16_t(0xDC00 + ((value - 0x10000) & 0x3FF));
        } else {
            *out++ = char16_t(value);
        }
    }
    text.truncate(out - begin);
    return true;
}

} // namespace

TTranslationEngine::TTranslationEngine(const QString &executableFolder, const TEmbeddedStore *store)
    : m_currentDomain(QStringLiteral("default")),
      m_defaultCatalogFolder(executableFolder + QStringLiteral("locale")), m_store(store)
{
    SelectLanguage(QString());
    BindDomainFolder(QStringLiteral("default"), m_defaultCatalogFolder);
    SelectDomain(QStringLiteral("default"));
    AddInitialIgnores();
}

TTranslationEngine::~TTranslationEngine()
{
    TDomainNode *node = m_firstDomain.load(std::memory_order_relaxed);
    while (node) {
        TDomainNode *next = node->next.load(std::memory_order_relaxed);
        delete node;
        node = next;
    }
}

void TTranslationEngine::LanguageChanged(const QString &) {}
void TTranslationEngine::DomainSelected(const QString &) {}
void TTranslationEngine::DomainFolderBound(const QString &, const QString &) {}

void TTranslationEngine::SelectLanguage(const QString &code)
{
    QString language = code;
    if (language.isEmpty()) {
        language = qEnvironmentVariable("LANG");
        if (language.isEmpty())
            language = SystemLanguageCode();
        const qsizetype dot = language.indexOf(QLatin1Char('.'));
        if (dot >= 0)
            language.truncate(dot);
    }
    {
        const std::lock_guard<std::mutex> locker(m_domainsMutex);
        m_currentLanguage = language;
        for (TDomainNode *node = m_firstDomain.load(std::memory_order_relaxed); node;
             node = node->next.load(std::memory_order_relaxed))
            node->domain->SetCatalogLanguage(language);
    }
    LanguageChanged(language);
}

QString TTranslationEngine::CurrentLanguage() const
{
    const std::lock_guard<std::mutex> locker(m_domainsMutex);
    return m_currentLanguage;
}

void TTranslationEngine::BindDomainFolder(const QString &name, const QString &folder)
{
    TDomain *domain = DomainFor(name);
    domain->SetCatalogFolder(folder.endsWith(QLatin1Char('/')) ? folder
                                                               : folder + QLatin1Char('/'));
    DomainFolderBound(name, folder);
}

void TTranslationEngine::SelectDomain(const QString &name)
{
    m_currentDomain = name;
    DomainSelected(name);
}

TDomain *TTranslationEngine::FindDomain(const QString &name) const
{
    // The name as it was first written is the common case, and cheaper to compare.
    TDomainNode *const first = m_firstDomain.load(std::memory_order_acquire);
    for (TDomainNode *node = first; node; node = node->next.load(std::memory_order_acquire)) {
        const QString &known = node->domain->Name();
        if (known.size() == name.size() &&
            std::memcmp(known.constData(), name.constData(),
                        std::size_t(name.size()) * sizeof(QChar)) == 0)
            return node->domain.get();
    }
    for (TDomainNode *node = first; node; node = node->next.load(std::memory_order_acquire)) {
        if (node->domain->Name().compare(name, Qt::CaseInsensitive) == 0)
            return node->domain.get();
    }
    return nullptr;
}

TDomain *TTranslationEngine::DomainFor(const QString &name)
{
    // Domains are only ever appended, each published whole, so lookups walk the list
    // without a lock while another thread adds to it.
    if (TDomain *domain = FindDomain(name))
        return domain;
    const std::lock_guard<std::mutex> locker(m_domainsMutex);
    if (TDomain *domain = FindDomain(name))
        return domain;
    auto node = std::make_unique<TDomainNode>();
    node->domain = std::make_unique<TDomain>(name, m_store);
    node->domain->SetCatalogFolder(m_defaultCatalogFolder.endsWith(QLatin1Char('/'))
                                       ? m_defaultCatalogFolder
                                       : m_defaultCatalogFolder + QLatin1Char('/'));
    node->domain->SetCatalogLanguage(m_currentLanguage);
    TDomain *const domain = node->domain.get();
    TDomainNode *const added = node.release();
    if (m_lastDomain)
        m_lastDomain->next.store(added, std::memory_order_release);
    else
        m_firstDomain.store(added, std::memory_order_release);
    m_lastDomain = added;
    return domain;
}

QString TTranslationEngine::TranslateInDomain(const QString &name, const QString &key)
{
    TDomain *domain = DomainFor(name);

    char buffer[512];
    std::string spare;
    const EncodedKey encoded = encodeKey(key, buffer, spare);

    // A key of CRs alone is the empty key once they are gone, and asks for the header.
    const TDomain::TFound found = domain->LookupEntry(encoded.utf8);
    if (found.translated) {
        if (const QString *kept = found.catalog->translations.Find(found.entry))
            return *kept;
    } else if (!encoded.hadCr && !encoded.hasLf) {
        // No translation and no line break to rewrite: the key is the answer.
        return key;
    }

    QString translation;
    if (!decodeWithCrLf(found.text, translation))
        translation.clear();
    if (!key.isEmpty() && translation.isEmpty())
        throw platform::TfError(notTranslatable(key));
    // Only texts that are there are kept, so no key can meet an empty kept text.
    if (found.translated && !translation.isEmpty())
        return found.catalog->translations.Keep(found.entry, std::move(translation));
    return translation;
}

} // namespace i18n
