#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "JournalFile.h"
#include "ReadingsTable.h"

namespace ostrel {

// Keeps the recording journal on a thread of its own, so that the main thread never waits on
// the disk: append() and clear() only queue (a copy of the record, no formatting, no I/O);
// the thread formats each record as its "Save Data" text line, writes it with one write and
// makes each batch durable with fdatasync.
//
// The first write failure stops the journal for the rest of the run: the file keeps its whole
// lines, later records are not written, and onFailure is called once, on the writer thread,
// with the reason. Recording itself is not affected.
//
// append, clear, flush, finish and the destructor: main thread (one owner thread).
class JournalWriter {
 public:
  // Opens the journal; runs on the writer thread at the first record, so a window that
  // records nothing leaves no file. Fails with the reason; cancelled when there is to be no
  // journal (the writer then stops without a report: whoever decided that tells the user).
  using Opener = std::function<Result<std::unique_ptr<JournalSink>>()>;
  using FailureHandler = std::function<void(const std::string& reason)>;

  JournalWriter(Opener opener, FailureHandler onFailure);
  // Continues a journal that is already open (one recovered at start).
  JournalWriter(std::unique_ptr<JournalSink> journal, FailureHandler onFailure);
  // Writes what is queued, then stops the thread; the file stays (the run did not end
  // cleanly: its readings are offered at the next start).
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // Queues one recorded record. Ignored after finish().
  void append(const RecordFields& record);
  // Queues emptying the journal (after the records queued before). Ignored after finish().
  void clear();
  // Blocks until everything queued before is written and synced (or the journal stopped).
  void flush();
  // Clean end: drops what is still queued, stops the thread and removes the journal. Fails
  // with "<journal's name>: <reason>" when the file could not be removed (it then stays,
  // whole lines and all). Done when there was no journal to remove or finish() was called
  // before.
  Result<> finish();

  // True once a write failed (the journal stopped). Any thread.
  [[nodiscard]] bool stopped() const;

 private:
  struct Item {
    bool clear = false;
    RecordFields record;
  };

  void run(const std::stop_token& stop);
  void writeBatch(std::vector<Item>& batch);
  void fail(const std::string& reason);

  Opener m_opener;
  FailureHandler m_onFailure;
  std::unique_ptr<JournalSink> m_journal;  // writer thread's until it is joined

  std::mutex m_mutex;
  std::condition_variable_any m_queued;
  std::condition_variable m_idle;
  std::vector<Item> m_queue;  // guarded by m_mutex
  bool m_busy = false;        // guarded: the thread is writing a batch
  std::atomic<bool> m_stopped{false};
  bool m_finished = false;  // main thread
  std::jthread m_thread;    // last: starts after every member above exists
};

}  // namespace ostrel
