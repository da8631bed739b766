#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/DisplayElement.h"

namespace ostrel::sim {

// Composes meter frames from display content, the way the meter's display would show it.
// All encodings come from the decoder's segment map and digit tables (inverse lookup).
// A fresh builder describes a display with every digit blank and nothing lit.
//
// Glyphs of a digit: '0'..'9', 'L', '-' (main, timer and memory digits only) and ' '
// (blank). Every setter throws std::invalid_argument for content the display cannot show.
class FrameBuilder {
 public:
  static constexpr std::size_t frameBytes = 22;
  using Frame = std::array<std::uint8_t, frameBytes>;

  // Main value, LabelA to LabelD: up to four glyphs, each optionally followed by '.'
  // (lights that digit's point: Point1..Point3, or Labto after LabelD). Fewer glyphs are
  // right-aligned behind blanks: "0L" is "  0L". Examples: "1.234", "----", " 0.05". A '-'
  // is the dash glyph, not the minus sign (see minus()). Points are only ever added.
  FrameBuilder& mainDigits(std::string_view text);
  FrameBuilder& minus(bool lit = true);
  // "V", "Ω", "MΩ", "GΩ" or "TΩ" (UTF-8). TΩ is LabelD's point flag.
  FrameBuilder& unit(std::string_view unit);
  // Test-voltage display Label3, Label7, Label10, Label9: up to four glyphs, right-aligned
  // (" 500", "1000", "2500"). No dash.
  FrameBuilder& testVoltage(std::string_view text);
  // Timer H_Time1 H_Time2 [':'] M_Time1 M_Time2, e.g. "01:30"; the colon lights Labtime and
  // T_dPoint1 (H_Time2's point flag).
  FrameBuilder& timer(std::string_view text);
  // Memory digit stor2.
  FrameBuilder& memory(char glyph);
  // Lights one symbol by its element name: a single-bit symbol ("labdc", "labac", "power",
  // "powerV1", "IMoff", ...) or a digit's point-flag element ("Labgood", "Labng", "danger",
  // "Label4", "Labclr", "LabFUL", "labCOMP", "Point2", ...).
  FrameBuilder& symbol(std::string_view elementName);
  // Bar graph: the first length bars from Bar0 on are lit; 0..31.
  FrameBuilder& barGraph(int length);
  // A raw segment code (16 x high + low character value) for a digit element, e.g. a code
  // the tables do not know.
  FrameBuilder& digitCode(DisplayElement digit, std::uint8_t code);

  // The 22 serial bytes, ending 0D 0A.
  [[nodiscard]] Frame bytes() const;
  // The frame as the assembler hands it over: 44 upper-case hexadecimal characters.
  [[nodiscard]] std::string text() const;

 private:
  void setBit(std::size_t character, int bit, bool on);
  void setGlyph(std::size_t position, char glyph);
  void setPointFlag(std::size_t position, bool on);
  void setGlyphs(std::size_t firstPosition, std::string_view glyphs, bool allowPoints);
  [[nodiscard]] std::uint8_t code(std::size_t position) const;
  void setCode(std::size_t position, std::uint8_t code);

  std::array<std::uint8_t, 40> m_nibbles{};  // frame characters 1..40 as values 0..15
};

}  // namespace ostrel::sim
