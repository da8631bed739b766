#pragma once

#include <string>

namespace ostrel {

// The decimal separator of the numeric locale the process runs in, read once at start-up. The
// C library takes that locale from the environment (LC_ALL, then LC_NUMERIC, then LANG) and,
// when the one named there cannot be loaded, runs in "C" instead; so does this: "." then.
// Empty only when not even "C" can be opened; value texts then carry no separator at their
// points. The process's global locale is left as it is.
std::string decimalSeparatorFromLocale();

}  // namespace ostrel
