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

std::string JournalWriter::finish() {
  if (m_finished) return {};
  m_finished = true;
  {
    const std::lock_guard lock(m_mutex);
    m_queue.clear();
  }
  m_thread.request_stop();
  m_thread.join();
  if (!m_journal) return {};
  std::string error = m_journal->remove();
  m_journal.reset();
  return error;
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
      if (std::string error = m_journal->clear(); !error.empty()) fail(error);
      continue;
    }
    if (stopped()) continue;
    if (!m_journal) {
      std::string error;
      m_journal = m_opener ? m_opener(error) : nullptr;
      if (!m_journal) {
        fail(error.empty() ? std::string("cannot create the journal") : error);
        continue;
      }
    }
    if (std::string error = m_journal->appendLine(journalLine(item.record)); !error.empty()) {
      fail(error);
      continue;
    }
    wrote = true;
  }
  if (wrote && !stopped()) {
    if (std::string error = m_journal->sync(); !error.empty()) fail(error);
  }
}

void JournalWriter::fail(const std::string& reason) {
  if (m_stopped.exchange(true)) return;
  if (m_onFailure) m_onFailure(reason);
}

}  // namespace ostrel
