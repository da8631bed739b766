#include "JournalRecovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

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

// A time in the journal's own form, "HH:MM:SS.mmm"; nullopt for anything else.
std::optional<std::int32_t> parseJournalTime(std::string_view text) {
  if (text.size() != 12 || text[2] != ':' || text[5] != ':' || text[8] != '.') return std::nullopt;
  const auto number = [&](std::size_t at, std::size_t digits) -> std::optional<std::int32_t> {
    std::int32_t value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  const auto h = number(0, 2), m = number(3, 2), s = number(6, 2), ms = number(9, 3);
  if (!h || !m || !s || !ms || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
  return ((*h * 60 + *m) * 60 + *s) * 1000 + *ms;
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

std::string journalTimeText(std::int32_t ms) {
  char text[48];  // room for any int32 fields, though a time of day needs 13
  const auto field = [](std::int32_t value) { return static_cast<int>(value); };
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", field(ms / 3'600'000),
                field(ms / 60'000 % 60), field(ms / 1000 % 60), field(ms % 1000));
  return text;
}

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

  // Each line that has a journal's shape and time goes on, its time rewritten in the C
  // locale's whole seconds, to the text reader, which checks every other cell.
  struct LineCandidate {
    std::string_view line;
    std::size_t end = 0;  // offset just after its line end
    std::int32_t ms = 0;
  };
  std::vector<LineCandidate> candidates;
  std::size_t damaged = 0;
  for (std::size_t pos = header.size(); pos < whole.size();) {
    const std::size_t end = whole.find(lineEnd, pos);
    const std::string_view line = whole.substr(pos, end - pos);
    pos = end + lineEnd.size();
    std::optional<std::int32_t> ms;
    if (hasJournalShape(line)) {
      const std::size_t start = line.find('\t') + 1;
      const std::string_view time = line.substr(start, line.find('\t', start) - start);
      ms = parseJournalTime(time);
      if (!ms) ms = timeFormat.parse(time);
    }
    if (!ms) {
      ++damaged;
      continue;
    }
    candidates.push_back({line, pos, *ms});
  }
  static const LongTimeFormat plainTime("C");
  const auto plainLine = [](const LineCandidate& c, std::string& out) {
    const std::size_t start = c.line.find('\t') + 1;
    const std::size_t end = c.line.find('\t', start);
    out.append(c.line.substr(0, start));
    out.append(journalTimeText(c.ms).substr(0, 8));
    out.append(c.line.substr(end));
    out.append(lineEnd);
  };
  // The text reader stops at its first failing line: that line is left out and the reader
  // goes on after it.
  ReadingsTable parsed;
  std::vector<const LineCandidate*> kept;
  for (std::size_t first = 0; first < candidates.size();) {
    std::string text = header;
    for (std::size_t i = first; i < candidates.size(); ++i) plainLine(candidates[i], text);
    const std::size_t before = parsed.recordCount();
    const bool ok = readJournalTable(text, parsed, plainTime);
    const std::size_t read = parsed.recordCount() - before;
    for (std::size_t i = 0; i < read; ++i) kept.push_back(&candidates[first + i]);
    if (ok) break;
    ++damaged;
    first += read + 1;
  }

  // The last whole line was left out when the last line kept is not it.
  const bool lastDamaged =
      whole.size() > header.size() && (kept.empty() || kept.back()->end != whole.size());
  content.droppedLines = damaged;
  content.droppedLastLine = lastDamaged || cutShort;
  content.wholeLength = kept.empty() ? header.size() : kept.back()->end;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    content.records->appendView(
        {parsed.no(i), kept[i]->ms, recordedText(parsed, i, ReadingsTable::Value),
         recordedText(parsed, i, ReadingsTable::Unit),
         recordedText(parsed, i, ReadingsTable::V_Range),
         recordedText(parsed, i, ReadingsTable::I_Range), parsed.testTimeS(i)});
  }
  if (kept.empty()) {
    // Nothing to offer: a damaged line before the last may still be worth a look.
    const bool onlyTheLast = damaged == 0 || (damaged == 1 && lastDamaged);
    content.kind = onlyTheLast ? JournalContent::Kind::Empty : JournalContent::Kind::Unreadable;
    return content;
  }
  content.kind = JournalContent::Kind::Records;
  return content;
}

JournalScan scanLeftJournals(const std::string& folder, const LongTimeFormat& timeFormat) {
  JournalScan scan;
  // Readings offered from a folder someone else controls could be anyone's.
  struct stat folderInfo {};
  if (::stat(folder.c_str(), &folderInfo) == 0) {
    if (!S_ISDIR(folderInfo.st_mode)) {
      scan.untrusted = "it is not a folder";
    } else if (folderInfo.st_uid != ::geteuid()) {
      scan.untrusted = "it belongs to another user";
    } else if ((folderInfo.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      scan.untrusted = "others may write to it";
    }
    if (!scan.untrusted.empty()) return scan;
  }
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
                     std::move(content.records), content.droppedLastLine, content.droppedLines};
    left.file->cutBack();
    scan.left = std::move(left);
  }
  removeAbandonedCreations(creating);
  return scan;
}

}  // namespace ostrel
