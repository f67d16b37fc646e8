// Any bytes as a hive file. What parses must come back from its own text as the same
// hive, and that text must be a fixed point: written again, it is the same bytes.

#include "registry/RegFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<registry::RegFile> hive = registry::RegFile::parse(bytes);
    if (!hive)
        return 0;
    const std::optional<QByteArray> text = hive->serialize(registry::RegLimits::FileSize);
    if (!text)
        return 0;
    QString error;
    const std::optional<registry::RegFile> back = registry::RegFile::parse(*text, &error);
    if (!back || !(*back == *hive) || back->serialize() != *text)
        std::abort();
    return 0;
}
