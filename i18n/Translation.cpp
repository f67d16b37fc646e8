#include "Translation.h"

#include "EmbeddedStore.h"
#include "TranslationEngine.h"

#include <QReadWriteLock>

#include <memory>

namespace {

struct DomainList
{
    QReadWriteLock lock;
    // False once shutdown has begun: texts then pass untranslated.
    bool active = false;
    QStringList names;
};

DomainList &resourceStringDomains()
{
    static DomainList domains;
    return domains;
}

// What a domain without a translation gives back: CR removed, then CR before every LF.
QString untranslatedForm(const QString &text)
{
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString form = text;
    form.remove(QLatin1Char('\r'));
    form.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return form;
}

std::unique_ptr<TEmbeddedStore> theStore;
std::unique_ptr<TTranslationEngine> theEngine;

} // namespace

namespace Translation {

void startUp()
{
    startUp(std::make_unique<TEmbeddedStore>());
}

void startUp(const QString &executablePath, std::uint64_t directoryPosition)
{
    startUp(std::make_unique<TEmbeddedStore>(executablePath, directoryPosition));
}

void startUp(std::unique_ptr<TEmbeddedStore> store)
{
    shutDown();
    store->ScanStore();
    const QString executablePath = store->ExecutablePath();
    const QString folder = executablePath.left(executablePath.lastIndexOf(QLatin1Char('/')) + 1);
    auto engine = std::make_unique<TTranslationEngine>(folder, store.get());

    DomainList &domains = resourceStringDomains();
    QWriteLocker locker(&domains.lock);
    theStore = std::move(store);
    theEngine = std::move(engine);
    domains.names = QStringList{QStringLiteral("default")};
    domains.active = true;
}

void shutDown()
{
    // Toolkit texts stop using the engine before it goes away.
    std::unique_ptr<TTranslationEngine> engine;
    std::unique_ptr<TEmbeddedStore> store;
    {
        DomainList &domains = resourceStringDomains();
        QWriteLocker locker(&domains.lock);
        domains.active = false;
        domains.names.clear();
        engine = std::move(theEngine);
        store = std::move(theStore);
    }
    engine.reset();
    store.reset();
}

TTranslationEngine *engine()
{
    return theEngine.get();
}

const TEmbeddedStore *store()
{
    return theStore.get();
}

} // namespace Translation

void LanguageSetup()
{
    AddResourceStringDomain(QStringLiteral("toolkit"));
    SelectLanguage(QStringLiteral("de"));
}

void SelectLanguage(const QString &code)
{
    if (TTranslationEngine *engine = Translation::engine())
        engine->SelectLanguage(code);
}

void AddResourceStringDomain(const QString &name)
{
    DomainList &domains = resourceStringDomains();
    QWriteLocker locker(&domains.lock);
    if (!domains.names.contains(name, Qt::CaseInsensitive))
        domains.names.append(name);
}

QStringList ResourceStringDomains()
{
    DomainList &domains = resourceStringDomains();
    QReadLocker locker(&domains.lock);
    return domains.names;
}

QString TranslateResourceText(const QString &text)
{
    DomainList &domains = resourceStringDomains();
    if (text.isEmpty())
        return text;
    QReadLocker locker(&domains.lock);
    TTranslationEngine *engine = Translation::engine();
    if (!domains.active || !engine)
        return text;
    // A domain changes a text only by translating it; the line breaks that every lookup
    // rewrites do not count, or a text with a line break would never reach "toolkit".
    const QString untranslated = untranslatedForm(text);
    for (const QString &name : std::as_const(domains.names)) {
        QString translated = engine->TranslateInDomain(name, text);
        if (translated != untranslated)
            return translated;
    }
    return text;
}
