#include "i18n/Translation.h"

#include "i18n/EmbeddedStore.h"
#include "i18n/Hook.h"
#include "i18n/ToolkitTranslator.h"
#include "i18n/TranslationEngine.h"
#include "platform/Errors.h"
#include "platform/ResourceText.h"

#include <QCoreApplication>

#include <array>
#include <memory>
#include <mutex>
#include <shared_mutex>

namespace i18n {

namespace {

struct DomainList
{
    std::shared_mutex lock;
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

struct ErrorReport
{
    std::mutex lock;
    std::function<void(const QString &)> report;
    QStringList reported;
};

ErrorReport &errorReport()
{
    static ErrorReport instance;
    return instance;
}

// False when there is no report: the caller raises the error then.
bool reportOnce(const platform::TfError &error)
{
    ErrorReport &state = errorReport();
    std::function<void(const QString &)> report;
    const QString message = error.message();
    {
        const std::lock_guard<std::mutex> locker(state.lock);
        if (!state.report)
            return false;
        for (const QString &told : std::as_const(state.reported)) {
            if (told.contains(message) || message.contains(told))
                return true;
        }
        state.reported.append(message);
        report = state.report;
    }
    report(message);
    return true;
}

// The platform layer's route: a text of a damaged catalog stays as it is.
QString platformResourceText(const QString &text)
{
    try {
        return TranslateResourceText(text);
    } catch (const platform::TfError &error) {
        if (!reportOnce(error))
            throw;
        return text;
    }
}

std::unique_ptr<TEmbeddedStore> theStore;
std::unique_ptr<TTranslationEngine> theEngine;
std::unique_ptr<TToolkitTranslator> theTranslator;
std::array<std::unique_ptr<THook>, Translation::hookCount> theHooks;

void createHooks()
{
    theTranslator = std::make_unique<TToolkitTranslator>();
    TToolkitTranslator *translator = theTranslator.get();
    // Qt keeps its translators with the application; without one there is nothing to
    // route yet (the program creates its application before the module starts).
    theHooks[0] = std::make_unique<THook>(
        [translator] {
            if (QCoreApplication::instance())
                QCoreApplication::installTranslator(translator);
        },
        [translator] {
            if (QCoreApplication::instance())
                QCoreApplication::removeTranslator(translator);
        });
    theHooks[1] = std::make_unique<THook>(
        [] { platform::setResourceTextHook(&platformResourceText); },
        [] { platform::setResourceTextHook(nullptr); });
}

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
    std::unique_lock<std::shared_mutex> locker(domains.lock);
    theStore = std::move(store);
    theEngine = std::move(engine);
    domains.names = QStringList{QStringLiteral("default")};
    domains.active = true;
    locker.unlock();
    createHooks();
    InstallResourceStringHooks(true);
}

void shutDown()
{
    // Toolkit texts stop using the engine before it goes away.
    std::unique_ptr<TTranslationEngine> engine;
    std::unique_ptr<TEmbeddedStore> store;
    {
        DomainList &domains = resourceStringDomains();
        std::unique_lock<std::shared_mutex> locker(domains.lock);
        domains.active = false;
        domains.names.clear();
        engine = std::move(theEngine);
        store = std::move(theStore);
    }
    engine.reset();
    for (auto hook = theHooks.rbegin(); hook != theHooks.rend(); ++hook)
        hook->reset();
    theTranslator.reset();
    store.reset();
}

THook *hook(int index)
{
    return index >= 0 && index < hookCount ? theHooks[std::size_t(index)].get() : nullptr;
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

void setCatalogErrorReport(std::function<void(const QString &message)> report)
{
    ErrorReport &state = errorReport();
    const std::lock_guard<std::mutex> locker(state.lock);
    state.report = std::move(report);
    state.reported.clear();
}

void LanguageSetup()
{
    try {
        AddResourceStringDomain(QStringLiteral("toolkit"));
        SelectLanguage(QStringLiteral("de"));
    } catch (const platform::TfError &error) {
        if (!reportOnce(error))
            throw;
    }
}

void SelectLanguage(const QString &code)
{
    if (TTranslationEngine *engine = Translation::engine())
        engine->SelectLanguage(code);
}

void AddResourceStringDomain(const QString &name)
{
    DomainList &domains = resourceStringDomains();
    std::unique_lock<std::shared_mutex> locker(domains.lock);
    if (!domains.names.contains(name, Qt::CaseInsensitive))
        domains.names.append(name);
}

QStringList ResourceStringDomains()
{
    DomainList &domains = resourceStringDomains();
    std::shared_lock<std::shared_mutex> locker(domains.lock);
    return domains.names;
}

QString TranslateResourceText(const QString &text)
{
    DomainList &domains = resourceStringDomains();
    if (text.isEmpty())
        return text;
    std::shared_lock<std::shared_mutex> locker(domains.lock);
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

void InstallResourceStringHooks(bool enable)
{
    for (const auto &hook : theHooks) {
        if (hook)
            hook->Prepare();
    }
    if (!enable)
        return;
    for (const auto &hook : theHooks) {
        if (hook)
            hook->Enable();
    }
}

void TranslateComponentTexts(QObject *component, const QString &domain)
{
    TTranslationEngine *engine = Translation::engine();
    if (!engine)
        return;
    try {
        engine->TranslateComponentTexts(component, domain);
    } catch (const platform::TfError &error) {
        if (!reportOnce(error))
            throw;
    }
}

bool Translation::reportCatalogError(const platform::TfError &error)
{
    return reportOnce(error);
}

} // namespace i18n
