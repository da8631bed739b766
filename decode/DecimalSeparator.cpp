#include "DecimalSeparator.h"

#include <langinfo.h>
#include <locale.h>

namespace ostrel {

namespace {

// Reads the radix character of the named locale's numeric category; false when the locale
// cannot be loaded. "" names the locale the environment selects.
bool readSeparator(const char* localeName, std::string& separator) {
  const locale_t numeric = newlocale(LC_NUMERIC_MASK, localeName, static_cast<locale_t>(nullptr));
  if (numeric == static_cast<locale_t>(nullptr)) return false;
  const char* radix = nl_langinfo_l(RADIXCHAR, numeric);
  separator = radix != nullptr ? radix : "";
  freelocale(numeric);
  return true;
}

}  // namespace

std::string decimalSeparatorFromLocale() {
  std::string separator;
  if (readSeparator("", separator) || readSeparator("C", separator)) return separator;
  return {};
}

}  // namespace ostrel
