#include "MoCatalog.h"

#include <cstring>

namespace {

constexpr std::uint32_t littleEndianMagic = 0x950412DEu;
constexpr std::uint32_t bigEndianMagic = 0xDE120495u;

std::uint32_t byteSwap(std::uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

} // namespace

bool TMoCatalog::Read32(std::uint64_t offset, std::uint32_t &value) const
{
    if (offset > m_size || m_size - offset < 4)
        return false;
    const unsigned char *p = m_data + offset;
    value = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
            std::uint32_t(p[3]) << 24;
    if (m_swapped)
        value = byteSwap(value);
    return true;
}

bool TMoCatalog::StringAt(std::uint64_t descriptor, std::string_view &text) const
{
    std::uint32_t length = 0;
    std::uint32_t offset = 0;
    if (!Read32(descriptor, length) || !Read32(descriptor + 4, offset))
        return false;
    if (offset > m_size || length > m_size - offset)
        return false;
    text = std::string_view(reinterpret_cast<const char *>(m_data) + offset, length);
    return true;
}

bool TMoCatalog::Attach(const unsigned char *data, std::uint64_t size)
{
    Clear();
    m_data = data;
    m_size = size;
    std::uint32_t magic = 0;
    bool fits = Read32(0, magic);
    if (fits && magic == bigEndianMagic)
        m_swapped = true;
    else if (!fits || magic != littleEndianMagic)
        fits = false;
    std::uint32_t count = 0;
    fits = fits && Read32(8, count) && Read32(12, m_keyTable) && Read32(16, m_translationTable);
    // Both tables must lie wholly inside the catalog; the strings are checked when read.
    const std::uint64_t tableSize = std::uint64_t(count) * 8;
    fits = fits && m_keyTable <= m_size && tableSize <= m_size - m_keyTable &&
           m_translationTable <= m_size && tableSize <= m_size - m_translationTable;
    if (!fits) {
        Clear();
        return false;
    }
    m_count = count;
    return true;
}

TMoCatalog::Search TMoCatalog::Find(std::string_view key, std::string_view &translation) const
{
    if (m_count == 0)
        return Search::Missing;
    std::uint32_t p = 1;
    while (p <= m_count / 2)
        p *= 2;
    std::uint32_t step = p / 2;
    for (;;) {
        std::string_view candidate;
        if (!StringAt(m_keyTable + std::uint64_t(p - 1) * 8, candidate))
            return Search::Damaged;
        const int order = key.compare(candidate);
        if (order == 0) {
            return StringAt(m_translationTable + std::uint64_t(p - 1) * 8, translation)
                       ? Search::Found
                       : Search::Damaged;
        }
        if (step == 0)
            return Search::Missing;
        if (order < 0)
            p = p > step ? p - step : 1;
        else
            p = m_count - p > step ? p + step : m_count;
        step /= 2;
    }
}

bool TMoCatalog::KeyAt(std::uint32_t index, std::string_view &key) const
{
    return index < m_count && StringAt(m_keyTable + std::uint64_t(index) * 8, key);
}

bool TMoCatalog::TranslationAt(std::uint32_t index, std::string_view &translation) const
{
    return index < m_count && StringAt(m_translationTable + std::uint64_t(index) * 8, translation);
}
