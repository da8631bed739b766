#include "CliLoadFailure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <pugixml.hpp>
#include <string_view>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "record/TableFiles.h"

namespace ostrel::cli {

namespace {

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  text.remove_prefix(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
    if (c != suffix[i]) return false;
  }
  return true;
}

// A packet larger than this is not parsed again for its reason (the parser holds it whole).
constexpr off_t largestPacketToExplain = off_t{64} << 20;

std::string packetReason(const std::string& path, off_t size) {
  if (size > largestPacketToExplain) return "not a data packet that can be loaded";
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(path.c_str());
  if (!parsed) {
    return std::string(parsed.description()) + " at byte " + std::to_string(parsed.offset);
  }
  return "not a data packet";
}

// The line after the last one loaded, counting the header as line 1; lines end in CR LF,
// LF or a lone CR as the loader counts them.
std::string textReason(const std::string& path, const ReadingsTable& partlyLoaded) {
  if (partlyLoaded.recordCount() == 0) {
    // No line end near the start: the file holds no lines of a table at all.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return reason(errno);
    char start[65536];
    std::size_t got = 0;
    if (const int error = readAll(fd.get(), start, sizeof start, got); error != 0) {
      return reason(error);
    }
    const std::string_view head(start, got);
    if (head.find_first_of("\r\n") == std::string_view::npos) return "not a text table";
  }
  return "damaged at line " + std::to_string(partlyLoaded.recordCount() + 2);
}

}  // namespace

std::string loadFailureReason(const std::string& path, const ReadingsTable& partlyLoaded) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return errno == ENOENT ? "no such file" : reason(errno);
  }
  if (S_ISDIR(info.st_mode)) return "a folder";
  if (S_ISFIFO(info.st_mode)) return "a FIFO";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
  if (!S_ISREG(info.st_mode)) return "a socket";
  if (::access(path.c_str(), R_OK) != 0) return reason(errno);
  if (endsWithNoCase(path, ".xlsx")) return "a workbook (written only, never read)";
  if (info.st_size == 0) return "empty";
  if (isDataPacketName(path)) return packetReason(path, info.st_size);
  return textReason(path, partlyLoaded);
}

void printLoadFailure(const std::string& path, const ReadingsTable& partlyLoaded) {
  const std::string reason = loadFailureReason(path, partlyLoaded);
  std::fprintf(stderr, "%s\n%s: %s\n", loadFailedMessage.data(), path.c_str(), reason.c_str());
}

}  // namespace ostrel::cli
