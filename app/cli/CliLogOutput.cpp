// The records of ostrel-cli log as lines, and the file they go to.
#include "CliLogOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "base/SystemCalls.h"
#include "record/GbkText.h"
#include "record/ReadingNumber.h"
#include "record/TextTableFormat.h"
#include "record/TimeText.h"
#include "record/WholeNumber.h"

namespace ostrel::cli {

namespace {

void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void appendJsonText(std::string& out, const std::optional<std::string>& gbk) {
  if (gbk) {
    appendJsonString(out, gbkToUtf8(*gbk));
  } else {
    out += "null";
  }
}

// Now as ISO 8601 local time with the date, milliseconds and the UTC offset:
// 2026-12-11T09:30:01.250+01:00.
std::string isoTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) %
                  std::chrono::milliseconds(1000);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%s.%03d%c%02ld:%02ld", date, static_cast<int>(ms.count()),
                offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
  return text;
}

}  // namespace

std::string jsonRecord(const RecordFields& record, const std::string& device) {
  std::string out = "{\"no\":";
  out += record.No ? std::to_string(*record.No) : "null";
  out += ",\"time\":";
  appendJsonString(out, isoTimeNow());
  out += ",\"value\":";
  appendJsonText(out, record.Value);
  out += ",\"number\":";
  const std::optional<double> number =
      record.Value ? readingNumber(*record.Value, record.Unit.value_or("")) : std::nullopt;
  if (number) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, *number);
    out.append(digits, result.ptr);
  } else {
    out += "null";
  }
  out += ",\"unit\":";
  appendJsonText(out, record.Unit);
  out += ",\"function\":";
  appendJsonText(out, record.V_Range);
  out += ",\"mode\":";
  appendJsonText(out, record.I_Range);
  out += ",\"test_time_s\":";
  out += record.TestTime ? std::to_string(*record.TestTime) : "null";
  out += ",\"device\":";
  appendJsonString(out, device);
  out += "}\n";
  return out;
}

std::string textRecord(const RecordFields& record) {
  ReadingsTable one;
  one.append(record);
  std::string line;
  appendTextRecordLine(line, one, 0, LongTimeFormat::fromEnvironment());
  return line;
}

namespace {

// What one line of an existing log is.
struct LineVerdict {
  enum class Kind { Record, CutRecord, OtherTimeForm, Foreign };
  Kind kind = Kind::Foreign;
  std::int32_t no = 0;
  std::string_view time;  // OtherTimeForm: the time cell
};

// A JSON Lines record: a JSON object whose `no` is a whole number. An unfinished line that
// starts as the logger's lines do is a record cut short.
LineVerdict jsonLine(std::string_view line) {
  QJsonParseError error{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(line.data(), static_cast<qsizetype>(line.size())), &error);
  if (error.error == QJsonParseError::NoError && document.isObject()) {
    const QJsonValue no = document.object().value("no");
    const double number = no.toDouble(-1);
    if (no.isDouble() && number >= 0 && number <= INT32_MAX && std::floor(number) == number) {
      return {LineVerdict::Kind::Record, static_cast<std::int32_t>(number), {}};
    }
    return {};
  }
  if (line.starts_with("{\"no\":")) return {LineVerdict::Kind::CutRecord, 0, {}};
  return {};
}

// A time of day in some locale's form: digits and a colon among its words ("09:41:46 AM",
// or the hour after a word of its own).
bool looksLikeATime(std::string_view cell) {
  return cell.find(':') != std::string_view::npos &&
         cell.find_first_of("0123456789") != std::string_view::npos;
}

// A text table record as the logger writes it: six cells, the number, the time in this
// locale's form ("NULL" when none), four texts. Fewer cells after a number are a record cut
// short.
LineVerdict textLine(std::string_view line, const LongTimeFormat& timeFormat) {
  std::vector<std::string_view> cells;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    cells.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  const std::optional<std::int32_t> no = parseInt32(cells[0]);
  if (!no || *no < 0) return {};
  if (cells.size() > ReadingsTable::fieldCount) return {};
  if (cells.size() < ReadingsTable::fieldCount) return {LineVerdict::Kind::CutRecord, *no, {}};
  const std::string_view time = cells[1];
  if (time != textNullCell && !timeFormat.parse(time)) {
    if (looksLikeATime(time)) return {LineVerdict::Kind::OtherTimeForm, *no, time};
    return {};
  }
  return {LineVerdict::Kind::Record, *no, {}};
}

}  // namespace

Result<ExistingLog> checkExistingLog(int fd, std::uint64_t size, LogFormat format,
                                     const std::string& name, const LongTimeFormat& timeFormat) {
  const bool text = format == LogFormat::Text;
  const std::string unchanged = "; nothing was changed";
  const auto foreign = [&](std::uint64_t lineNumber) {
    return Result<ExistingLog>::failure(name + " is not a " + (text ? "text table" : "JSON Lines") +
                                        " log of ostrel-cli log (line " +
                                        std::to_string(lineNumber) + ")" + unchanged);
  };
  const auto otherTimeForm = [&](std::uint64_t lineNumber, std::string_view time) {
    return Result<ExistingLog>::failure(
        name + " holds times in another locale's form (line " + std::to_string(lineNumber) +
        ": \"" + std::string(time) + "\"; this locale writes \"" + timeFormat.pattern() +
        "\"), and a file of both forms cannot be read back" + unchanged);
  };
  // The longest line a log holds by far; a longer one is no log's.
  constexpr std::size_t maxLine = std::size_t{1} << 20;
  ExistingLog existing;
  std::string pending;  // the line being read
  std::uint64_t offset = 0;
  std::uint64_t lineNumber = 0;
  std::vector<char> buffer(std::size_t{1} << 20);
  while (offset < size) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - offset));
    std::size_t got = 0;
    const int error = readAllAt(fd, buffer.data(), want, offset, got);
    if (error != 0 || got != want) {
      return Result<ExistingLog>::failure("cannot read " + name +
                                          (error != 0 ? ": " + reason(error) : ": it shrank"));
    }
    std::string_view chunk(buffer.data(), got);
    while (!chunk.empty()) {
      const std::size_t lf = chunk.find('\n');
      pending.append(chunk.substr(0, lf));
      if (pending.size() > maxLine) return foreign(lineNumber + 1);
      if (lf == std::string_view::npos) break;
      chunk.remove_prefix(lf + 1);
      ++lineNumber;
      const std::uint64_t lineEnd = offset + (got - chunk.size());
      if (text) {
        if (pending.empty() || pending.back() != '\r') return foreign(lineNumber);
        pending.pop_back();
      }
      if (text && lineNumber == 1) {
        if (pending + std::string(textLineEnd) != textHeaderLine) return foreign(lineNumber);
      } else {
        const LineVerdict verdict = text ? textLine(pending, timeFormat) : jsonLine(pending);
        if (verdict.kind == LineVerdict::Kind::OtherTimeForm) {
          return otherTimeForm(lineNumber, verdict.time);
        }
        if (verdict.kind != LineVerdict::Kind::Record) return foreign(lineNumber);
        existing.lastNo = verdict.no;
      }
      existing.keptLength = lineEnd;
      pending.clear();
    }
    offset += got;
  }
  if (pending.empty()) return existing;
  // The last line lacks its line end: a record written whole is kept, one cut short is left
  // out (a crash in the middle of its write), anything else is not a log.
  ++lineNumber;
  std::string_view last = pending;
  const bool hasCr = text && last.ends_with('\r');
  if (hasCr) last.remove_suffix(1);
  if (text && lineNumber == 1) {
    if (textHeaderLine.starts_with(pending)) return existing;  // the header cut short
    return foreign(lineNumber);
  }
  const LineVerdict verdict = text ? textLine(last, timeFormat) : jsonLine(last);
  switch (verdict.kind) {
    case LineVerdict::Kind::Record:
      existing.keptLength = size;
      existing.lineEnd = text ? (hasCr ? "\n" : std::string(textLineEnd)) : "\n";
      existing.lastNo = verdict.no;
      return existing;
    case LineVerdict::Kind::CutRecord:
      return existing;
    case LineVerdict::Kind::OtherTimeForm:
      return otherTimeForm(lineNumber, verdict.time);
    case LineVerdict::Kind::Foreign:
      break;
  }
  return foreign(lineNumber);
}

PeriodicSync::PeriodicSync(UniqueFd fd)
    : m_fd(std::move(fd)), m_thread([this](const std::stop_token& stop) { run(stop); }) {}

PeriodicSync::~PeriodicSync() {
  m_thread.request_stop();
  m_thread.join();
  if (m_dirty) (void)::fdatasync(m_fd.get());  // the end: a failure has nobody left to tell
}

void PeriodicSync::written() {
  {
    const std::lock_guard lock(m_mutex);
    if (m_dirty) return;
    m_dirty = true;
  }
  m_wake.notify_one();
}

std::optional<std::string> PeriodicSync::failure() {
  const std::lock_guard lock(m_mutex);
  return m_error;
}

void PeriodicSync::run(const std::stop_token& stop) {
  for (;;) {
    {
      std::unique_lock lock(m_mutex);
      if (!m_wake.wait(lock, stop, [this] { return m_dirty; })) return;
      m_dirty = false;
    }
    const auto started = std::chrono::steady_clock::now();
    if (::fdatasync(m_fd.get()) != 0) {
      const int error = errno;
      const std::lock_guard lock(m_mutex);
      if (!m_error) m_error = reason(error);
    }
    // At most one sync a second: the records written meanwhile wait for the next.
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, stop, started + period, [] { return false; });
    if (stop.stop_requested()) return;
  }
}

Result<> RecordOutput::open(const LogOptions& options) {
  const std::string& name = options.outFile;
  if (name == "-") {
    m_stdout = true;
    m_name = "standard output";
    if (m_format == LogFormat::Text) {
      const int error = writeAll(STDOUT_FILENO, JournalFile::headerLine());
      return error == 0 ? Result<>() : Result<>::failure(reason(error));
    }
    return {};
  }
  m_name = name;
  struct stat info {};
  if (::stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    return Result<>::failure("cannot write " + name +
                             ": not a regular file (give --out - for a stream)");
  }
  // Non-blocking: a FIFO put there meanwhile must not hold the command.
  UniqueFd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
  if (!fd.valid()) return Result<>::failure("cannot write " + name + ": " + reason(errno));
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return Result<>::failure("cannot write " + name + ": not a regular file");
  }
  if (!lockJournal(fd.get())) {
    const int error = errno;
    if (error == EAGAIN || error == EACCES) {
      return Result<>::failure(name + " is in use by another logger; nothing was changed");
    }
    return Result<>::failure("cannot lock " + name + ": " + reason(error));
  }
  ExistingLog existing;
  if (info.st_size > 0 && !options.overwrite) {
    if (!options.append) {
      return Result<>::failure(name +
                               " already holds records; nothing was changed. Give --append to " +
                               "continue it (numbering on) or --overwrite to replace it");
    }
    Result<ExistingLog> checked =
        checkExistingLog(fd.get(), static_cast<std::uint64_t>(info.st_size), m_format, name,
                         LongTimeFormat::fromEnvironment());
    if (!checked.ok()) return Result<>::failure(checked.message());
    existing = checked.value();
    m_lastNo = existing.lastNo;
  }
  UniqueFd syncFd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
  if (!syncFd.valid()) return Result<>::failure("cannot write " + name + ": " + reason(errno));
  // Owns and closes the descriptor from here on.
  m_file = std::make_unique<JournalFile>(std::move(fd), name, existing.keptLength);
  if (const Result<> cut = m_file->cutBack(); !cut.ok()) {
    return Result<>::failure("cannot write " + name + ": " + cut.message());
  }
  std::string start = existing.lineEnd;
  if (m_format == LogFormat::Text && existing.keptLength == 0) start = JournalFile::headerLine();
  if (!start.empty()) {
    if (const Result<> written = m_file->appendLine(start); !written.ok()) {
      return Result<>::failure("cannot write " + name + ": " + written.message());
    }
  }
  m_sync = std::make_unique<PeriodicSync>(std::move(syncFd));
  if (!start.empty()) m_sync->written();
  return {};
}

Result<> RecordOutput::writeRecord(const std::string& line) {
  if (m_stdout) {
    const int error = writeAll(STDOUT_FILENO, line);
    if (error != 0) return Result<>::failure(reason(error));
    ++m_records;
    return {};
  }
  if (std::optional<std::string> failed = m_sync->failure()) {
    return Result<>::failure("cannot sync it to the disk: " + *failed);
  }
  Result<> written = m_file->appendLine(line);
  if (!written.ok()) return written;
  ++m_records;
  m_sync->written();
  return {};
}

}  // namespace ostrel::cli
