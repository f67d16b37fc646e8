#include "i18n/SystemLanguage.h"

#include <gtest/gtest.h>

namespace {

struct Row
{
    const char *localeName;
    const char *isoLanguage;
    const char *isoCountry;
    const char *code;
};

TEST(SystemLanguageTest, IsoNamesFirstThenTheTableOfLocaleNamesThenC)
{
    const Row rows[] = {
        // An installed locale reports its ISO names.
        {"de_DE.UTF-8", "de", "DE", "de_DE"},
        {"el_GR.UTF-8", "el", "GR", "el_GR"},
        {"whatever", "pt", "BR", "pt_BR"},
        // Without them the name is mapped; some folders do not follow the ISO names.
        {"de_DE.UTF-8", "", "", "de_DE"},
        {"el_GR", "", "", "gr_GR"},
        {"ko_KR.UTF-8", "", "", "ko_KO"},
        {"en_GB", "", "", "en_UK"},
        {"sv_FI@euro", "", "", "fi_SE"},
        {"nb_NO.UTF-8", "", "", "no_NO"},
        {"de_LU", "", "", "de_LU"},
        {"es_ES@traditional", "", "", "es_ES"},
        // A three-letter language is no ISO answer of two letters.
        {"fil_PH", "fil", "PH", "C"},
        {"de_CH", "de", "", "C"},
        {"C", "", "", "C"},
        {"C.UTF-8", "", "", "C"},
        {"POSIX", "", "", "C"},
        {"", "", "", "C"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(i18n::SystemLanguageCode(row.localeName, row.isoLanguage, row.isoCountry),
                  row.code)
            << row.localeName << " / " << row.isoLanguage << " / " << row.isoCountry;
    }
}

} // namespace
