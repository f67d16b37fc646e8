// Reports what the running program finds in its own store, one line each:
//   position <directory position from the marker>
//   folder <executable folder>
//   file <name> <data position> <length>
//   has <path> <0|1>            for every path given as argument

#include "i18n/EmbeddedStore.h"

#include <QTextStream>

int main(int argc, char **argv)
{
    TEmbeddedStore store;
    store.ScanStore();
    QTextStream out(stdout);
    out << "position " << TEmbeddedStore::OwnDirectoryPosition() << '\n';
    out << "folder " << store.ExecutableFolder() << '\n';
    for (const QString &name : store.FileNames()) {
        const TLocatedFile located = store.LocateFile(store.ExecutableFolder() + name);
        out << "file " << name << ' ' << located.dataPosition << ' ' << located.length << '\n';
    }
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        out << "has " << path << ' ' << (store.StoreHasFile(path) ? 1 : 0) << '\n';
    }
    return 0;
}
