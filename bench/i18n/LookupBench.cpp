// ns per lookup in the toolkit catalog, hits and misses, side by side:
//   Ours/Lookup      TDomain::Lookup, UTF-8 in and out (what dcgettext does)
//   Ours/Translate   TTranslationEngine::TranslateInDomain, UTF-16 in and out
//   Gettext          glibc dcgettext on the same .mo file
//   QTranslator      QTranslator::translate on Qt's qtbase_de.qm (with the Qt context)
// Every benchmark walks the same list of Qt's own source texts. For instruction counts
// run count-instructions.sh beside this file.

#include "i18n/Domain.h"
#include "i18n/TranslationEngine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <libintl.h>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Message
{
    std::string context;
    std::string disambiguation;
    std::string source;
    QString sourceText;
};

struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<i18n::TTranslationEngine> engine;
    i18n::TDomain *domain = nullptr;
    QTranslator translator;
    std::vector<Message> hits;
    std::vector<Message> misses;
};

std::string unescape(const std::string &quoted)
{
    std::string out;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != '\\' || i + 1 == quoted.size()) {
            out += quoted[i];
            continue;
        }
        const char c = quoted[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

// Single-line entries of lconvert's .po of qtbase_de.qm: context|disambiguation and text.
std::vector<Message> qtMessages()
{
    QFile file(QStringLiteral(TF_QT_SOURCE_PO));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    std::vector<Message> messages;
    std::string context;
    const auto quoted = [](const std::string &line, std::size_t prefix) {
        return unescape(line.substr(prefix + 1, line.size() - prefix - 2));
    };
    while (!file.atEnd()) {
        const std::string line = file.readLine().trimmed().toStdString();
        if (line.rfind("msgctxt \"", 0) == 0) {
            context = quoted(line, 8);
        } else if (line.rfind("msgid \"", 0) == 0 && !context.empty()) {
            const std::string source = quoted(line, 6);
            if (!source.empty()) {
                const auto bar = context.find('|');
                messages.push_back(
                    {context.substr(0, bar),
                     bar == std::string::npos ? std::string() : context.substr(bar + 1), source,
                     QString::fromStdString(source)});
            }
            context.clear();
        }
    }
    return messages;
}

Fixture &fixture()
{
    static Fixture *f = [] {
        auto *fx = new Fixture;
        const QString folder = fx->dir.path() + QStringLiteral("/de/LC_MESSAGES");
        QDir().mkpath(folder);
        QFile::copy(QStringLiteral(TF_TOOLKIT_CATALOG), folder + QStringLiteral("/toolkit.mo"));

        fx->engine =
            std::make_unique<i18n::TTranslationEngine>(fx->dir.path() + QLatin1Char('/'), nullptr);
        fx->engine->BindDomainFolder(QStringLiteral("toolkit"), fx->dir.path());
        fx->engine->SelectLanguage(QStringLiteral("de"));
        fx->domain = fx->engine->DomainFor(QStringLiteral("toolkit"));

        // glibc honours LANGUAGE in any locale but plain "C".
        setenv("LANGUAGE", "de", 1);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
            std::setlocale(LC_ALL, "C.UTF-8");
        bindtextdomain("toolkit", fx->dir.path().toLocal8Bit().constData());
        bind_textdomain_codeset("toolkit", "UTF-8");

        if (!fx->translator.load(QStringLiteral(TF_QTBASE_DE_QM)))
            std::cerr << "cannot load " << TF_QTBASE_DE_QM << '\n';

        for (const Message &m : qtMessages()) {
            const QString ours =
                fx->engine->TranslateInDomain(QStringLiteral("toolkit"), m.sourceText);
            const char *theirs = dcgettext("toolkit", m.source.c_str(), LC_MESSAGES);
            const QString qt = fx->translator.translate(
                m.context.c_str(), m.source.c_str(),
                m.disambiguation.empty() ? nullptr : m.disambiguation.c_str());
            // Hits in all three, with the same text, so that every lookup does the same work.
            if (ours != m.sourceText && theirs != m.source.c_str() &&
                ours == QString::fromUtf8(theirs) && qt == ours && !m.source.ends_with('\n')) {
                fx->hits.push_back(m);
                Message miss = m;
                miss.source += '~';
                miss.sourceText += QLatin1Char('~');
                fx->misses.push_back(miss);
            }
        }
        std::cerr << fx->hits.size() << " texts; \"&Yes\" -> "
                  << dcgettext("toolkit", "&Yes", LC_MESSAGES) << " (gettext), "
                  << fx->engine
                         ->TranslateInDomain(QStringLiteral("toolkit"), QStringLiteral("&Yes"))
                         .toStdString()
                  << " (ours)\n";
        return fx;
    }();
    return *f;
}

const std::vector<Message> &messages(bool hit)
{
    return hit ? fixture().hits : fixture().misses;
}

// Not inlined, so that callgrind can count each kind of lookup on its own.
__attribute__((noinline)) std::size_t oursLookup(i18n::TDomain &domain, const std::string &key)
{
    return domain.Lookup(key).size();
}

__attribute__((noinline)) qsizetype oursTranslate(i18n::TTranslationEngine &engine,
                                                  const QString &key)
{
    return engine.TranslateInDomain(QStringLiteral("toolkit"), key).size();
}

__attribute__((noinline)) const char *gettextLookup(const std::string &key)
{
    return dcgettext("toolkit", key.c_str(), LC_MESSAGES);
}

__attribute__((noinline)) qsizetype qtTranslate(const QTranslator &translator, const Message &m)
{
    return translator
        .translate(m.context.c_str(), m.source.c_str(),
                   m.disambiguation.empty() ? nullptr : m.disambiguation.c_str())
        .size();
}

template <typename Lookup> void run(benchmark::State &state, bool hit, Lookup lookup)
{
    const std::vector<Message> &list = messages(hit);
    if (list.empty()) {
        state.SkipWithError("no texts");
        return;
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lookup(list[i]));
        if (++i == list.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_OursLookup(benchmark::State &state)
{
    i18n::TDomain &domain = *fixture().domain;
    run(state, state.range(0) != 0, [&](const Message &m) { return oursLookup(domain, m.source); });
}

void BM_OursTranslate(benchmark::State &state)
{
    i18n::TTranslationEngine &engine = *fixture().engine;
    run(state, state.range(0) != 0,
        [&](const Message &m) { return oursTranslate(engine, m.sourceText); });
}

void BM_Gettext(benchmark::State &state)
{
    run(state, state.range(0) != 0, [](const Message &m) { return gettextLookup(m.source); });
}

void BM_QTranslator(benchmark::State &state)
{
    const QTranslator &translator = fixture().translator;
    run(state, state.range(0) != 0, [&](const Message &m) { return qtTranslate(translator, m); });
}

// Arg 1 = hit, 0 = miss. A fixed count when TF_BENCH_ITERATIONS is set (instruction counts).
void configure(benchmark::internal::Benchmark *b)
{
    b->ArgName("hit")->Arg(1)->Arg(0);
    if (const char *count = std::getenv("TF_BENCH_ITERATIONS"))
        b->Iterations(std::atoll(count));
}

BENCHMARK(BM_OursLookup)->Apply(configure);
BENCHMARK(BM_OursTranslate)->Apply(configure);
BENCHMARK(BM_Gettext)->Apply(configure);
BENCHMARK(BM_QTranslator)->Apply(configure);

} // namespace

BENCHMARK_MAIN();
