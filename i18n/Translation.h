#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QObject;
namespace platform {
class TfError;
}

namespace i18n {

class TEmbeddedStore;
class THook;
class TTranslationEngine;

// Start-up and shutdown of the localisation module. startUp runs before any window
// exists: it scans the store appended to the executable, creates the engine with the
// text domain "default" and routes the toolkit's texts through the engine (Qt's through
// a translator on the application, when there is one; the platform layer's through its
// text hook). shutDown undoes it in this order: toolkit texts pass untranslated from its
// first step on, then the engine goes, the routes are restored and the store goes.
namespace Translation {

void startUp();
// The same for an executable file other than the running one (tests).
void startUp(const QString &executablePath, std::uint64_t directoryPosition);
void startUp(std::unique_ptr<TEmbeddedStore> store);
void shutDown();

// Null before startUp and after shutDown.
TTranslationEngine *engine();
const TEmbeddedStore *store();
// The routes in the order they are prepared: Qt's translator, the platform text hook.
THook *hook(int index);
constexpr int hookCount = 2;

// Hands a catalog error to the program's report (setCatalogErrorReport), once; false if
// there is no report, and the caller raises it.
bool reportCatalogError(const platform::TfError &error);

} // namespace Translation

// How the program meets a damaged catalog: each error is handed to `report` once (an error
// whose text holds one already reported, or is held in it, counts as reported) and the
// texts stay untranslated; no catalog error then leaves the toolkit's text routes,
// TranslateComponentTexts or LanguageSetup, so none escapes a constructor or the start-up.
// Without a report, as by default, the errors reach the caller. `report` may be called on
// any thread that translates.
void setCatalogErrorReport(std::function<void(const QString &message)> report);

// The language step of start-up: the toolkit's own texts come from the domain
// "toolkit", and the program speaks German.
void LanguageSetup();

void SelectLanguage(const QString &code);

// The text domains that toolkit texts pass through, in order; the first that changes a
// text wins. Starts as "default".
void AddResourceStringDomain(const QString &name);
QStringList ResourceStringDomains();
QString TranslateResourceText(const QString &text);

// Prepares the text routes and, with enable, puts the engine into them.
void InstallResourceStringHooks(bool enable);

// Translates a window (or any object) and everything it owns; an empty domain means the
// engine's current one. Does nothing before start-up.
void TranslateComponentTexts(QObject *component, const QString &domain = QString());

} // namespace i18n
