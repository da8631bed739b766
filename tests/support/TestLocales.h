#pragma once

// Locales for tests that must not run in "C" alone: one whose decimal separator is a comma,
// and the environment that selects it.

#include <langinfo.h>
#include <locale.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::test {

// Sets environment variables for its lifetime (nullptr unsets one) and restores them after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> settings) {
    for (const auto& [name, value] : settings) {
      const char* old = std::getenv(name);
      m_saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
      if (value != nullptr) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    }
  }
  ~ScopedEnvironment() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// A German locale, whose decimal separator is ",". Taken from the system when installed;
// otherwise compiled from the locale sources (Debian package "locales") with localedef into a
// temporary folder, which locPath() names for LOCPATH and which goes with this object.
class CommaLocale {
 public:
  static constexpr const char* name = "de_DE.UTF-8";

  CommaLocale() {
    if (separatorOf(nullptr) == ",") return;
    char folder[] = "/tmp/ostrel-locale-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
      m_problem = "no temporary folder for the locale";
      return;
    }
    m_folder = folder;
    const std::string command =
        "localedef -i de_DE -f UTF-8 " + m_folder + "/" + name + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || separatorOf(m_folder.c_str()) != ",") {
      m_problem = std::string("cannot make ") + name +
                  " with localedef (Debian package \"locales\" missing?)";
    }
  }
  ~CommaLocale() {
    if (!m_folder.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(m_folder, ignored);
    }
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  // Empty when the locale can be used; else why not.
  [[nodiscard]] const std::string& problem() const { return m_problem; }
  // The value for LOCPATH; nullptr when the system's own locales hold it.
  [[nodiscard]] const char* locPath() const {
    return m_folder.empty() ? nullptr : m_folder.c_str();
  }

 private:
  static std::string separatorOf(const char* locPath) {
    const ScopedEnvironment environment{{"LOCPATH", locPath}};
    const locale_t locale = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return {};
    std::string separator = nl_langinfo_l(RADIXCHAR, locale);
    freelocale(locale);
    return separator;
  }

  std::string m_folder;
  std::string m_problem;
};

}  // namespace ostrel::test
