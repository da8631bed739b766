#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "DigitTables.h"
#include "DisplayElement.h"

namespace ostrel {

// Meaning of the frame characters. A frame is the upper-case hexadecimal text of the 22
// serial bytes; characters count from 1, characters 2j-1 and 2j are the high and low digit
// of byte j. Characters 41-44 read "0D0A" (the frame end); nothing beyond 44 is read.
//
//   chars 1-7    bar graph                      char 29      unit V, Ω, MΩ, GΩ
//   char  8      DC, AC, minus, small MΩ        chars 30-37  test-voltage digits (table A)
//   chars 9-18   timer and memory digits (B)    char 38      mike, -, PI, memory "1"
//   chars 19-20  timed/step/load/save symbols   char 39      IMoff, Bar0, BAR1, bar2
//   chars 21-28  main value digits (table B)    char 40      battery outline and bars
inline constexpr std::size_t frameDataChars = 40;
inline constexpr std::size_t frameEndPosition = 41;  // 1-based, four characters "0D0A"
inline constexpr std::size_t frameChars = 44;

// A frame's text end check: characters 41 to 44 are exactly "0D0A" (false when shorter).
constexpr bool hasFrameEnd(std::string_view text) {
  return text.size() >= frameChars && text.substr(frameEndPosition - 1, 4) == "0D0A";
}

// What a set single bit does to the reading texts, besides showing its elements.
enum class BitEffect : std::uint8_t {
  None,
  DcSymbol,  // DcFlag; VRangeText := "DCV  600V"; KD hidden
  AcSymbol,  // AcFlag; VRangeText := "ACV  600V"; KD hidden
  Minus,     // NegativeFlag
  UnitV,     // UnitText := "V"
  UnitOhm,   // UnitText := "Ω"
  UnitMOhm,  // UnitText := "MΩ"
  UnitGOhm,  // UnitText := "GΩ"
  Timed,     // IRangeText := "Timed"
  Pi,        // IRangeText := "PI"
};

struct ElementList {
  std::array<DisplayElement, 5> items{};
  std::size_t count = 0;
  constexpr const DisplayElement* begin() const { return items.data(); }
  constexpr const DisplayElement* end() const { return items.data() + count; }
};

struct SingleBit {
  std::uint8_t character;  // 1-based frame character
  std::uint8_t bit;        // 0 (value 1) .. 3 (value 8)
  ElementList shows;       // shown when the bit is set, in this order
  BitEffect effect;        // applied after the elements are shown
};

namespace segmap {
using E = DisplayElement;
constexpr ElementList one(E e) { return {{e}, 1}; }
}  // namespace segmap

// Every single bit, in the order the decoder applies them: characters 1 to 8, 9 (bit 3
// only), 39, 40, 29, 20, 19, 38, each from bit 0 to bit 3. Later writes to the same text
// win, so the order is part of the contract (AC over DC, GΩ over MΩ over Ω over V, PI over
// Timed). Character 38 bit 1 is not used.
inline constexpr std::array<SingleBit, 57> singleBits = [] {
  using segmap::E;
  using segmap::one;
  constexpr ElementList none{};
  return std::array<SingleBit, 57>{{
      {1, 0, one(E::bar6), BitEffect::None},
      {1, 1, one(E::bar5), BitEffect::None},
      {1, 2, one(E::bar4), BitEffect::None},
      {1, 3, one(E::bar3), BitEffect::None},
      {2, 0, one(E::bar7), BitEffect::None},
      {2, 1, one(E::bar8), BitEffect::None},
      {2, 2, one(E::bar9), BitEffect::None},
      {2, 3, one(E::bar10), BitEffect::None},
      {3, 0, one(E::bar14), BitEffect::None},
      {3, 1, one(E::bar13), BitEffect::None},
      {3, 2, one(E::bar12), BitEffect::None},
      {3, 3, one(E::bar11), BitEffect::None},
      {4, 0, one(E::bar15), BitEffect::None},
      {4, 1, one(E::bar16), BitEffect::None},
      {4, 2, one(E::bar17), BitEffect::None},
      {4, 3, one(E::bar18), BitEffect::None},
      {5, 0, one(E::bar22), BitEffect::None},
      {5, 1, one(E::bar21), BitEffect::None},
      {5, 2, one(E::bar20), BitEffect::None},
      {5, 3, one(E::bar19), BitEffect::None},
      {6, 0, one(E::bar23), BitEffect::None},
      {6, 1, one(E::bar24), BitEffect::None},
      {6, 2, one(E::bar25), BitEffect::None},
      {6, 3, one(E::bar26), BitEffect::None},
      {7, 0, one(E::bar30), BitEffect::None},
      {7, 1, one(E::bar29), BitEffect::None},
      {7, 2, one(E::bar28), BitEffect::None},
      {7, 3, one(E::bar27), BitEffect::None},
      {8, 0, {{E::labdc, E::Shape1, E::Shape2, E::Shape3, E::Shape4}, 5}, BitEffect::DcSymbol},
      {8, 1, {{E::labt, E::labac}, 2}, BitEffect::AcSymbol},
      {8, 2, one(E::LabelF), BitEffect::Minus},
      {8, 3, one(E::labmo), BitEffect::None},
      {9, 3, one(E::Labgo), BitEffect::None},
      {39, 0, one(E::IMoff), BitEffect::None},
      {39, 1, one(E::Bar0), BitEffect::None},
      {39, 2, one(E::BAR1), BitEffect::None},
      {39, 3, one(E::bar2), BitEffect::None},
      {40, 0, one(E::IGPower), BitEffect::None},
      {40, 1, one(E::powerv3), BitEffect::None},
      {40, 2, one(E::powerv2), BitEffect::None},
      {40, 3, one(E::powerV1), BitEffect::None},
      {29, 0, one(E::Labv), BitEffect::UnitV},
      {29, 1, one(E::Labo), BitEffect::UnitOhm},
      {29, 2, one(E::Labmo1), BitEffect::UnitMOhm},
      {29, 3, one(E::Labgo1), BitEffect::UnitGOhm},
      {20, 0, one(E::labLoad), BitEffect::None},
      {20, 1, one(E::labsave), BitEffect::None},
      {20, 2, one(E::labtime2), BitEffect::None},
      {20, 3, one(E::labTIME1), BitEffect::None},
      {19, 0, one(E::power), BitEffect::Timed},
      {19, 1, one(E::labs1), BitEffect::None},
      {19, 2, one(E::labs2), BitEffect::None},
      {19, 3, one(E::labs3), BitEffect::None},
      {38, 0, one(E::IMmike), BitEffect::None},
      {38, 1, none, BitEffect::None},
      {38, 2, one(E::labp1), BitEffect::Pi},
      {38, 3, one(E::stor1), BitEffect::None},
  }};
}();

enum class DigitTable : std::uint8_t { A, B };

// What a digit's point flag does besides showing its point elements.
enum class PointEffect : std::uint8_t {
  None,
  DecimalSeparator,  // main value: separator after this digit in CurrentValue
  TeraOhm,           // last main digit: the flag is the TΩ sign, UnitText := "TΩ"
  CompNg,            // IRangeText := "COMP:NG"
  CompGood,          // IRangeText := "COMP:GOOD"
};

struct DigitPosition {
  DisplayElement digit;
  std::uint8_t high;  // 1-based frame character of the code's first (high) character
  std::uint8_t low;   // ... and of its second (low) character
  DigitTable table;
  ElementList pointShows;
  PointEffect pointEffect;
  [[nodiscard]] constexpr bool isMain() const {
    return pointEffect == PointEffect::DecimalSeparator || pointEffect == PointEffect::TeraOhm;
  }
};

// The thirteen digits in the order they are gathered, decoded and applied. The main value
// reads left to right (LabelA first), so CurrentValue is built in reading order.
inline constexpr std::array<DigitPosition, 13> digitPositions = [] {
  using segmap::E;
  using segmap::one;
  using enum DigitTable;
  using enum PointEffect;
  return std::array<DigitPosition, 13>{{
      {E::LabelA, 22, 21, B, one(E::Point1), DecimalSeparator},
      {E::LabelB, 24, 23, B, one(E::Point2), DecimalSeparator},
      {E::LabelC, 26, 25, B, one(E::Point3), DecimalSeparator},
      {E::LabelD, 28, 27, B, one(E::Labto), TeraOhm},
      {E::Label3, 31, 30, A, one(E::danger), None},
      {E::Label7, 33, 32, A, one(E::Labng), CompNg},
      {E::Label10, 35, 34, A, one(E::Labgood), CompGood},
      {E::Label9, 37, 36, A, one(E::Label4), None},
      {E::H_Time1, 15, 16, B, one(E::Labclr), None},
      {E::H_Time2, 13, 14, B, {{E::Labtime, E::T_dPoint1}, 2}, None},
      {E::M_Time1, 11, 12, B, one(E::labCOMP), None},
      {E::M_Time2, 9, 10, B, one(E::Labgo), None},
      {E::stor2, 17, 18, B, one(E::LabFUL), None},
  }};
}();

constexpr const std::array<DigitCode, 24>& digitTable(DigitTable table) {
  return table == DigitTable::A ? digitTableA : digitTableB;
}

constexpr DigitPair decodeDigit(DigitTable table, std::string_view code) {
  return table == DigitTable::A ? DecodeDigitA(code) : DecodeDigitB(code);
}

}  // namespace ostrel
