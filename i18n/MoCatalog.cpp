#include "i18n/MoCatalog.h"

#include <bit>

namespace i18n {

namespace {

constexpr std::uint32_t littleEndianMagic = 0x950412DEu;
constexpr std::uint32_t bigEndianMagic = 0xDE120495u;

std::uint64_t bigEndian64(std::uint64_t value)
{
    if constexpr (std::endian::native == std::endian::little)
        value = __builtin_bswap64(value);
    return value;
}

// The first eight bytes as a big-endian number, zero past the end. Strings whose heads
// differ are ordered as their heads (a zero never exceeds a real byte), which decides
// most probes of a search in one comparison.
std::uint64_t headOf(std::string_view text)
{
    std::uint64_t value = 0;
    if (!text.empty())
        std::memcpy(&value, text.data(), text.size() < 8 ? text.size() : 8);
    return bigEndian64(value);
}

// The same for a string of a catalog that ends at end, in one eight-byte read wherever
// the catalog goes on that far.
inline std::uint64_t headWithin(std::string_view text, const char *end)
{
    if (end - text.data() < 8)
        return headOf(text);
    std::uint64_t value;
    std::memcpy(&value, text.data(), sizeof value);
    value = bigEndian64(value);
    return text.size() >= 8 ? value : value & ~(~std::uint64_t(0) >> (8 * text.size()));
}

// Bytes as unsigned, the shorter of two equal beginnings first, for strings whose heads
// are equal and so share their first bytes up to eight.
int compareAfterHeads(std::string_view a, std::string_view b)
{
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    if (common > 8) {
        const int order = std::memcmp(a.data() + 8, b.data() + 8, common - 8);
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

TMoCatalog::Search TMoCatalog::Find(std::string_view key, std::string_view &translation,
                                    std::uint32_t &entry) const
{
    if (m_count == 0)
        return Search::Missing;
    std::uint32_t p = std::bit_floor(m_count);
    std::uint32_t step = p / 2;
    const std::uint64_t keyHead = headOf(key);
    const char *const end = reinterpret_cast<const char *>(m_data) + m_size;
    for (;;) {
        std::string_view candidate;
        if (!StringAt(m_keyTable, p - 1, candidate))
            return Search::Damaged;
        const std::uint64_t head = headWithin(candidate, end);
        const int order =
            keyHead != head ? (keyHead < head ? -1 : 1) : compareAfterHeads(key, candidate);
        if (order == 0) {
            entry = p - 1;
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

} // namespace i18n
