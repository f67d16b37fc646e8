#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace widgets {

// Character tables of the liquid-crystal display: which bar segments light for a
// character, and the 5x7 dot font. Plain data, looked up per cell on every rebuild.
namespace lcd {

// Segment numbers (both segment kinds): 1 lower-left, 2 upper-left, 3 top,
// 4 upper-right, 5 lower-right, 6 bottom, 7 middle; then 8 decimal point (7-segment)
// or 8 upper colon dot, 9 lower colon dot, 10 decimal point (9-segment).
struct SegmentGlyph
{
    char character;
    std::string_view seg7; // segments 1-7
    std::string_view seg9; // segments 1-9
};

inline constexpr std::array<SegmentGlyph, 37> kSegmentGlyphs{{
    {'-', "0000001", "000000100"},
    {'0', "1111110", "111111000"},
    {'1', "0001100", "000110000"},
    {'2', "1011011", "101101100"},
    {'3', "0011111", "001111100"},
    {'4', "0101101", "010110100"},
    {'5', "0110111", "011011100"},
    {'6', "1110111", "111011100"},
    {'7', "0011100", "001110000"},
    {'8', "1111111", "111111100"},
    {'9', "0111111", "011111100"},
    {':', "0000000", "000000011"}, // no colon on the 7-segment display: a blank cell
    {'A', "1111101", "111110100"},
    {'C', "1110010", "111001000"},
    {'E', "1110011", "111001100"},
    {'F', "1110001", "111000100"},
    {'G', "1110110", "111011000"},
    {'H', "1101101", "110110100"},
    {'J', "1001110", "100111000"},
    {'L', "1100010", "110001000"},
    {'O', "1111110", "111111000"},
    {'P', "1111001", "111100100"},
    {'U', "1101110", "110111000"},
    {'Y', "0101111", "010111100"},
    {'_', "0000010", "000001000"},
    {'b', "1100111", "110011100"},
    {'c', "1000011", "100001100"},
    {'d', "1001111", "100111100"},
    {'h', "1100101", "110010100"},
    {'i', "1000000", "100000000"},
    {'j', "0000110", "000011000"},
    {'l', "1100000", "110000000"},
    {'n', "1000101", "100010100"},
    {'o', "1000111", "100011100"},
    {'r', "1000001", "100000100"},
    {'t', "1100011", "110001100"},
    {'u', "1000110", "100011000"},
}};

// 5x7 font: seven rows top to bottom, five dots each, left to right.
struct MatrixGlyph
{
    char character;
    std::string_view rows;
};

inline constexpr std::array<MatrixGlyph, 93> kMatrixGlyphs{{
    {'!', "00110 00110 00110 00110 00000 00110 00110"},
    {'"', "01010 10100 00000 00000 00000 00000 00000"},
    {'#', "00000 01010 11111 01010 11111 01010 00000"},
    {'$', "01110 10101 10100 01110 00101 10101 01110"},
    {'%', "11000 11001 00010 00100 01000 10011 00011"},
    {'&', "00110 01001 10010 01100 01101 10010 01101"},
    {'\'', "01100 11000 00000 00000 00000 00000 00000"},
    {'(', "00100 01000 01000 01000 01000 01000 00100"},
    {')', "00100 00010 00010 00010 00010 00010 00100"},
    {'*', "00000 10101 01110 11111 01110 10101 00000"},
    {'+', "00000 00000 00100 01110 00100 00000 00000"},
    {',', "00000 00000 00000 00000 00110 00110 00010"},
    {'-', "00000 00000 00000 01110 00000 00000 00000"},
    {'.', "00000 00000 00000 00000 00000 00110 00110"},
    {'/', "00000 00001 00010 00100 01000 10000 00000"},
    {'0', "01110 10001 10001 10001 10001 10001 01110"},
    {'1', "00010 00110 00010 00010 00010 00010 00111"},
    {'2', "01110 10001 00001 00010 00100 01000 11111"},
    {'3', "01110 10001 00001 00110 00001 10001 01110"},
    {'4', "10001 10001 10001 01111 00001 00001 00001"},
    {'5', "11111 10000 10000 11110 00001 10001 01110"},
    {'6', "01110 10001 10000 11110 10001 10001 01110"},
    {'7', "11111 00001 00001 00010 00010 00010 00010"},
    {'8', "01110 10001 10001 01110 10001 10001 01110"},
    {'9', "01110 10001 10001 01111 00001 10001 01110"},
    {':', "00000 00110 00110 00000 00110 00110 00000"},
    {';', "00000 00110 00110 00000 00110 00110 00010"},
    {'<', "00010 00100 01000 10000 01000 00100 00010"},
    {'=', "00000 00000 01110 00000 01110 00000 00000"},
    {'>', "01000 00100 00010 00001 00010 00100 01000"},
    {'?', "01110 10001 00001 00010 00000 00110 00110"},
    {'@', "01110 10011 10101 10111 10000 10001 01110"},
    {'A', "01110 10001 10001 11111 10001 10001 10001"},
    {'B', "11110 10001 10001 11110 10001 10001 11110"},
    {'C', "01110 10001 10000 10000 10000 10001 01110"},
    {'D', "11110 10001 10001 10001 10001 10001 11110"},
    {'E', "11111 10000 10000 11110 10000 10000 11111"},
    {'F', "11111 10000 10000 11110 10000 10000 10000"},
    {'G', "01110 10001 10000 10000 10011 10001 01110"},
    {'H', "10001 10001 10001 11111 10001 10001 10001"},
    {'I', "01110 00100 00100 00100 00100 00100 01110"},
    {'J', "00011 00001 00001 00001 00001 10001 01110"},
    {'K', "10001 10010 10100 11000 10100 10010 10001"},
    {'L', "10000 10000 10000 10000 10000 10000 11111"},
    {'M', "10001 11011 10101 10101 10001 10001 10001"},
    {'N', "10001 11001 11001 10101 10111 10011 10001"},
    {'O', "01110 10001 10001 10001 10001 10001 01110"},
    {'P', "01110 10001 10001 11110 10000 10000 10000"},
    {'Q', "01110 10001 10001 10001 10101 10011 01111"},
    {'R', "11110 10001 10001 11110 10100 10010 10001"},
    {'S', "01110 10001 10000 01110 00001 10001 01110"},
    {'T', "11111 00100 00100 00100 00100 00100 00100"},
    {'U', "10001 10001 10001 10001 10001 10001 01110"},
    {'V', "10001 10001 10001 10001 10001 01010 00100"},
    {'W', "10001 10001 10001 10001 10101 10101 01010"},
    {'X', "10001 01010 01110 00100 01110 01010 10001"},
    {'Y', "10001 01010 00100 00100 00100 00100 01110"},
    {'Z', "11111 00001 00010 00100 01000 10000 11111"},
    {'[', "11100 10000 10000 10000 10000 10000 11100"},
    {'\\', "00000 10000 01000 00100 00010 00001 00000"},
    {']', "00111 00001 00001 00001 00001 00001 00111"},
    {'^', "00100 01010 00000 00000 00000 00000 00000"},
    {'_', "00000 00000 00000 00000 00000 00000 11111"},
    {'a', "00000 00000 01110 00001 01111 10001 01111"},
    {'b', "10000 10000 11110 10001 10001 10001 11110"},
    {'c', "00000 00000 01110 10001 10000 10001 01110"},
    {'d', "00001 00001 01111 10001 10001 10001 01111"},
    {'e', "00000 00000 01110 10001 11110 10000 01111"},
    {'f', "00000 00000 01110 10000 11100 10000 10000"},
    {'g', "00000 00000 01110 10001 01111 00001 00110"},
    {'h', "10000 10000 10000 11110 10001 10001 10001"},
    {'i', "00000 00100 00000 00100 00100 00100 01110"},
    {'j', "00000 00010 00000 00010 00010 00010 01100"},
    {'k', "10000 10000 10010 10100 11000 10100 10010"},
    {'l', "00000 00100 01100 00100 00100 00100 01110"},
    {'m', "00000 00000 01010 10101 10101 10101 10101"},
    {'n', "00000 00000 11110 10001 10001 10001 10001"},
    {'o', "00000 00000 01110 10001 10001 10001 01110"},
    {'p', "00000 00000 11110 10001 11110 10000 10000"},
    {'q', "00000 00000 01111 10001 01111 00001 00001"},
    {'r', "00000 00000 01110 10001 10000 10000 10000"},
    {'s', "00000 00000 01111 10000 01110 00001 11110"},
    {'t', "10000 10000 11100 10000 10000 10001 01110"},
    {'u', "00000 00000 10001 10001 10001 10011 01101"},
    {'v', "00000 00000 10001 10001 10001 01010 00100"},
    {'w', "00000 00000 10001 10101 10101 10101 01010"},
    {'x', "00000 00000 10001 01010 00100 01010 10001"},
    {'y', "00000 00000 10001 10001 01111 00001 00110"},
    {'z', "00000 00000 11111 00010 00100 01000 11111"},
    {'{', "00110 01000 01000 10000 01000 01000 00110"},
    {'|', "00100 00100 00100 00100 00100 00100 00100"},
    {'}', "01100 00010 00010 00001 00010 00010 01100"},
    {'~', "01010 10100 00000 00000 00000 00000 00000"},
}};

namespace detail {

constexpr bool isPattern(std::string_view bits, std::size_t length)
{
    if (bits.size() != length)
        return false;
    for (char c : bits)
        if (c != '0' && c != '1')
            return false;
    return true;
}

constexpr bool isFontRows(std::string_view rows)
{
    if (rows.size() != 7 * 6 - 1)
        return false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool separator = i % 6 == 5;
        if (separator ? rows[i] != ' ' : rows[i] != '0' && rows[i] != '1')
            return false;
    }
    return true;
}

// Bit i-1 set when segment i lights.
constexpr std::uint16_t patternBits(std::string_view bits)
{
    std::uint16_t mask = 0;
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1')
            mask |= std::uint16_t(1u << i);
    return mask;
}

// Bit (row-1)*5 + (column-1) set when the dot lights.
constexpr std::uint64_t fontBits(std::string_view rows)
{
    std::uint64_t mask = 0;
    int dot = 0;
    for (char c : rows) {
        if (c == ' ')
            continue;
        if (c == '1')
            mask |= std::uint64_t(1) << dot;
        ++dot;
    }
    return mask;
}

struct SegmentLookup
{
    std::array<std::uint16_t, 256> seg7{};
    std::array<std::uint16_t, 256> seg9{};
};

constexpr SegmentLookup makeSegmentLookup()
{
    SegmentLookup lookup;
    for (const SegmentGlyph &g : kSegmentGlyphs) {
        lookup.seg7[static_cast<unsigned char>(g.character)] = patternBits(g.seg7);
        lookup.seg9[static_cast<unsigned char>(g.character)] = patternBits(g.seg9);
    }
    return lookup;
}

constexpr std::array<std::uint64_t, 256> makeFontLookup()
{
    std::array<std::uint64_t, 256> lookup{};
    for (const MatrixGlyph &g : kMatrixGlyphs)
        lookup[static_cast<unsigned char>(g.character)] = fontBits(g.rows);
    return lookup;
}

constexpr bool tablesWellFormed()
{
    for (const SegmentGlyph &g : kSegmentGlyphs)
        if (!isPattern(g.seg7, 7) || !isPattern(g.seg9, 9))
            return false;
    for (std::size_t i = 0; i < kMatrixGlyphs.size(); ++i) {
        if (!isFontRows(kMatrixGlyphs[i].rows))
            return false;
        // Codes 0x21 to 0x7E without the grave accent, in order.
        const int expected = 0x21 + int(i) + (i >= 0x60 - 0x21 ? 1 : 0);
        if (static_cast<unsigned char>(kMatrixGlyphs[i].character) != expected)
            return false;
    }
    return true;
}

static_assert(tablesWellFormed(), "malformed glyph table");

inline constexpr SegmentLookup kSegmentLookup = makeSegmentLookup();
inline constexpr std::array<std::uint64_t, 256> kFontLookup = makeFontLookup();

} // namespace detail

// Lit segments 1-7 of a 7-segment character; 0 for a character without a glyph.
constexpr std::uint16_t Segment7Bits(unsigned char character)
{
    return detail::kSegmentLookup.seg7[character];
}

// Lit segments 1-9 of a 9-segment character; 0 for a character without a glyph.
constexpr std::uint16_t Segment9Bits(unsigned char character)
{
    return detail::kSegmentLookup.seg9[character];
}

// Lit dots of a 5x7 character; 0 for a character without a glyph.
constexpr std::uint64_t MatrixBits(unsigned char character)
{
    return detail::kFontLookup[character];
}

} // namespace lcd

} // namespace widgets
