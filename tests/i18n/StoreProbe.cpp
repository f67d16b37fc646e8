// Reports what the running program finds in its own store, one line each:
//   position <directory position from the marker>
//   folder <executable folder>
//   file <name> <data position> <length>
//   has <path> <0|1>            for every path given as argument
// With --after-input KEY... as arguments it prints "ready", waits for a line on its input
// and then prints "translation <text>" for each key, looked up in the stored "default"
// catalog for "de" (a test may replace the program file in between).

#include "i18n/EmbeddedStore.h"
#include "i18n/TranslationEngine.h"

#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    i18n::TEmbeddedStore store;
    store.ScanStore();
    QTextStream out(stdout);
    if (argc > 1 && QByteArray(argv[1]) == "--after-input") {
        out << "ready" << Qt::endl;
        char line[16];
        if (!std::fgets(line, sizeof line, stdin))
            return 1;
        i18n::TTranslationEngine engine(store.ExecutableFolder(), &store);
        engine.SelectLanguage(QStringLiteral("de"));
        for (int i = 2; i < argc; ++i)
            out << "translation "
                << engine.TranslateInDomain(QStringLiteral("default"), QString::fromUtf8(argv[i]))
                << '\n';
        return 0;
    }
    out << "position " << i18n::TEmbeddedStore::OwnDirectoryPosition() << '\n';
    out << "folder " << store.ExecutableFolder() << '\n';
    for (const QString &name : store.FileNames()) {
        const i18n::TLocatedFile located = store.LocateFile(store.ExecutableFolder() + name);
        out << "file " << name << ' ' << located.dataPosition << ' ' << located.length << '\n';
    }
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        out << "has " << path << ' ' << (store.StoreHasFile(path) ? 1 : 0) << '\n';
    }
    return 0;
}
