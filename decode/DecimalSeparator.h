#pragma once

#include <string>

namespace ostrel {

// The decimal separator of the numeric locale the environment selects (LC_ALL, then
// LC_NUMERIC, then LANG), read once at start-up. The process's global locale is left as
// it is. Empty when the locale named by the environment cannot be loaded or reports no
// separator; value texts then carry no separator at their points. "C" gives ".".
std::string decimalSeparatorFromLocale();

}  // namespace ostrel
