#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class QMetaProperty;
class QObject;
struct QMetaObject;

namespace i18n {

class TDomain;
class TEmbeddedStore;
class TRetranslator;

// One entry of the class-property ignore list: properties of a class and of every class
// derived from it that the form translation leaves alone.
struct TClassIgnoreEntry
{
    const QMetaObject *metaClass = nullptr;
    // Upper case, sorted, no duplicates.
    QStringList propertyNames;
};

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

    // Form translation (TranslationEngineForms.cpp). An empty domain means the current one.
    // Translates every readable and writable QString and QStringList property of the
    // component, of every object it owns at any depth and of every object reachable
    // through QObject-valued properties, and marks the component with a child named
    // "TranslationMarker" that can translate it again after a change of language.
    void TranslateComponentTexts(QObject *component, const QString &domain);
    void TranslateObjectProperties(QObject *object, const QString &domain);
    // Every line that is not empty, one by one.
    QStringList TranslateStringList(const QStringList &lines, const QString &domain);
    // Derived classes' entries stand before those of their ancestors.
    void IgnoreClassProperty(const QMetaObject *metaClass, const QString &propertyName);
    const std::vector<TClassIgnoreEntry> &ClassIgnores() const { return m_classIgnores; }
    // For the next walk only: an upper-case object name ("BTNOK"), or object name, ".",
    // property name ("BTNOK.TEXT"; ".TEXT" for the top object and objects without a name).
    void IgnoreProperty(const QString &key);
    TRetranslator *CurrentRetranslator() const { return m_retranslator; }

    QString CurrentLanguage() const;
    QString CurrentDomain() const { return m_currentDomain; }
    QString DefaultCatalogFolder() const { return m_defaultCatalogFolder; }

protected:
    // Called after the change is made; nothing in the program reacts to them.
    virtual void LanguageChanged(const QString &code);
    virtual void DomainSelected(const QString &name);
    virtual void DomainFolderBound(const QString &name, const QString &folder);

private:
    struct TDomainNode
    {
        std::unique_ptr<TDomain> domain;
        std::atomic<TDomainNode *> next = nullptr;
    };
    using TQueue = std::deque<std::pair<QString, QObject *>>;
    // The properties of a class that the walk looks at, less the class ignores.
    struct TPropertyPlan
    {
        int index = 0;
        QString upperName;
    };

    TDomain *FindDomain(const QString &name) const;
    void AddInitialIgnores();
    const std::vector<TPropertyPlan> &PlanFor(const QMetaObject *meta);
    void TranslatePropertyValue(QObject *object, const QMetaProperty &property, TQueue &queue,
                                const QString &domain);

    QString m_currentLanguage;
    QString m_currentDomain;
    QString m_defaultCatalogFolder;
    // Guards creating domains and changing the language; lookups take no lock.
    mutable std::mutex m_domainsMutex;
    std::atomic<TDomainNode *> m_firstDomain = nullptr;
    TDomainNode *m_lastDomain = nullptr;
    const TEmbeddedStore *m_store = nullptr;

    QSet<QString> m_perCallIgnores;
    std::vector<TClassIgnoreEntry> m_classIgnores;
    // By class; dropped whenever the class ignores change.
    QHash<const QMetaObject *, std::vector<TPropertyPlan>> m_plans;
    TRetranslator *m_retranslator = nullptr;
};

} // namespace i18n
