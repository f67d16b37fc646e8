#include "i18n/SystemLanguage.h"

#include <QByteArray>

#include <locale.h>
#if defined(__GLIBC__)
#include <langinfo.h>
#endif

namespace i18n {

namespace {

struct LocaleCode
{
    const char *localeName;
    const char *code;
};

// The platform's names for the locales that the table of catalog folders knows. Some
// folders do not follow the ISO names (Greek, Korean, British English, Swedish in Finland).
constexpr LocaleCode localeTable[] = {
    {"da_DK", "da_DK"}, {"de_DE", "de_DE"}, {"el_GR", "gr_GR"}, {"en_US", "en_US"},
    {"es_ES", "es_ES"}, {"fi_FI", "fi_FI"}, {"fr_FR", "fr_FR"}, {"is_IS", "is_IS"},
    {"it_IT", "it_IT"}, {"ko_KR", "ko_KO"}, {"nl_NL", "nl_NL"}, {"nb_NO", "no_NO"},
    {"no_NO", "no_NO"}, {"pl_PL", "pl_PL"}, {"pt_BR", "pt_BR"}, {"ru_RU", "ru_RU"},
    {"sv_SE", "sv_SE"}, {"en_GB", "en_UK"}, {"fr_BE", "fr_BE"}, {"nl_BE", "nl_BE"},
    {"nn_NO", "nn_NO"}, {"pt_PT", "pt_PT"}, {"sv_FI", "fi_SE"}, {"fr_CA", "fr_CA"},
    {"de_LU", "de_LU"},
};

QString environmentLocaleName()
{
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty())
            return QString::fromLocal8Bit(value);
    }
    return QStringLiteral("C");
}

} // namespace

QString SystemLanguageCode(const QString &localeName, const QString &isoLanguage,
                           const QString &isoCountry)
{
    if (isoLanguage.size() == 2 && isoCountry.size() == 2)
        return isoLanguage + QLatin1Char('_') + isoCountry;
    // "el_GR.UTF-8@euro" is looked up as "el_GR".
    QString name = localeName;
    for (const QChar separator : {QLatin1Char('.'), QLatin1Char('@')}) {
        const qsizetype cut = name.indexOf(separator);
        if (cut >= 0)
            name.truncate(cut);
    }
    for (const LocaleCode &row : localeTable) {
        if (name == QLatin1String(row.localeName))
            return QLatin1String(row.code);
    }
    return QStringLiteral("C");
}

QString SystemLanguageCode()
{
    const QString name = environmentLocaleName();
    QString language;
    QString country;
#if defined(__GLIBC__)
    // The ISO names come from the locale's own data, so only an installed locale has them.
    if (locale_t locale = ::newlocale(LC_ADDRESS_MASK, QByteArray(name.toLocal8Bit()).constData(),
                                      locale_t(nullptr))) {
        language = QString::fromUtf8(::nl_langinfo_l(_NL_ADDRESS_LANG_AB, locale));
        country = QString::fromUtf8(::nl_langinfo_l(_NL_ADDRESS_COUNTRY_AB2, locale));
        ::freelocale(locale);
    }
#endif
    return SystemLanguageCode(name, language, country);
}

} // namespace i18n
