#include "JournalRecovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "TableFiles.h"

namespace ostrel {

namespace {

constexpr std::string_view lineEnd = "\r\n";
constexpr std::string_view nullCell = "NULL";

// A journal line: six cells (seven with a test time), and no line break of any kind inside it.
bool hasJournalShape(std::string_view line) {
  const auto tabs = std::count(line.begin(), line.end(), '\t');
  return (tabs == ReadingsTable::fieldCount - 1 || tabs == ReadingsTable::fieldCount) &&
         line.find_first_of("\r\n") == std::string_view::npos;
}

// A text cell as recorded: "NULL" stands for an empty field.
std::optional<std::string_view> recordedText(const ReadingsTable& table, std::size_t row,
                                             ReadingsTable::Field field) {
  const std::optional<std::string_view> text = table.text(row, field);
  return text == nullCell ? std::nullopt : text;
}

struct Candidate {
  std::string name;
  std::string path;
  timespec modified{};
};

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool isJournalName(std::string_view name) {
  return startsWith(name, journalPrefix) &&
         name.size() > journalPrefix.size() + journalSuffix.size() &&
         name.substr(name.size() - journalSuffix.size()) == journalSuffix;
}

std::vector<Candidate> journalsIn(const std::string& folder, std::vector<std::string>& creating) {
  std::vector<Candidate> found;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (startsWith(name, creatingPrefix)) creating.push_back(folder + "/" + std::string(name));
    if (!isJournalName(name)) continue;
    Candidate candidate{std::string(name), folder + "/" + std::string(name), {}};
    struct stat info {};
    if (::lstat(candidate.path.c_str(), &info) == 0) candidate.modified = info.st_mtim;
    found.push_back(std::move(candidate));
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    return a.modified.tv_sec != b.modified.tv_sec ? a.modified.tv_sec > b.modified.tv_sec
                                                  : a.modified.tv_nsec > b.modified.tv_nsec;
  });
  return found;
}

// Reads all of an open file; 0 or the errno.
int readAll(int fd, std::string& bytes) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

UnreadableJournal keepAside(const std::string& folder, const Candidate& journal,
                            std::string reason) {
  UnreadableJournal kept{journal.path, std::move(reason), {}, {}};
  for (int attempt = 1; attempt < 100; ++attempt) {
    const std::string prefix = attempt == 1
                                   ? std::string(unreadablePrefix)
                                   : std::string(unreadablePrefix) + std::to_string(attempt) + "-";
    std::string aside = folder;
    aside += '/';
    aside += prefix;
    aside += journal.name;
    if (::renameat2(AT_FDCWD, journal.path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) ==
        0) {
      kept.keptAs = aside;
      return kept;
    }
    if (errno != EEXIST) break;
  }
  kept.renameError = std::strerror(errno);
  return kept;
}

// A journal being created whose creator is gone holds no record: removed when its lock is free.
void removeAbandonedCreations(const std::vector<std::string>& creating) {
  for (const std::string& path : creating) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    if (lockJournal(fd)) ::unlink(path.c_str());
    ::close(fd);
  }
}

}  // namespace

JournalContent readJournal(std::string_view bytes, const LongTimeFormat& timeFormat) {
  JournalContent content;
  const std::string& header = JournalFile::headerLine();
  const std::size_t lastEnd = bytes.rfind(lineEnd);
  const std::string_view whole =
      lastEnd == std::string_view::npos ? std::string_view{} : bytes.substr(0, lastEnd + 2);
  const bool cutShort = whole.size() < bytes.size();
  if (whole.empty()) {
    // Only a line that never got its end: a header cut short is an empty journal.
    const bool headerStart = header.substr(0, bytes.size()) == bytes;
    content.kind = headerStart ? JournalContent::Kind::Empty : JournalContent::Kind::Unreadable;
    return content;
  }
  if (whole.substr(0, header.size()) != header) {
    content.kind = JournalContent::Kind::Unreadable;
    return content;
  }

  std::vector<std::string_view> lines;
  for (std::size_t pos = header.size(); pos < whole.size();) {
    const std::size_t end = whole.find(lineEnd, pos);
    lines.push_back(whole.substr(pos, end - pos));
    pos = end + lineEnd.size();
  }
  std::size_t good = 0;
  while (good < lines.size() && hasJournalShape(lines[good])) ++good;
  // The text reader stops at its first failing line; its records before it are good.
  ReadingsTable parsed;
  if (!readJournalTable(whole, parsed, timeFormat)) good = std::min(good, parsed.recordCount());

  if (good < lines.size()) {
    if (cutShort || good + 1 < lines.size()) {
      content.kind = JournalContent::Kind::Unreadable;
      return content;
    }
    content.droppedLastLine = true;  // the last whole line is damaged
  }
  content.droppedLastLine = content.droppedLastLine || cutShort;
  content.wholeLength = header.size();
  for (std::size_t i = 0; i < good; ++i) {
    content.records->appendView(
        {parsed.no(i), parsed.timeMs(i), recordedText(parsed, i, ReadingsTable::Value),
         recordedText(parsed, i, ReadingsTable::Unit),
         recordedText(parsed, i, ReadingsTable::V_Range),
         recordedText(parsed, i, ReadingsTable::I_Range), parsed.testTimeS(i)});
    content.wholeLength += lines[i].size() + lineEnd.size();
  }
  content.kind = good == 0 ? JournalContent::Kind::Empty : JournalContent::Kind::Records;
  return content;
}

JournalScan scanLeftJournals(const std::string& folder, const LongTimeFormat& timeFormat) {
  JournalScan scan;
  std::vector<std::string> creating;
  for (const Candidate& journal : journalsIn(folder, creating)) {
    // O_NONBLOCK: a FIFO under a journal's name must not hang the start.
    const int fd = ::open(journal.path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
      if (errno != ENOENT)
        scan.unreadable.push_back(keepAside(folder, journal, std::strerror(errno)));
      continue;
    }
    if (!lockJournal(fd)) {  // a running window's journal
      ::close(fd);
      continue;
    }
    struct stat info {};
    std::string bytes;
    int error = ::fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(info.st_mode)) error = EINVAL;
    if (error == 0) error = readAll(fd, bytes);
    JournalContent content;
    if (error == 0) content = readJournal(bytes, timeFormat);
    if (error != 0 || content.kind == JournalContent::Kind::Unreadable) {
      scan.unreadable.push_back(
          keepAside(folder, journal, error != 0 ? std::strerror(error) : "its lines are damaged"));
      ::close(fd);
      continue;
    }
    if (content.kind == JournalContent::Kind::Empty) {
      ::unlink(journal.path.c_str());
      ::close(fd);
      continue;
    }
    if (scan.left) {  // an older one: offered at a later start
      ::close(fd);
      continue;
    }
    LeftJournal left{std::make_unique<JournalFile>(fd, journal.path, content.wholeLength),
                     std::move(content.records), content.droppedLastLine};
    left.file->cutBack();
    scan.left = std::move(left);
  }
  removeAbandonedCreations(creating);
  return scan;
}

}  // namespace ostrel
