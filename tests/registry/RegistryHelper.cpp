// A second instance of the program, as far as the registry is concerned, for the tests
// that kill a save midway or run two saves at once:
//   hold KEY        creates KEY, printing "at-hook" and stopping for good just before the
//                   new hive would replace the old one
//   loop KEY        writes the value "n" of KEY over and over, printing "running" once
//   writer NAME N   after a line on stdin, creates NAME\1 .. NAME\N, each with a value "n"
#include "registry/Registry.h"
#include "registry/RegistryStore.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

using namespace platform;
using namespace registry;

namespace {

bool writeNumber(const QByteArray &path, long n)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.constData(), KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    const QByteArray text = QByteArray::number(qlonglong(n));
    const LONG status = RegSetValueExA(
        key, "n", REG_SZ, reinterpret_cast<const BYTE *>(text.constData()), DWORD(text.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void say(const char *line)
{
    std::puts(line);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0) {
        RegistryStore::setBeforeReplaceHook([] {
            say("at-hook");
            for (;;)
                ::pause();
        });
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, argv[2], KEY_ALL_ACCESS, &key);
        return 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "loop") == 0) {
        for (long n = 0;; ++n) {
            if (!writeNumber(argv[2], n))
                return 1;
            if (n == 0)
                say("running");
        }
    }
    if (argc == 4 && std::strcmp(argv[1], "writer") == 0) {
        char line[16];
        if (!std::fgets(line, sizeof line, stdin))
            return 1;
        const long count = std::atol(argv[3]);
        for (long i = 1; i <= count; ++i) {
            if (!writeNumber(QByteArray(argv[2]) + '\\' + QByteArray::number(qlonglong(i)), i))
                return 1;
        }
        say("done");
        return 0;
    }
    std::fprintf(stderr, "usage: %s hold KEY | loop KEY | writer NAME COUNT\n", argv[0]);
    return 2;
}
