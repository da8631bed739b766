#include "DecimalSeparator.h"

#include <langinfo.h>
#include <locale.h>

namespace ostrel {

std::string decimalSeparatorFromLocale() {
  locale_t numeric = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (numeric == static_cast<locale_t>(nullptr)) return {};
  const char* radix = nl_langinfo_l(RADIXCHAR, numeric);
  std::string separator = radix != nullptr ? radix : "";
  freelocale(numeric);
  return separator;
}

}  // namespace ostrel
