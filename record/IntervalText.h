#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// The sampling interval read from the text of the interval edit.
struct IntervalReading {
  bool ok = false;
  std::int32_t seconds = 0;  // valid when ok
  bool negative = false;     // the text held a number below 0 (ok is false then)
  std::string error;         // message for the user when !ok
};

// "-", "+" and the empty text give 0; otherwise the text must be a decimal 32-bit signed
// integer (an optional sign, then digits only). A number beyond the 32-bit range is a
// conversion error; so is a negative number, since a countdown below 0 would never run
// out: both come back with ok false and a message (negative set for the latter).
IntervalReading readInterval(std::string_view text);

}  // namespace ostrel
