#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace i18n {

// A GNU gettext MO catalog lying in memory, searched in place. Every 32-bit value and
// every string is read through one accessor that checks it against the catalog's size,
// so damaged bytes can never make a search read outside them.
class TMoCatalog
{
public:
    enum class Search { Found, Missing, Damaged };

    TMoCatalog() = default;

    // Takes the bytes when the magic and the two tables fit; otherwise leaves the
    // catalog empty and returns false. The bytes must outlive the catalog.
    bool Attach(const unsigned char *data, std::uint64_t size);
    void Clear() { *this = TMoCatalog(); }

    std::uint32_t Count() const { return m_count; }
    bool ByteSwapped() const { return m_swapped; }

    // Binary search over entries 1..N as the catalog's sort order by bytes allows.
    // Damaged: a string descriptor points outside the catalog. entry is set when found.
    Search Find(std::string_view key, std::string_view &translation, std::uint32_t &entry) const;
    Search Find(std::string_view key, std::string_view &translation) const
    {
        std::uint32_t entry;
        return Find(key, translation, entry);
    }

    // Entry i counted from 0; false when the entry is out of range or damaged.
    bool KeyAt(std::uint32_t index, std::string_view &key) const;
    bool TranslationAt(std::uint32_t index, std::string_view &translation) const;

private:
    // Every value of the catalog is read through these two, which check it against the
    // catalog's size first.
    bool Read32(std::uint64_t offset, std::uint32_t &value) const
    {
        if (offset > m_size || m_size - offset < 4)
            return false;
        value = Load32(m_data + offset);
        return true;
    }

    // Descriptor (length, offset) number index of a table and the string it describes.
    // Attach has checked that both tables lie inside the catalog, so only the string's
    // own position and length are checked here.
    bool StringAt(std::uint32_t table, std::uint32_t index, std::string_view &text) const
    {
        const unsigned char *descriptor = m_data + table + std::uint64_t(index) * 8;
        const std::uint32_t length = Load32(descriptor);
        const std::uint32_t offset = Load32(descriptor + 4);
        if (offset > m_size || length > m_size - offset)
            return false;
        text = std::string_view(reinterpret_cast<const char *>(m_data) + offset, length);
        return true;
    }

    std::uint32_t Load32(const unsigned char *at) const
    {
        std::uint32_t raw;
        std::memcpy(&raw, at, sizeof raw);
        return m_swapped == nativeBigEndian ? raw : __builtin_bswap32(raw);
    }

    static constexpr bool nativeBigEndian = std::endian::native == std::endian::big;

    const unsigned char *m_data = nullptr;
    std::uint64_t m_size = 0;
    bool m_swapped = false;
    std::uint32_t m_count = 0;
    std::uint32_t m_keyTable = 0;
    std::uint32_t m_translationTable = 0;
};

} // namespace i18n
