#pragma once

#include <QString>

namespace i18n {

// The language code that the system's locale asks for, as a catalog folder name:
// language "_" country from the locale's ISO names when both have two letters,
// otherwise the locale's name mapped by a fixed table, otherwise "C".
QString SystemLanguageCode();

// The same decision for given answers of the platform: the locale's name as the
// environment spells it (e.g. "el_GR.UTF-8") and its ISO 639 / ISO 3166 names.
QString SystemLanguageCode(const QString &localeName, const QString &isoLanguage,
                           const QString &isoCountry);

} // namespace i18n
