#include "TestsAnalysis.h"

#include <algorithm>
#include <utility>

#include "record/TableFiles.h"

namespace ostrel {

TestsAnalysis::TestsAnalysis(ReadingsTable& table, Found found)
    : m_table(table), m_found(std::move(found)) {
  m_table.addObserver(this);
}

TestsAnalysis::~TestsAnalysis() { m_table.removeObserver(this); }

void TestsAnalysis::recordsAppended(std::size_t /*first*/, std::size_t /*count*/) {}

void TestsAnalysis::tableReset() { ++m_generation; }

void TestsAnalysis::request(const TestJudgement& judgement, std::optional<TableEnd> datedFrom) {
  m_pending = judgement;
  m_pendingDatedFrom = datedFrom;
  if (!m_work.busy()) start();
}

void TestsAnalysis::releaseCopy() { m_copy.reset(); }

bool TestsAnalysis::copySlice() {
  // A copy of another generation, or longer than the table (changed while its observers were
  // not told yet), starts again.
  if (!m_copy || m_copyGeneration != m_generation ||
      m_copy->recordCount() > m_table.recordCount()) {
    m_copy = std::make_shared<ReadingsTable>();
    m_copyGeneration = m_generation;
  }
  const std::size_t first = m_copy->recordCount();
  const std::size_t count = std::min(copySliceRecords, m_table.recordCount() - first);
  copyRecords(m_table, first, count, *m_copy);
  return m_copy->recordCount() == m_table.recordCount();
}

void TestsAnalysis::start() {
  auto run = std::make_shared<Run>();
  run->judgement = *m_pending;
  run->datedFrom = m_pendingDatedFrom;
  m_pending.reset();
  BackgroundWork::Job job;
  job.threadName = "ostrel-tests";
  job.showsProgress = false;
  job.cancellable = false;
  job.prepare = [this, run] {
    if (!copySlice()) return false;
    run->table = m_copy;
    run->generation = m_copyGeneration;
    return true;
  };
  job.run = [run](WorkProgress& /*progress*/) {
    if (run->datedFrom) {
      run->judgement.firstDay =
          firstReadingDay(*run->table, run->datedFrom->day, run->datedFrom->ms);
    }
    run->tests = findInsulationTests(*run->table, run->judgement);
  };
  job.finished = [this, run](bool /*cancelled*/) { finished(*run); };
  m_work.start(std::move(job));
}

void TestsAnalysis::finished(Run& run) {
  // Tests of a table that was replaced meanwhile are not shown; the window asks again.
  const bool current = run.generation == m_generation;
  const std::size_t records = run.table ? run.table->recordCount() : 0;
  run.table.reset();
  if (m_pending) {
    start();
  }
  if (current && m_found) m_found(std::move(run.tests), records, run.judgement.firstDay);
}

}  // namespace ostrel
