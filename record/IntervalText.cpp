#include "IntervalText.h"

#include <charconv>

namespace ostrel {

namespace {

std::string quoted(std::string_view text, std::string_view after) {
  std::string message;
  message.reserve(text.size() + after.size() + 2);
  message.push_back('\'');
  message.append(text);
  message.push_back('\'');
  message.append(after);
  return message;
}

IntervalReading notAnInteger(std::string_view text) {
  IntervalReading reading;
  reading.error = quoted(text, " is not a valid integer value");
  return reading;
}

}  // namespace

IntervalReading readInterval(std::string_view text) {
  if (text.empty() || text == "-" || text == "+") return {true, 0, false, {}};
  std::string_view digits = text;
  const bool minus = digits.front() == '-';
  if (minus || digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return notAnInteger(text);
  }
  // Parsed with its sign so that -2147483648 is in range like any 32-bit integer.
  std::string signedText(minus ? "-" : "");
  signedText.append(digits);
  std::int32_t value = 0;
  const auto [end, status] =
      std::from_chars(signedText.data(), signedText.data() + signedText.size(), value);
  if (status != std::errc{} || end != signedText.data() + signedText.size()) {
    return notAnInteger(text);
  }
  if (value < 0) {
    IntervalReading reading;
    reading.negative = true;
    reading.error = quoted(text, " is not a valid interval: enter whole seconds, 0 or more");
    return reading;
  }
  return {true, value, false, {}};
}

}  // namespace ostrel
