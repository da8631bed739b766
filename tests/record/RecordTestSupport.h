#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "record/ReadingsTable.h"

namespace ostrel::test {

// The three readings of the fixture files readings.xls and readings.xml.
inline void fillFixtureReadings(ReadingsTable& table) {
  table.append({1, ((14 * 60 + 30) * 60 + 5) * 1000 + 123, "1.234", "M\xA6\xB8",
                "IR:500V 20G\xA6\xB8", "Continuous"});
  table.append(
      {2, ((9 * 60 + 5) * 60 + 3) * 1000 + 40, "0.56", std::nullopt, "DCV  600V", "Timed"});
  table.append({3, 86'399'999, "a&b", "\x81\x5C", "IR:5000V 1000G\xA6\xB8", "COMP:GOOD"});
}

inline std::string fixturePath(const std::string& name) {
  return std::string(OSTREL_RECORD_FIXTURES) + "/" + name;
}

inline std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ostrel-record-XXXXXX").string();
    m_path = ::mkdtemp(pattern.data());
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(m_path, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  [[nodiscard]] std::string file(const std::string& name) const { return (m_path / name).string(); }
  [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

}  // namespace ostrel::test
