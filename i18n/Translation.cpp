#include "Translation.h"

#include "EmbeddedStore.h"
#include "TranslationEngine.h"

#include <QReadWriteLock>

#include <memory>

namespace {

struct ResourceStringDomains
{
    QReadWriteLock lock;
    // False once shutdown has begun: texts then pass untranslated.
    bool active = false;
    QStringList names;
};

ResourceStringDomains &resourceStringDomains()
{
    static ResourceStringDomains domains;
    return domains;
}

std::unique_ptr<TEmbeddedStore> theStore;
std::unique_ptr<TTranslationEngine> theEngine;

} // namespace

namespace Translation {

void startUp()
{
    startUp(TEmbeddedStore::OwnExecutablePath(), TEmbeddedStore::OwnDirectoryPosition());
}

void startUp(const QString &executablePath, std::uint64_t directoryPosition)
{
    shutDown();
    auto store = std::make_unique<TEmbeddedStore>(executablePath, directoryPosition);
    store->ScanStore();
    const QString folder = executablePath.left(executablePath.lastIndexOf(QLatin1Char('/')) + 1);
    auto engine = std::make_unique<TTranslationEngine>(folder, store.get());

    ResourceStringDomains &domains = resourceStringDomains();
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
        ResourceStringDomains &domains = resourceStringDomains();
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
    ResourceStringDomains &domains = resourceStringDomains();
    QWriteLocker locker(&domains.lock);
    if (!domains.names.contains(name, Qt::CaseInsensitive))
        domains.names.append(name);
}

QStringList ResourceStringDomains()
{
    ResourceStringDomains &domains = resourceStringDomains();
    QReadLocker locker(&domains.lock);
    return domains.names;
}

QString TranslateResourceText(const QString &text)
{
    ResourceStringDomains &domains = resourceStringDomains();
    if (text.isEmpty())
        return text;
    QReadLocker locker(&domains.lock);
    TTranslationEngine *engine = Translation::engine();
    if (!domains.active || !engine)
        return text;
    for (const QString &name : std::as_const(domains.names)) {
        QString translated = engine->TranslateInDomain(name, text);
        if (translated != text)
            return translated;
    }
    return text;
}
