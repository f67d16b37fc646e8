#include "MoCatalog.h"

#include <bit>

namespace {

constexpr std::uint32_t littleEndianMagic = 0x950412DEu;
constexpr std::uint32_t bigEndianMagic = 0xDE120495u;

std::uint64_t bigEndian64(const char *at)
{
    std::uint64_t value;
    std::memcpy(&value, at, sizeof value);
    if constexpr (std::endian::native == std::endian::little)
        value = __builtin_bswap64(value);
    return value;
}

// Bytes as unsigned, the shorter of two equal beginnings first. Most probes of a search
// are decided by the first eight bytes, compared here as one number before memcmp.
int compareKeys(std::string_view a, std::string_view b)
{
    std::size_t done = 0;
    if (a.size() >= 8 && b.size() >= 8) {
        const std::uint64_t x = bigEndian64(a.data());
        const std::uint64_t y = bigEndian64(b.data());
        if (x != y)
            return x < y ? -1 : 1;
        done = 8;
    } else if (!a.empty() && !b.empty() && a.front() != b.front()) {
        return static_cast<unsigned char>(a.front()) < static_cast<unsigned char>(b.front()) ? -1
                                                                                             : 1;
    }
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    if (common > done) {
        const int order = std::memcmp(a.data() + done, b.data() + done, common - done);
        if (order != 0)
            return order;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace

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
    std::uint32_t p = std::bit_floor(m_count);
    std::uint32_t step = p / 2;
    for (;;) {
        std::string_view candidate;
        if (!StringAt(m_keyTable, p - 1, candidate))
            return Search::Damaged;
        const int order = compareKeys(key, candidate);
        if (order == 0) {
            return StringAt(m_translationTable, p - 1, translation) ? Search::Found
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
    return index < m_count && StringAt(m_keyTable, index, key);
}

bool TMoCatalog::TranslationAt(std::uint32_t index, std::string_view &translation) const
{
    return index < m_count && StringAt(m_translationTable, index, translation);
}
