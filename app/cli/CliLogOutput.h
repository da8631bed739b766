#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "CliLogOptions.h"
#include "base/Result.h"
#include "base/UniqueFd.h"
#include "record/JournalFile.h"
#include "record/ReadingsTable.h"

namespace ostrel {
class LongTimeFormat;
}

namespace ostrel::cli {

// One record as a JSON object on one line (UTF-8, ending in LF).
std::string jsonRecord(const RecordFields& record, const std::string& device);
// One record as a line of the "Save Data" text table (GBK, ending in CRLF).
std::string textRecord(const RecordFields& record);

// What of an existing log is kept when it is appended to.
struct ExistingLog {
  std::uint64_t keptLength = 0;  // the bytes kept: whole records (the text header included)
  std::string lineEnd;           // added after them: the last record lacked its line end
  std::int32_t lastNo = 0;       // the number of the last record kept; 0 when none
};

// Checks that the bytes of an existing file, read from fd (size bytes), are a log of the
// given format: JSON Lines, every line a JSON object with a number `no`; text, the table's
// header line and then every line a record of six cells, its number and its time (in
// timeFormat) as the logger writes them. A complete last record without its line end is kept
// (the end is added); a record cut short at the end is left out. Anything else is refused with
// the reason, which names the file (`name`); a text log whose times are in another locale's
// form is refused so that no file mixes two forms.
Result<ExistingLog> checkExistingLog(int fd, std::uint64_t size, LogFormat format,
                                     const std::string& name, const LongTimeFormat& timeFormat);

// Makes a file's written records durable now and then, on a thread of its own so that the
// recording never waits on the disk: within a second of a record written, at most once a
// second (fdatasync).
class PeriodicSync {
 public:
  static constexpr std::chrono::milliseconds period{1000};

  explicit PeriodicSync(UniqueFd fd);
  // Stops the thread; what was written since the last sync is synced first.
  ~PeriodicSync();
  PeriodicSync(const PeriodicSync&) = delete;
  PeriodicSync& operator=(const PeriodicSync&) = delete;

  // Records were written (owner thread).
  void written();
  // The reason of the first failed sync, if one failed (owner thread).
  [[nodiscard]] std::optional<std::string> failure();

 private:
  void run(const std::stop_token& stop);

  UniqueFd m_fd;
  std::mutex m_mutex;
  std::condition_variable_any m_wake;
  bool m_dirty = false;                // guarded by m_mutex
  std::optional<std::string> m_error;  // guarded by m_mutex
  std::jthread m_thread;               // last: starts once everything above exists
};

// Where the records go: the file (text table or JSON Lines) as records come. A file only
// ever holds whole records: a line that cannot be written whole (a full disk) is cut off
// again, and what is written is synced to the disk at least once a second (PeriodicSync). An
// open-file-description lock on the file keeps a second logger from writing into it. The
// window's recording journal is the same kind of file, so its JournalFile does the locking and
// the whole-line writing here too. Standard output ("-") gets the same lines, neither locked,
// cut nor synced.
class RecordOutput {
 public:
  explicit RecordOutput(LogFormat format) : m_format(format) {}

  // Opens, locks and prepares the file. An existing file that holds anything is kept unless
  // the user chose: append continues after its last whole record (checkExistingLog),
  // overwrite empties it. Fails with why not; a file refused is left as it is.
  Result<> open(const LogOptions& options);

  // Fails with the reason when the record was not written whole (a file then still ends
  // after the last whole record) or when an earlier sync failed.
  Result<> writeRecord(const std::string& line);

  [[nodiscard]] LogFormat format() const { return m_format; }
  [[nodiscard]] const std::string& name() const { return m_name; }
  [[nodiscard]] std::size_t recordsWritten() const { return m_records; }
  // The number of the last record of a file appended to; 0 otherwise.
  [[nodiscard]] std::int32_t lastNo() const { return m_lastNo; }

 private:
  LogFormat m_format;
  bool m_stdout = false;
  std::string m_name;
  std::unique_ptr<JournalFile> m_file;
  std::unique_ptr<PeriodicSync> m_sync;
  std::size_t m_records = 0;
  std::int32_t m_lastNo = 0;
};

}  // namespace ostrel::cli
