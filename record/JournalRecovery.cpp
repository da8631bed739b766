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
#include "TextTableFormat.h"
#include "base/SystemCalls.h"

namespace ostrel {

namespace {

constexpr std::string_view lineEnd = textLineEnd;

// A journal line: six cells (seven with a test time), and no line break of any kind inside it.
bool hasJournalShape(std::string_view line) {
  const auto tabs = std::count(line.begin(), line.end(), '\t');
  return (tabs == ReadingsTable::fieldCount - 1 || tabs == ReadingsTable::fieldCount) &&
         line.find_first_of("\r\n") == std::string_view::npos;
}

// A text cell as recorded (recordedCell).
std::optional<std::string_view> recordedText(const ReadingsTable& table, std::size_t row,
                                             ReadingsTable::Field field) {
  return recordedCell(table.text(row, field));
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

std::vector<Candidate> journalsIn(const JournalFolder& folder, std::vector<std::string>& creating) {
  std::vector<Candidate> found;
  // Its own descriptor: closedir closes it, the folder's stays open.
  const int listed = ::fcntl(folder.fd(), F_DUPFD_CLOEXEC, 0);
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(listed < 0 ? nullptr : ::fdopendir(listed),
                                                ::closedir);
  if (!dir) {
    if (listed >= 0) ::close(listed);
    return found;
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (startsWith(name, creatingPrefix)) creating.emplace_back(name);
    if (!isJournalName(name)) continue;
    Candidate candidate{std::string(name), folder.pathOf(name), {}};
    struct stat info {};
    if (::fstatat(folder.fd(), candidate.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
      candidate.modified = info.st_mtim;
    }
    found.push_back(std::move(candidate));
  }
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    return a.modified.tv_sec != b.modified.tv_sec ? a.modified.tv_sec > b.modified.tv_sec
                                                  : a.modified.tv_nsec > b.modified.tv_nsec;
  });
  return found;
}

// Feeds an open file to reader in pieces, until its end or until the reader needs no more;
// 0, the errno, or ECANCELED when cancel was set.
int readInto(int fd, JournalReader& reader, const std::atomic<bool>* cancel) {
  std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return ECANCELED;
    std::size_t got = 0;
    if (const int error = readAll(fd, buffer.data(), buffer.size(), got); error != 0) return error;
    if (got == 0) return 0;
    if (!reader.feed({buffer.data(), got})) return 0;
    if (got < buffer.size()) return 0;  // the end of the file
  }
}

UnreadableJournal keepAside(const JournalFolder& folder, const Candidate& journal,
                            std::string reason) {
  UnreadableJournal kept{journal.path, std::move(reason), {}, {}};
  for (int attempt = 1; attempt < 100; ++attempt) {
    const std::string prefix = attempt == 1
                                   ? std::string(unreadablePrefix)
                                   : std::string(unreadablePrefix) + std::to_string(attempt) + "-";
    const std::string aside = prefix + journal.name;
    if (::renameat2(folder.fd(), journal.name.c_str(), folder.fd(), aside.c_str(),
                    RENAME_NOREPLACE) == 0) {
      kept.keptAs = folder.pathOf(aside);
      return kept;
    }
    if (errno != EEXIST) break;
  }
  kept.renameError = ostrel::reason(errno);  // the parameter `reason` hides the function
  return kept;
}

// A journal being created whose creator is gone holds no record: removed when its lock is free.
void removeAbandonedCreations(const JournalFolder& folder,
                              const std::vector<std::string>& creating) {
  for (const std::string& name : creating) {
    const UniqueFd fd(
        ::openat(folder.fd(), name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.valid() && lockJournal(fd.get())) ::unlinkat(folder.fd(), name.c_str(), 0);
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

JournalContent readJournal(std::string_view bytes, const LongTimeFormat& timeFormat) {
  JournalReader reader(timeFormat);
  reader.feed(bytes);
  return reader.finish();
}

JournalReader::JournalReader(const LongTimeFormat& timeFormat, bool keepRecords)
    : m_timeFormat(timeFormat), m_keepRecords(keepRecords) {}

bool JournalReader::feed(std::string_view bytes) {
  if (m_unreadable) return false;
  m_total += bytes.size();
  m_pending.append(bytes);
  const std::string& header = JournalFile::headerLine();
  std::size_t pos = 0;
  // A line end may have come in two pieces: look again from the last byte kept.
  std::size_t from = m_pending.size() > bytes.size() ? m_pending.size() - bytes.size() - 1 : 0;
  for (std::size_t end; (end = m_pending.find(lineEnd, std::max(from, pos))) != std::string::npos;
       pos = end + lineEnd.size()) {
    const std::string_view line(m_pending.data() + pos, end - pos);
    const std::uint64_t lineEndAt = m_pendingAt + end + lineEnd.size();
    m_wholeEnd = lineEndAt;
    if (!m_headerRead) {
      // The first line is the header (it holds no line end before its own).
      if (std::string_view(m_pending).substr(0, end + lineEnd.size()) != header) {
        m_unreadable = true;
        return false;
      }
      m_headerRead = true;
      continue;
    }
    takeLine(m_overlong ? std::string_view{} : line, lineEndAt);
    m_overlong = false;
  }
  m_pending.erase(0, pos);
  m_pendingAt += pos;
  if (!m_headerRead && m_pending.size() > header.size()) {
    m_unreadable = true;  // a first line longer than the header is not the header
    return false;
  }
  if (m_pending.size() > maxLineBytes) {
    // Damaged whatever follows; its last byte may start a line end.
    m_overlong = true;
    const std::size_t drop = m_pending.size() - 1;
    m_pending.erase(0, drop);
    m_pendingAt += drop;
  }
  return true;
}

void JournalReader::takeLine(std::string_view line, std::uint64_t end) {
  // Each line that has a journal's shape and time goes on, its time rewritten in the C
  // locale's whole seconds, to the text reader, which checks every other cell.
  std::optional<std::int32_t> ms;
  std::size_t timeStart = 0;
  std::size_t timeEnd = 0;
  if (hasJournalShape(line)) {
    timeStart = line.find('\t') + 1;
    timeEnd = line.find('\t', timeStart);
    const std::string_view time = line.substr(timeStart, timeEnd - timeStart);
    ms = parseJournalTime(time);
    if (!ms) ms = m_timeFormat.parse(time);
  }
  if (!ms) {
    ++m_damaged;
    return;
  }
  if (m_batchText.empty()) m_batchText = JournalFile::headerLine();
  m_batch.push_back({m_batchText.size(), end, *ms});
  m_batchText.append(line.substr(0, timeStart));
  m_batchText.append(journalTimeText(*ms).substr(0, 8));
  m_batchText.append(line.substr(timeEnd));
  m_batchText.append(lineEnd);
  constexpr std::size_t batchLines = 8192;
  if (m_batch.size() >= batchLines) readBatch();
}

void JournalReader::readBatch() {
  static const LongTimeFormat plainTime("C");
  ReadingsTable parsed;
  // The text reader drops the first line of what it is given (the header) and stops at its
  // first failing line: that line is left out, and the reader goes on after it, given the
  // text from that line on (which it drops as its first).
  std::size_t textFrom = 0;
  for (std::size_t first = 0; first < m_batch.size();) {
    parsed.clear();
    const bool ok =
        readJournalTable(std::string_view(m_batchText).substr(textFrom), parsed, plainTime).ok();
    const std::size_t read = parsed.recordCount();
    for (std::size_t i = 0; i < read; ++i) {
      const Candidate& kept = m_batch[first + i];
      if (m_keepRecords) {
        m_content.records->appendView(
            {parsed.no(i), kept.ms, recordedText(parsed, i, ReadingsTable::Value),
             recordedText(parsed, i, ReadingsTable::Unit),
             recordedText(parsed, i, ReadingsTable::V_Range),
             recordedText(parsed, i, ReadingsTable::I_Range), parsed.testTimeS(i)});
      }
      m_keptEnd = kept.end;
      ++m_kept;
    }
    if (ok) break;
    ++m_damaged;
    textFrom = m_batch[first + read].start;
    first += read + 1;
  }
  m_batch.clear();
  m_batchText.clear();
}

JournalContent JournalReader::finish() {
  if (m_headerRead && !m_unreadable) readBatch();
  JournalContent content = std::move(m_content);
  const std::string& header = JournalFile::headerLine();
  if (!m_unreadable && !m_headerRead) {
    // Only a line that never got its end: a header cut short is an empty journal.
    const bool headerStart = header.substr(0, m_pending.size()) == m_pending;
    content.kind = headerStart ? JournalContent::Kind::Empty : JournalContent::Kind::Unreadable;
    return content;
  }
  if (m_unreadable) {
    content.kind = JournalContent::Kind::Unreadable;
    return content;
  }
  const bool cutShort = m_total > m_wholeEnd;
  // The last whole line was left out when the last line kept is not it.
  const bool lastDamaged = m_wholeEnd > header.size() && (m_kept == 0 || m_keptEnd != m_wholeEnd);
  content.droppedLines = m_damaged;
  content.droppedLastLine = lastDamaged || cutShort;
  content.wholeLength = m_kept == 0 ? header.size() : m_keptEnd;
  if (m_kept == 0) {
    // Nothing to offer: a damaged line before the last may still be worth a look.
    const bool onlyTheLast = m_damaged == 0 || (m_damaged == 1 && lastDamaged);
    content.kind = onlyTheLast ? JournalContent::Kind::Empty : JournalContent::Kind::Unreadable;
    return content;
  }
  content.kind = JournalContent::Kind::Records;
  return content;
}

JournalScan scanLeftJournals(const std::string& folder, const LongTimeFormat& timeFormat,
                             const std::atomic<bool>* cancel) {
  const JournalFolderOpening opening = openJournalFolder(folder, false);
  if (!opening.folder) {
    // Readings offered from a folder someone else controls could be anyone's.
    JournalScan scan;
    scan.untrusted = opening.untrusted;
    return scan;
  }
  return scanLeftJournals(opening.folder, timeFormat, cancel);
}

JournalScan scanLeftJournals(const std::shared_ptr<const JournalFolder>& folderHandle,
                             const LongTimeFormat& timeFormat, const std::atomic<bool>* cancel) {
  JournalScan scan;
  const JournalFolder& folder = *folderHandle;
  std::vector<std::string> creating;
  for (const Candidate& journal : journalsIn(folder, creating)) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
      scan.cancelled = true;
      return scan;
    }
    // O_NONBLOCK: a FIFO under a journal's name must not hang the start.
    UniqueFd fd(
        ::openat(folder.fd(), journal.name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.valid()) {
      if (errno != ENOENT) scan.unreadable.push_back(keepAside(folder, journal, reason(errno)));
      continue;
    }
    if (!lockJournal(fd.get())) continue;  // a running window's journal
    struct stat info {};
    int error = ::fstat(fd.get(), &info) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(info.st_mode)) error = EINVAL;
    // Only the newest journal with records is offered: the older ones need only their kind.
    JournalReader reader(timeFormat, !scan.left);
    if (error == 0) error = readInto(fd.get(), reader, cancel);
    if (error == ECANCELED) {
      scan.cancelled = true;
      return scan;
    }
    JournalContent content;
    if (error == 0) content = reader.finish();
    if (error != 0 || content.kind == JournalContent::Kind::Unreadable) {
      scan.unreadable.push_back(
          keepAside(folder, journal, error != 0 ? reason(error) : "its lines are damaged"));
      continue;
    }
    if (content.kind == JournalContent::Kind::Empty) {
      // One that cannot be removed holds nothing to lose; the next start looks at it again.
      (void)::unlinkat(folder.fd(), journal.name.c_str(), 0);
      continue;
    }
    if (scan.left) continue;  // an older one: offered at a later start
    LeftJournal left{std::make_unique<JournalFile>(std::move(fd), folderHandle, journal.name,
                                                   content.wholeLength),
                     std::move(content.records), content.droppedLastLine, content.droppedLines};
    // A cut that fails here is done again before the first line is appended, and that
    // failure stops the journal with its reason (the file keeps m_needsCut until a cut works).
    (void)left.file->cutBack();
    scan.left = std::move(left);
  }
  removeAbandonedCreations(folder, creating);
  return scan;
}

}  // namespace ostrel
