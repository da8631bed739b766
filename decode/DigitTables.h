#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

// Value of one frame character: '0'..'9' give 0..9, 'A'..'F' give 10..15. A frame never
// holds any other character; should a damaged one arrive, the character reads as 0 (no
// segment lit), so the damage cannot reach beyond the symbols of that character.
constexpr int HexNibbleValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

constexpr bool isUpperHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Result of a digit lookup. shown: '0'..'9', '@' (the letter L), 'H' (blank), 'G'
// (unrecognised) or '-' (dash). point: 'N' (point flag clear), 'P' (set), or '-' in the
// dash pair "--".
struct DigitPair {
  char shown;
  char point;
  friend constexpr bool operator==(DigitPair, DigitPair) = default;
};

inline constexpr DigitPair unrecognisedDigit{'G', 'P'};

struct DigitCode {
  std::uint8_t code;
  DigitPair pair;
};

// A seven-segment digit and its point flag, one bit each in the code byte
// (code = 16 x value of the high character + value of the low character):
//
//        a
//      -----          Table B (main value, timer, memory):
//   f |     | b         bit  7  6  5  4  3  2  1  0
//     |  g  |           seg  P  c  b  a  d  e  g  f
//      -----
//   e |     | c       Table A (test voltage):
//     |     |           bit  7  6  5  4  3  2  1  0
//      -----   P        seg  a  b  g  c  P  f  e  d
//        d
//
// P is the digit's point flag; what it lights depends on the digit's position. Digit
// patterns: 0 = abcdef, 1 = bc, 2 = abdeg, 3 = abcdg, 4 = bcfg, 5 = acdfg, 6 = acdefg,
// 7 = abc, 8 = all seven, 9 = abcdfg, L = def, dash = g. Only the codes listed are
// recognised; every other code is unrecognised ("GP"), segment fragments included.
inline constexpr std::array<DigitCode, 24> digitTableB = {{
    {0x7D, {'0', 'N'}}, {0xFD, {'0', 'P'}}, {0x60, {'1', 'N'}}, {0xE0, {'1', 'P'}},
    {0x3E, {'2', 'N'}}, {0xBE, {'2', 'P'}}, {0x7A, {'3', 'N'}}, {0xFA, {'3', 'P'}},
    {0x63, {'4', 'N'}}, {0xE3, {'4', 'P'}}, {0x5B, {'5', 'N'}}, {0xDB, {'5', 'P'}},
    {0x5F, {'6', 'N'}}, {0xDF, {'6', 'P'}}, {0x70, {'7', 'N'}}, {0xF0, {'7', 'P'}},
    {0x7F, {'8', 'N'}}, {0xFF, {'8', 'P'}}, {0x7B, {'9', 'N'}}, {0xFB, {'9', 'P'}},
    {0x0D, {'@', 'N'}}, {0x8D, {'@', 'P'}}, {0x00, {'H', 'N'}}, {0x02, {'-', '-'}},
}};

// Table A knows no dash; its point flag alone (08) reads as a blank without point.
inline constexpr std::array<DigitCode, 24> digitTableA = {{
    {0xD7, {'0', 'N'}}, {0xDF, {'0', 'P'}}, {0x50, {'1', 'N'}}, {0x58, {'1', 'P'}},
    {0xE3, {'2', 'N'}}, {0xEB, {'2', 'P'}}, {0xF1, {'3', 'N'}}, {0xF9, {'3', 'P'}},
    {0x74, {'4', 'N'}}, {0x7C, {'4', 'P'}}, {0xB5, {'5', 'N'}}, {0xBD, {'5', 'P'}},
    {0xB7, {'6', 'N'}}, {0xBF, {'6', 'P'}}, {0xD0, {'7', 'N'}}, {0xD8, {'7', 'P'}},
    {0xF7, {'8', 'N'}}, {0xFF, {'8', 'P'}}, {0xF5, {'9', 'N'}}, {0xFD, {'9', 'P'}},
    {0x07, {'@', 'N'}}, {0x0F, {'@', 'P'}}, {0x00, {'H', 'N'}}, {0x08, {'H', 'N'}},
}};

namespace detail {

using DigitLookup = std::array<DigitPair, 256>;

constexpr DigitLookup makeDigitLookup(const std::array<DigitCode, 24>& table) {
  DigitLookup lookup{};
  lookup.fill(unrecognisedDigit);
  for (const DigitCode& entry : table) lookup[entry.code] = entry.pair;
  return lookup;
}

inline constexpr DigitLookup lookupA = makeDigitLookup(digitTableA);
inline constexpr DigitLookup lookupB = makeDigitLookup(digitTableB);

constexpr DigitPair decodeDigit(const DigitLookup& lookup, std::string_view code) {
  if (code.size() < 2 || !isUpperHexDigit(code[0]) || !isUpperHexDigit(code[1])) {
    return unrecognisedDigit;
  }
  const int value = 16 * HexNibbleValue(code[0]) + HexNibbleValue(code[1]);
  return lookup[static_cast<std::size_t>(value)];
}

}  // namespace detail

// Pure lookups. The first two characters of code are the segment code in upper-case
// hexadecimal; a shorter text or any other character gives the unrecognised pair.
constexpr DigitPair DecodeDigitA(std::string_view code) {
  return detail::decodeDigit(detail::lookupA, code);
}
constexpr DigitPair DecodeDigitB(std::string_view code) {
  return detail::decodeDigit(detail::lookupB, code);
}

// The code of the first entry whose pair is pair, if the table has one (inverse lookup,
// for composing frames).
constexpr std::optional<std::uint8_t> encodeDigit(const std::array<DigitCode, 24>& table,
                                                  DigitPair pair) {
  for (const DigitCode& entry : table) {
    if (entry.pair == pair) return entry.code;
  }
  return std::nullopt;
}

}  // namespace ostrel
