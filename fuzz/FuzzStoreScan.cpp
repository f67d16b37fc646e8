// Any bytes as an executable with a store. The directory position comes from the marker
// if the bytes hold one (as the appending tool writes it), otherwise from the first eight
// bytes. Whatever the scan indexes must lie inside the file.

#include "i18n/EmbeddedStore.h"
#include "i18n/StoreMarker.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

std::uint64_t directoryPosition(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    std::uint64_t position = 0;
    if (i18n::store_marker::positionIn(bytes, position))
        return position;
    return size >= 8 ? i18n::store_marker::readLittleEndian64(data) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.path() + QStringLiteral("/program");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qsizetype(size));
    }
    i18n::TEmbeddedStore store(path, directoryPosition(data, size));
    store.ScanStore();
    for (const QString &name : store.FileNames()) {
        const i18n::TLocatedFile located = store.LocateFile(store.ExecutableFolder() + name);
        if (located.path != path || located.dataPosition > size ||
            located.length > size - located.dataPosition)
            std::abort();
    }
    return 0;
}
