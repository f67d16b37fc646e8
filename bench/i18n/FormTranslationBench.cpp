// Cost of translating the main window once (the walk over every object and property and
// the lookups), with the program's own catalogs, and of translating it again through its
// retranslator after a change of language.

#include "app/MainForm.h"
#include "i18n/Translation.h"
#include "i18n/TranslationEngine.h"
#include "i18n/TranslationMarker.h"
#include "support/NoPortLineSource.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct Window
{
    Window()
    {
        const QString locale = QStringLiteral(TF_PROGRAM_CATALOGS);
        i18n::Translation::startUp(
            locale.left(locale.lastIndexOf(u'/')) + QStringLiteral("/tachoflux"), 0);
        i18n::LanguageSetup();
        form = std::make_unique<app::TForm1>(lines);
    }
    ~Window()
    {
        form.reset();
        i18n::Translation::shutDown();
    }
    timing::NoPortLineSource lines;
    std::unique_ptr<app::TForm1> form;
};

void BM_TranslateMainWindowOnce(benchmark::State &state)
{
    Window w;
    for (auto _ : state) {
        state.PauseTiming();
        delete w.form->findChild<i18n::TTranslationMarker *>();
        state.ResumeTiming();
        i18n::TranslateComponentTexts(w.form.get());
    }
}
BENCHMARK(BM_TranslateMainWindowOnce)->Unit(benchmark::kMicrosecond);

void BM_RetranslateMainWindow(benchmark::State &state)
{
    Window w;
    int i = 0;
    for (auto _ : state) {
        i18n::SelectLanguage((++i % 2) ? QStringLiteral("de_AT") : QStringLiteral("de"));
        i18n::TranslateComponentTexts(w.form.get());
    }
}
BENCHMARK(BM_RetranslateMainWindow)->Unit(benchmark::kMicrosecond);

} // namespace
