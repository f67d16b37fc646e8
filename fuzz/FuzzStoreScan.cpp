// Any bytes as an executable with a store. The directory position comes from the marker
// if the bytes hold one (as the appending tool writes it), otherwise from the first eight
// bytes. Whatever the scan indexes must lie inside the file.

#include "i18n/EmbeddedStore.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

std::uint64_t littleEndian64(const std::uint8_t *at)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

std::uint64_t directoryPosition(const std::uint8_t *data, std::size_t size)
{
    // Built from pieces, so that this program's own image holds the marker only once.
    static const std::string marker = std::string("3C142149-3BC7-47C3-") + "9FA4-2E52359BFE6E";
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::size_t at = bytes.find(marker);
    if (at != std::string_view::npos && size - at >= marker.size() + 8)
        return littleEndian64(data + at + marker.size());
    return size >= 8 ? littleEndian64(data) : 0;
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
    TEmbeddedStore store(path, directoryPosition(data, size));
    store.ScanStore();
    for (const QString &name : store.FileNames()) {
        const TLocatedFile located = store.LocateFile(store.ExecutableFolder() + name);
        if (located.path != path || located.dataPosition > size ||
            located.length > size - located.dataPosition)
            std::abort();
    }
    return 0;
}
