#include "TimeText.h"

#include <langinfo.h>
#include <locale.h>

#include <array>
#include <ctime>
#include <utility>

namespace ostrel {

namespace {

locale_t openTimeLocale(const char* localeName) {
  locale_t locale = newlocale(LC_TIME_MASK, localeName, locale_t{});
  if (locale == locale_t{}) locale = newlocale(LC_TIME_MASK, "C", locale_t{});
  return locale;
}

void appendTwoDigits(std::string& out, int value) {
  out.push_back(static_cast<char>('0' + value / 10));
  out.push_back(static_cast<char>('0' + value % 10));
}

// One or two decimal digits at text[pos...], at most `max`.
std::optional<int> readField(std::string_view text, std::size_t& pos, int max) {
  int value = 0;
  std::size_t digits = 0;
  while (pos < text.size() && digits < 2 && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++digits;
  }
  if (digits == 0 || value > max) return std::nullopt;
  return value;
}

}  // namespace

LongTimeFormat::LongTimeFormat(const char* localeName) : m_locale(openTimeLocale(localeName)) {
  const auto locale = static_cast<locale_t>(m_locale);
  const char* pattern = locale != locale_t{} ? nl_langinfo_l(T_FMT, locale) : nullptr;
  m_pattern = pattern != nullptr && *pattern != '\0' ? pattern : "%H:%M:%S";
  m_plainHms = m_pattern == "%H:%M:%S" || m_pattern == "%T";
}

LongTimeFormat::LongTimeFormat(const char* localeName, std::string pattern)
    : m_locale(openTimeLocale(localeName)), m_pattern(std::move(pattern)) {
  m_plainHms = m_pattern == "%H:%M:%S" || m_pattern == "%T";
}

LongTimeFormat::~LongTimeFormat() {
  if (static_cast<locale_t>(m_locale) != locale_t{}) freelocale(static_cast<locale_t>(m_locale));
}

const LongTimeFormat& LongTimeFormat::fromEnvironment() {
  static const LongTimeFormat environment("");
  return environment;
}

void LongTimeFormat::appendTo(std::string& out, std::int32_t ms) const {
  const int seconds = static_cast<int>(ms / 1000);
  const int hour = seconds / 3600;
  const int minute = seconds / 60 % 60;
  const int second = seconds % 60;
  if (m_plainHms) {
    appendTwoDigits(out, hour);
    out.push_back(':');
    appendTwoDigits(out, minute);
    out.push_back(':');
    appendTwoDigits(out, second);
    return;
  }
  std::tm time{};
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  std::array<char, 128> buffer{};
  const std::size_t length = strftime_l(buffer.data(), buffer.size(), m_pattern.c_str(), &time,
                                        static_cast<locale_t>(m_locale));
  out.append(buffer.data(), length);
}

std::string LongTimeFormat::format(std::int32_t ms) const {
  std::string out;
  appendTo(out, ms);
  return out;
}

std::optional<std::int32_t> LongTimeFormat::parse(std::string_view text) const {
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (m_plainHms) {
    std::size_t pos = 0;
    const auto h = readField(text, pos, 23);
    if (!h || pos >= text.size() || text[pos++] != ':') return std::nullopt;
    const auto m = readField(text, pos, 59);
    if (!m || pos >= text.size() || text[pos++] != ':') return std::nullopt;
    const auto s = readField(text, pos, 59);
    if (!s || pos != text.size()) return std::nullopt;
    hour = *h;
    minute = *m;
    second = *s;
  } else {
    const std::string terminated(text);
    std::tm time{};
    time.tm_hour = -1;
    const char* end =
        strptime_l(terminated.c_str(), m_pattern.c_str(), &time, static_cast<locale_t>(m_locale));
    if (end == nullptr || *end != '\0' || time.tm_hour < 0 || time.tm_hour > 23 ||
        time.tm_min > 59 || time.tm_sec > 59) {
      return std::nullopt;
    }
    hour = time.tm_hour;
    minute = time.tm_min;
    second = time.tm_sec;
  }
  return ((hour * 60 + minute) * 60 + second) * 1000;
}

std::string formatLongTime(std::int32_t ms) { return LongTimeFormat::fromEnvironment().format(ms); }

}  // namespace ostrel
