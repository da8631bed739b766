#include "record/ReadingNumber.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

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

}  // namespace
