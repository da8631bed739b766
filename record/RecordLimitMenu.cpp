#include "RecordLimitMenu.h"

namespace ostrel {

void RecordLimitMenu::choose(std::size_t index) {
  if (index >= entries.size()) return;
  m_counters.RecordLimit = entries[index].limit;
  m_checked = index;
}

bool RecordLimitMenu::chooseByName(std::string_view name) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].name == name) {
      choose(i);
      return true;
    }
  }
  return false;
}

}  // namespace ostrel
