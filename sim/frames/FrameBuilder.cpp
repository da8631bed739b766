#include "FrameBuilder.h"

#include <stdexcept>
#include <vector>

#include "decode/SegmentMap.h"

namespace ostrel::sim {

namespace {

constexpr std::size_t firstMain = 0;
constexpr std::size_t firstTestVoltage = 4;
constexpr std::size_t firstTimer = 8;
constexpr std::size_t colonPosition = 9;  // H_Time2, whose point flag lights the colon
constexpr std::size_t memoryPosition = 12;
constexpr std::size_t digitsPerDisplay = 4;
constexpr std::string_view hexDigits = "0123456789ABCDEF";

struct Glyph {
  char glyph;
  bool point;
};

[[noreturn]] void reject(std::string_view what, std::string_view value) {
  throw std::invalid_argument(std::string(what) + ": '" + std::string(value) + "'");
}

// The decoded pair a glyph shows without point.
DigitPair plainPair(char glyph) {
  if (glyph == 'L') return {'@', 'N'};
  if (glyph == ' ') return {'H', 'N'};
  if (glyph == '-') return {'-', '-'};
  return {glyph, 'N'};
}

std::uint8_t pointMask(DigitTable table) {
  const auto& codes = digitTable(table);
  return static_cast<std::uint8_t>(*encodeDigit(codes, {'0', 'P'}) ^
                                   *encodeDigit(codes, {'0', 'N'}));
}

// Glyphs of a display, right-aligned to four; '.' marks the glyph before it.
std::vector<Glyph> parseGlyphs(std::string_view text, bool allowPoints, char ignored) {
  std::vector<Glyph> glyphs;
  for (char c : text) {
    if (c == ignored) continue;
    if (c == '.' && allowPoints && !glyphs.empty() && !glyphs.back().point) {
      glyphs.back().point = true;
    } else if (c == '.') {
      reject("misplaced point", text);
    } else {
      glyphs.push_back({c, false});
    }
  }
  if (glyphs.size() > digitsPerDisplay) reject("more than four digits", text);
  glyphs.insert(glyphs.begin(), digitsPerDisplay - glyphs.size(), Glyph{' ', false});
  return glyphs;
}

}  // namespace

FrameBuilder& FrameBuilder::mainDigits(std::string_view text) {
  const auto glyphs = parseGlyphs(text, true, '\0');
  for (std::size_t i = 0; i < digitsPerDisplay; ++i) {
    setGlyph(firstMain + i, glyphs[i].glyph);
    if (glyphs[i].point) setPointFlag(firstMain + i, true);
  }
  return *this;
}

FrameBuilder& FrameBuilder::minus(bool lit) {
  for (const SingleBit& single : singleBits) {
    if (single.effect == BitEffect::Minus) setBit(single.character, single.bit, lit);
  }
  return *this;
}

FrameBuilder& FrameBuilder::unit(std::string_view unit) {
  if (unit == "V") return symbol("Labv");
  if (unit == "Ω") return symbol("Labo");
  if (unit == "MΩ") return symbol("Labmo1");
  if (unit == "GΩ") return symbol("Labgo1");
  if (unit == "TΩ") return symbol("Labto");
  reject("unknown unit", unit);
}

FrameBuilder& FrameBuilder::testVoltage(std::string_view text) {
  const auto glyphs = parseGlyphs(text, false, '\0');
  for (std::size_t i = 0; i < digitsPerDisplay; ++i)
    setGlyph(firstTestVoltage + i, glyphs[i].glyph);
  return *this;
}

FrameBuilder& FrameBuilder::timer(std::string_view text) {
  const auto glyphs = parseGlyphs(text, false, ':');
  for (std::size_t i = 0; i < digitsPerDisplay; ++i) setGlyph(firstTimer + i, glyphs[i].glyph);
  if (text.find(':') != std::string_view::npos) setPointFlag(colonPosition, true);
  return *this;
}

FrameBuilder& FrameBuilder::memory(char glyph) {
  setGlyph(memoryPosition, glyph);
  return *this;
}

FrameBuilder& FrameBuilder::symbol(std::string_view elementName) {
  const auto element = displayElementByName(elementName);
  if (!element) reject("unknown element", elementName);
  for (const SingleBit& single : singleBits) {
    for (DisplayElement shown : single.shows) {
      if (shown == *element) {
        setBit(single.character, single.bit, true);
        return *this;
      }
    }
  }
  for (std::size_t p = 0; p < digitPositions.size(); ++p) {
    for (DisplayElement shown : digitPositions[p].pointShows) {
      if (shown == *element) {
        setPointFlag(p, true);
        return *this;
      }
    }
  }
  reject("no frame bit lights", elementName);
}

FrameBuilder& FrameBuilder::barGraph(int length) {
  if (length < 0 || length > 31) reject("bar graph length", std::to_string(length));
  for (int bar = 0; bar < length; ++bar) symbol(displayElementName(barElement(bar)));
  return *this;
}

FrameBuilder& FrameBuilder::digitCode(DisplayElement digit, std::uint8_t code) {
  for (std::size_t p = 0; p < digitPositions.size(); ++p) {
    if (digitPositions[p].digit == digit) {
      setCode(p, code);
      return *this;
    }
  }
  reject("not a digit element", displayElementName(digit));
}

FrameBuilder::Frame FrameBuilder::bytes() const {
  Frame frame{};
  for (std::size_t j = 0; j < m_nibbles.size() / 2; ++j) {
    frame[j] = static_cast<std::uint8_t>(16 * m_nibbles[2 * j] + m_nibbles[2 * j + 1]);
  }
  frame[frameBytes - 2] = 0x0D;
  frame[frameBytes - 1] = 0x0A;
  return frame;
}

std::string FrameBuilder::text() const {
  std::string text;
  for (std::uint8_t byte : bytes()) {
    text += hexDigits[byte >> 4];
    text += hexDigits[byte & 0x0F];
  }
  return text;
}

void FrameBuilder::setBit(std::size_t character, int bit, bool on) {
  auto& nibble = m_nibbles[character - 1];
  const auto mask = static_cast<std::uint8_t>(1U << bit);
  nibble = static_cast<std::uint8_t>(on ? (nibble | mask) : (nibble & ~mask));
}

void FrameBuilder::setGlyph(std::size_t position, char glyph) {
  const DigitTable table = digitPositions[position].table;
  const auto plain = encodeDigit(digitTable(table), plainPair(glyph));
  if (!plain) reject("glyph the digit cannot show", std::string(1, glyph));
  const auto keptPoint = static_cast<std::uint8_t>(code(position) & pointMask(table));
  setCode(position, static_cast<std::uint8_t>(*plain | keptPoint));
}

void FrameBuilder::setPointFlag(std::size_t position, bool on) {
  const std::uint8_t mask = pointMask(digitPositions[position].table);
  const std::uint8_t current = code(position);
  setCode(position, static_cast<std::uint8_t>(on ? (current | mask) : (current & ~mask)));
}

std::uint8_t FrameBuilder::code(std::size_t position) const {
  const DigitPosition& p = digitPositions[position];
  return static_cast<std::uint8_t>(16 * m_nibbles[p.high - 1] + m_nibbles[p.low - 1]);
}

void FrameBuilder::setCode(std::size_t position, std::uint8_t code) {
  const DigitPosition& p = digitPositions[position];
  m_nibbles[p.high - 1] = static_cast<std::uint8_t>(code >> 4);
  m_nibbles[p.low - 1] = static_cast<std::uint8_t>(code & 0x0F);
}

}  // namespace ostrel::sim
