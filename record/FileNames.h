#pragma once

#include <cstddef>
#include <string_view>

namespace ostrel {

// True when the extension of the name's last path part (from its last dot on) is
// `extension` (lower case, dot included) in any letter case.
inline bool hasExtension(std::string_view fileName, std::string_view extension) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::string_view base =
      slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  const std::size_t dot = base.find_last_of('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view found = base.substr(dot);
  if (found.size() != extension.size()) return false;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const char c = found[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != extension[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace ostrel
