#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class TEmbeddedStore;
class TTranslationEngine;

// Start-up and shutdown of the localisation module. startUp runs before any window
// exists: it scans the store appended to the executable and creates the engine with
// the text domain "default"; shutDown frees them again, and from then on toolkit texts
// pass untranslated.
namespace Translation {

void startUp();
// The same for an executable file other than the running one (tests).
void startUp(const QString &executablePath, std::uint64_t directoryPosition);
void startUp(std::unique_ptr<TEmbeddedStore> store);
void shutDown();

// Null before startUp and after shutDown.
TTranslationEngine *engine();
const TEmbeddedStore *store();

} // namespace Translation

// The language step of start-up: the toolkit's own texts come from the domain
// "toolkit", and the program speaks German.
void LanguageSetup();

void SelectLanguage(const QString &code);

// The text domains that toolkit texts pass through, in order; the first that changes a
// text wins. Starts as "default".
void AddResourceStringDomain(const QString &name);
QStringList ResourceStringDomains();
QString TranslateResourceText(const QString &text);
