#pragma once

// The marker by which the append tool finds where to write the store's directory position
// into an executable: its text, then the position as 8 little-endian bytes. The program's
// reader, the append tool, the tests and the fuzz targets all take it from here; scripts
// read the text out of this file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace i18n {

namespace store_marker {

inline constexpr std::string_view Text = "3C142149-3BC7-47C3-9FA4-2E52359BFE6E";
inline constexpr std::size_t PositionSize = 8;
inline constexpr std::size_t Size = Text.size() + PositionSize;

// The marker with a zero position, as the reader carries it before the tool has run.
constexpr std::array<unsigned char, Size> withZeroPosition()
{
    std::array<unsigned char, Size> bytes{};
    for (std::size_t i = 0; i < Text.size(); ++i)
        bytes[i] = static_cast<unsigned char>(Text[i]);
    return bytes;
}

// The 8 bytes at bytes as a little-endian number.
template <typename Byte>
constexpr std::uint64_t readLittleEndian64(const Byte *bytes)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

inline void writeLittleEndian64(char *bytes, std::uint64_t value)
{
    for (std::size_t i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

namespace detail {
inline constexpr unsigned char Veil = 0x5A;
constexpr std::array<unsigned char, Text.size()> veiled()
{
    std::array<unsigned char, Text.size()> bytes{};
    for (std::size_t i = 0; i < Text.size(); ++i)
        bytes[i] = static_cast<unsigned char>(Text[i]) ^ Veil;
    return bytes;
}
inline constexpr auto Veiled = veiled();
} // namespace detail

// The text, put together at run time: a program that searches files for the marker keeps
// it out of its own image, where the append tool must find it exactly once.
inline std::string text()
{
    std::string result(Text.size(), '\0');
    for (std::size_t i = 0; i < Text.size(); ++i)
        result[i] = static_cast<char>(detail::Veiled[i] ^ detail::Veil);
    return result;
}

// The directory position written behind the first marker in image; nothing if image holds
// no whole marker.
inline bool positionIn(std::string_view image, std::uint64_t &position)
{
    const std::size_t at = image.find(text());
    if (at == std::string_view::npos || image.size() - at < Size)
        return false;
    position = readLittleEndian64(image.data() + at + Text.size());
    return true;
}

} // namespace store_marker

} // namespace i18n
