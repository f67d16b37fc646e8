#pragma once

#include <QString>

#include <memory>
#include <vector>

class TDomain;
class TEmbeddedStore;

// Turns a text into its translation for the current language, one catalog per text
// domain. Created once at start-up; it owns its domains.
class TTranslationEngine
{
public:
    // executableFolder ends in a separator; store may be null (no stored catalogs).
    TTranslationEngine(const QString &executableFolder, const TEmbeddedStore *store);
    virtual ~TTranslationEngine();
    TTranslationEngine(const TTranslationEngine &) = delete;
    TTranslationEngine &operator=(const TTranslationEngine &) = delete;

    // An empty code means LANG, then the system's language, cut before the first ".";
    // a code given by the caller is taken as it stands.
    void SelectLanguage(const QString &code);
    void BindDomainFolder(const QString &name, const QString &folder);
    void SelectDomain(const QString &name);
    // Keys may hold CR LF; the catalogs hold LF alone. The result has CR LF line breaks.
    QString TranslateInDomain(const QString &name, const QString &key);
    // Created on first use with the default catalog folder and the current language.
    TDomain *DomainFor(const QString &name);

    QString CurrentLanguage() const { return m_currentLanguage; }
    QString CurrentDomain() const { return m_currentDomain; }
    QString DefaultCatalogFolder() const { return m_defaultCatalogFolder; }

protected:
    // Called after the change is made; nothing in the program reacts to them.
    virtual void LanguageChanged(const QString &code);
    virtual void DomainSelected(const QString &name);
    virtual void DomainFolderBound(const QString &name, const QString &folder);

private:
    QString m_currentLanguage;
    QString m_currentDomain;
    QString m_defaultCatalogFolder;
    std::vector<std::unique_ptr<TDomain>> m_domains;
    const TEmbeddedStore *m_store = nullptr;
};
