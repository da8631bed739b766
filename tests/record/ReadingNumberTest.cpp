#include "record/ReadingNumber.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "record/InsulationTests.h"
#include "record/WorkbookFile.h"

namespace {

using ostrel::ReadingQuantity;

struct NumberCase {
  const char* value;
  std::string unit;  // GBK, as the table holds it
  std::optional<double> number;
};

// Every unit the meter shows, the separators a locale gives, and the texts that are no number.
TEST(ReadingNumber, GivesBaseUnitsOrNothing) {
  const std::string ohm = "\xA6\xB8";
  const NumberCase cases[] = {
      {"0.52", ohm, 0.52},
      {"1.234", "k" + ohm, 1234.0},
      {"1.234", "M" + ohm, 1234000.0},
      {"19.99", "G" + ohm, 19990000000.0},
      {"1.50", "T" + ohm, 1.5e12},
      {"-0.56", "V", -0.56},
      {"512", "V", 512.0},
      {"1,234", "M" + ohm, 1234000.0},
      {"1.95", "", 1.95},  // a polarization index has no unit
      {"OL", "M" + ohm, std::nullopt},
      {"", "V", std::nullopt},
      {"----", ohm, std::nullopt},
      {"1.2.3", "V", std::nullopt},
      {"1.2", "x" + ohm, std::nullopt},
      {"1.2", "A", std::nullopt},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " " + c.unit);
    EXPECT_EQ(ostrel::readingNumber(c.value, c.unit), c.number);
  }
}

// The one rule for a Value text, at its edges. The workbook reads with the locale's separator
// (and keeps texts when the locale gave none), the insulation tests and the command line with
// either "." or ","; the chart like the workbook. Each case is checked through the rule and
// through the workbook's reading of it, so that the two cannot part again.
TEST(ReadingNumber, OneRuleForAValueText) {
  struct Case {
    const char* text;
    std::optional<std::string_view> separator;  // nullopt: "." or ","
    std::optional<double> number;
    int decimals;
    bool overRange;
  };
  const Case cases[] = {
      {"1.234", ".", 1.234, 3, false},
      {"-0.50", ".", -0.5, 2, false},
      {"+2", ".", 2, 0, false},
      {"1,5", ",", 1.5, 1, false},
      {"1\xA1\xA3"
       "5",
       "\xA1\xA3", 1.5, 1, false},  // a separator of two bytes
      {"12.", ".", 12, 0, false},
      {".5", ".", 0.5, 1, false},
      {" 1.5\t", ".", 1.5, 1, false},  // trimmed as text cells are (the chart took no blanks)
      {"1234", "", 1234, 0, false},    // no separator in the locale: digits only
      {"1.234", "", std::nullopt, 0, false},
      {"1.234", ",", std::nullopt, 0, false},  // the locale's separator only
      {"1.234", std::nullopt, 1.234, 3, false},
      {"1,234", std::nullopt, 1.234, 3, false},
      {"123456789012345", ".", 123456789012345.0, 0, false},
      {"1234567890.123456", ".", std::nullopt, 0, false},  // more digits than a double keeps
      {"1 5", ".", std::nullopt, 0, false},
      {"1.2.3", ".", std::nullopt, 0, false},
      {"--1", ".", std::nullopt, 0, false},
      {"-", ".", std::nullopt, 0, false},
      {"", ".", std::nullopt, 0, false},
      {"----", ".", std::nullopt, 0, false},
      {"OL", ".", std::nullopt, 0, true},
      {"0L", ".", std::nullopt, 0, true},
      {"-0.L", ".", std::nullopt, 0, true},
      {"0L.", std::nullopt, std::nullopt, 0, true},
      {"NULL", std::nullopt, std::nullopt, 0, false},  // an empty cell of a loaded text file
      {"1L2x", ".", std::nullopt, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\" with \"" +
                 std::string(c.separator.value_or("either")) + "\"");
    const auto number = ostrel::valueNumber(c.text, c.separator);
    ASSERT_EQ(number.has_value(), c.number.has_value());
    if (number) {
      EXPECT_EQ(number->value, *c.number);
      EXPECT_EQ(number->decimals, c.decimals);
    }
    EXPECT_EQ(ostrel::valueOverRange(c.text, c.separator), c.overRange);
    if (c.separator && !c.separator->empty()) {
      const auto cell = ostrel::workbookNumber(c.text, *c.separator);
      ASSERT_EQ(cell.has_value(), c.number.has_value());
      if (cell) {
        EXPECT_EQ(cell->value, *c.number);
      }
    }
  }
}

// With its unit: the scale is applied to the decimal text, so every reader gets the same
// double. The old copies parted here: the chart and the insulation tests multiplied (2.05 MΩ
// came out as 2049999.9999999998) and the insulation tests took any text with an "L" in it for
// over range, so an empty Value of a loaded text file ("NULL") counted as "OL".
TEST(ReadingNumber, ReadingsWithTheirUnits) {
  const std::string ohm = "\xA6\xB8";
  struct Case {
    const char* value;
    std::string unit;
    std::optional<ReadingQuantity> quantity;
    double base;
    bool overRange;
  };
  const Case cases[] = {
      {"2.05", "M" + ohm, ReadingQuantity::Resistance, 2050000.0, false},
      {"133.64", "T" + ohm, ReadingQuantity::Resistance, 133640000000000.0, false},
      {"0.85", "K" + ohm, ReadingQuantity::Resistance, 850.0, false},
      {" 2 ", " k" + ohm + " ", ReadingQuantity::Resistance, 2000.0, false},
      {"20.00", "G\xCE\xA9", ReadingQuantity::Resistance, 20e9, false},
      {"1.2", "kV", ReadingQuantity::Voltage, 1200.0, false},
      {"2.200", "", ReadingQuantity::Ratio, 2.2, false},
      {"0L", "G" + ohm, ReadingQuantity::Resistance, 0, true},
      {"NULL", "M" + ohm, std::nullopt, 0, false},
      {"1L2x", "M" + ohm, std::nullopt, 0, false},
      {"5", "A", std::nullopt, 0, false},
      {"5", "M", std::nullopt, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " " + c.unit);
    const auto reading = ostrel::readingValue(c.value, c.unit, std::nullopt);
    ASSERT_EQ(reading.has_value(), c.quantity.has_value());
    const auto resistance = ostrel::resistanceFromTexts(c.value, c.unit);
    EXPECT_EQ(resistance.has_value(), c.quantity == ReadingQuantity::Resistance);
    if (!reading) continue;
    EXPECT_EQ(reading->quantity, *c.quantity);
    EXPECT_EQ(reading->overRange, c.overRange);
    if (!c.overRange) {
      EXPECT_EQ(reading->base, c.base);
    }
    if (resistance) {
      EXPECT_EQ(resistance->overRange, c.overRange);
      if (!c.overRange) {
        EXPECT_EQ(resistance->ohm, c.base);
      }
    }
  }
}

}  // namespace
