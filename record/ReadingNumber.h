#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

// How a reading's Value and Unit texts (GBK, as the table holds them) read as numbers: the one
// rule behind the chart, the workbook, the insulation tests and `ostrel-cli log --format jsonl`.
//
// A Value text is a number when, trimmed of blanks and control bytes at both ends (the text
// table's trimming rule), it is an optional "-" or "+", then digits with at most one decimal
// separator among or after them, and at least one and at most 15 digits (a double keeps no
// more). The separator is the one the locale gave the decoder (`separator`; possibly several
// bytes, or empty: no separator then), or, where the locale the texts were written in is not
// known (nullopt), "." or ",". Anything else is no number: "OL", "NULL", "-", "----", "1.2.3",
// an empty text.
//
// A Value text is over range when, trimmed, it is an optional sign, then digits, the letters
// "O" and "L" and separators, with at least one "L": the meter's "OL" ("0L" as the decoder
// writes it, "0.L", "-0L"). A text with any other byte ("NULL", "1L2x") is not.

// The most digits a number may have (a double keeps no more).
inline constexpr int valueMaxDigits = 15;

// A separator: the locale's, or nullopt for "." or ",".
using ValueSeparator = std::optional<std::string_view>;

// A Value text read as a number: its value, and how many digits stood after the separator
// (so 0.50 keeps its two decimals when shown).
struct ValueNumber {
  double value = 0;
  int decimals = 0;
};

std::optional<ValueNumber> valueNumber(std::string_view value, ValueSeparator separator);
bool valueOverRange(std::string_view value, ValueSeparator separator);

// What a unit text measures. A value without a unit is a ratio (a polarization index).
enum class ReadingQuantity : std::uint8_t { Ratio, Resistance, Voltage };

// What a unit text measures, and the power of ten that makes its numbers base units.
struct ReadingUnit {
  ReadingQuantity quantity = ReadingQuantity::Ratio;
  int exponent = 0;
};

// The units, trimmed like the value: "Ω" (GBK A6 B8; the UTF-8 omega and ohm sign are taken
// too), "kΩ" or "KΩ" 1e3, "MΩ" 1e6, "GΩ" 1e9, "TΩ" 1e12 for resistance; "V" and "kV" 1e3 for
// voltage; an empty unit for a ratio. nullopt for any other text.
std::optional<ReadingUnit> readingUnit(std::string_view unit);

// A reading read with its unit: the value in base units (ohms, volts). An over-range reading
// has its quantity but no value (base means nothing then).
struct ReadingValue {
  ReadingQuantity quantity = ReadingQuantity::Ratio;
  double base = 0;
  bool overRange = false;
};

// The value read with `separator` and scaled by readingUnit's power of ten as one decimal
// text (1.234 MΩ is the double nearest 1234000, not 1.234 times a million). nullopt when the
// unit is none of readingUnit's or the value is neither a number nor over range.
std::optional<ReadingValue> readingValue(std::string_view value, std::string_view unit,
                                         ValueSeparator separator);

// readingValue's number in base units; nothing for an over-range reading. The texts' locale
// is not known: "." or "," is the separator.
std::optional<double> readingNumber(std::string_view value, std::string_view unit);

}  // namespace ostrel
