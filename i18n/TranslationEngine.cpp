#include "TranslationEngine.h"

#include "Domain.h"
#include "SystemLanguage.h"
#include "platform/Errors.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QVarLengthArray>

namespace {

QString notTranslatable(const QString &key)
{
    return QStringLiteral("Error: Could not translate %1. Probably because the mo file doesn't "
                          "contain utf-8 encoded translations.")
        .arg(key);
}

} // namespace

TTranslationEngine::TTranslationEngine(const QString &executableFolder, const TEmbeddedStore *store)
    : m_currentDomain(QStringLiteral("default")),
      m_defaultCatalogFolder(executableFolder + QStringLiteral("locale")), m_store(store)
{
    SelectLanguage(QString());
    BindDomainFolder(QStringLiteral("default"), m_defaultCatalogFolder);
    SelectDomain(QStringLiteral("default"));
}

TTranslationEngine::~TTranslationEngine() = default;

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
    m_currentLanguage = language;
    for (const auto &domain : m_domains)
        domain->SetCatalogLanguage(language);
    LanguageChanged(language);
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

TDomain *TTranslationEngine::DomainFor(const QString &name)
{
    for (const auto &domain : m_domains) {
        if (domain->Name().compare(name, Qt::CaseInsensitive) == 0)
            return domain.get();
    }
    auto domain = std::make_unique<TDomain>(name, m_store);
    domain->SetCatalogFolder(m_defaultCatalogFolder.endsWith(QLatin1Char('/'))
                                 ? m_defaultCatalogFolder
                                 : m_defaultCatalogFolder + QLatin1Char('/'));
    domain->SetCatalogLanguage(m_currentLanguage);
    m_domains.push_back(std::move(domain));
    return m_domains.back().get();
}

QString TTranslationEngine::TranslateInDomain(const QString &name, const QString &key)
{
    TDomain *domain = DomainFor(name);

    QStringEncoder encoder(QStringEncoder::Utf8);
    QVarLengthArray<char, 512> utf8(encoder.requiredSpace(key.size()));
    char *end = encoder.appendToBuffer(utf8.data(), key);
    bool hadCr = false;
    char *out = utf8.data();
    for (const char *in = utf8.data(); in != end; ++in) {
        if (*in == '\r')
            hadCr = true;
        else
            *out++ = *in;
    }
    const std::string_view utf8Key(utf8.data(), std::size_t(out - utf8.data()));

    // Only the truly empty key asks for the header; a key of CRs alone stays as it is.
    if (utf8Key.empty() && !key.isEmpty())
        return key;
    const std::string_view found = domain->Lookup(utf8Key);

    // Common case: no translation and no line break to rewrite, so the key is the answer.
    if (found.data() == utf8Key.data() && !hadCr && found.find('\n') == std::string_view::npos)
        return key;

    QVarLengthArray<char, 512> withCr;
    std::string_view result = found;
    if (found.find('\n') != std::string_view::npos) {
        withCr.reserve(qsizetype(found.size() * 2));
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (found[i] == '\n' && (i == 0 || found[i - 1] != '\r'))
                withCr.append('\r');
            withCr.append(found[i]);
        }
        result = std::string_view(withCr.data(), std::size_t(withCr.size()));
    }

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString translation = decoder.decode(QByteArrayView(result.data(), qsizetype(result.size())));
    if (decoder.hasError())
        translation.clear();
    if (!key.isEmpty() && translation.isEmpty())
        throw TfError(notTranslatable(key));
    return translation;
}
