#include "JournalWriter.h"

#include <utility>

#include "JournalRecovery.h"
#include "TextTableFormat.h"

namespace ostrel {

namespace {

// The record's line as "Save Data" writes it, but with the time in the journal's fixed form:
// what the locale makes of a time (a 12-hour clock, its own words) must not decide whether a
// later start can read it back, and the milliseconds are kept. The test time follows as a
// seventh cell when the record has one.
std::string journalLine(const RecordFields& record) {
  ReadingsTable one;
  one.append(record);
  std::string line;
  appendTextRecordLine(line, one, 0, record.TimeMs ? journalTimeText(*record.TimeMs) : "",
                       record.TestTime);
  return line;
}

}  // namespace

JournalWriter::JournalWriter(Opener opener, FailureHandler onFailure)
    : m_opener(std::move(opener)),
      m_onFailure(std::move(onFailure)),
      m_thread([this](const std::stop_token& stop) { run(stop); }) {}

JournalWriter::JournalWriter(std::unique_ptr<JournalSink> journal, FailureHandler onFailure)
    : m_onFailure(std::move(onFailure)),
      m_journal(std::move(journal)),
      m_thread([this](const std::stop_token& stop) { run(stop); }) {}

JournalWriter::~JournalWriter() {
  if (m_thread.joinable()) {
    m_thread.request_stop();
    m_thread.join();
  }
}

void JournalWriter::append(const RecordFields& record) {
  if (m_finished) return;
  if (m_stopped) return;
  {
    const std::lock_guard lock(m_mutex);
    m_queue.push_back({false, record});
  }
  m_queued.notify_one();
}

void JournalWriter::clear() {
  if (m_finished) return;
  {
    const std::lock_guard lock(m_mutex);
    m_queue.push_back({true, {}});
  }
  m_queued.notify_one();
}

void JournalWriter::flush() {
  std::unique_lock lock(m_mutex);
  m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

Result<> JournalWriter::finish() {
  if (m_finished) return {};
  m_finished = true;
  {
    const std::lock_guard lock(m_mutex);
    m_queue.clear();
  }
  m_thread.request_stop();
  m_thread.join();
  if (!m_journal) return {};
  Result<> removed = m_journal->remove();
  if (!removed.ok() && !m_journal->name().empty()) {
    removed = Result<>::failure(m_journal->name() + ": " + removed.message());
  }
  m_journal.reset();
  return removed;
}

bool JournalWriter::stopped() const { return m_stopped; }

void JournalWriter::run(const std::stop_token& stop) {
  std::vector<Item> batch;
  for (;;) {
    {
      std::unique_lock lock(m_mutex);
      m_queued.wait(lock, stop, [this] { return !m_queue.empty(); });
      if (m_queue.empty()) return;  // stop requested and nothing left to write
      batch.swap(m_queue);
      m_busy = true;
    }
    writeBatch(batch);
    batch.clear();
    {
      const std::lock_guard lock(m_mutex);
      m_busy = false;
    }
    m_idle.notify_all();
  }
}

void JournalWriter::writeBatch(std::vector<Item>& batch) {
  bool wrote = false;
  for (const Item& item : batch) {
    if (item.clear) {
      // Also on a stopped journal: its whole lines must not bring deleted records back.
      if (!m_journal) continue;  // nothing written yet
      if (const Result<> cleared = m_journal->clear(); !cleared.ok()) fail(cleared.message());
      continue;
    }
    if (stopped()) continue;
    if (!m_journal) {
      Result<std::unique_ptr<JournalSink>> opened =
          m_opener ? m_opener() : Result<>::failure("cannot create the journal");
      if (opened.cancelled()) {
        m_stopped = true;  // no journal on purpose: its opener has said why
        continue;
      }
      if (!opened.ok()) {
        fail(opened.message());
        continue;
      }
      m_journal = std::move(opened.value());
    }
    if (const Result<> appended = m_journal->appendLine(journalLine(item.record)); !appended.ok()) {
      fail(appended.message());
      continue;
    }
    wrote = true;
  }
  if (wrote && !stopped()) {
    if (const Result<> synced = m_journal->sync(); !synced.ok()) fail(synced.message());
  }
}

void JournalWriter::fail(const std::string& reason) {
  if (m_stopped.exchange(true)) return;
  if (m_onFailure) m_onFailure(reason);
}

}  // namespace ostrel
