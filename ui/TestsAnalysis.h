#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "record/InsulationTests.h"
#include "record/ReadingsTable.h"
#include "ui/work/BackgroundWork.h"

namespace ostrel {

// Finds the insulation tests of the live readings table on a worker thread ("ostrel-tests"), so
// that the main thread, which runs the link and the recording, never waits for an analysis of a
// large table. The worker reads a copy of the table that follows it: before each analysis the
// records appended since the last one are copied on the main thread, a slice per turn of the
// event loop; after anything else changed the table (a load, Delete Data) it is copied anew. The
// tests come back to the main thread through the worker's queued hand-off. One analysis runs at
// a time: asked again meanwhile, the next starts when it ends, with the options last asked for.
// Main thread only; the table must outlive it. Its destruction waits for a running analysis.
class TestsAnalysis : private ReadingsTableObserver {
 public:
  // Told on the main thread: the tests found, the number of records they were found in and the
  // day of the first reading they were dated from (none when the judgement gave none).
  using Found = std::function<void(std::vector<InsulationTest> tests, std::size_t records,
                                   std::optional<std::int32_t> firstDay)>;
  // The moment the table's last reading was taken at the latest (days since 1970-01-01 and
  // milliseconds into that day), from which the first reading's day is worked out.
  struct TableEnd {
    std::int32_t day = 0;
    std::int32_t ms = 0;
  };

  TestsAnalysis(ReadingsTable& table, Found found);
  ~TestsAnalysis() override;
  TestsAnalysis(const TestsAnalysis&) = delete;
  TestsAnalysis& operator=(const TestsAnalysis&) = delete;

  // Asks for the tests of the table as it is now, judged by `judgement`. With `datedFrom`, the
  // judgement's first day is worked out on the worker from the table and that end moment (a walk
  // over every record, kept off the main thread).
  void request(const TestJudgement& judgement, std::optional<TableEnd> datedFrom = std::nullopt);
  // Whether an analysis is asked for, being prepared or running.
  [[nodiscard]] bool busy() const { return m_work.busy() || m_pending.has_value(); }
  // Frees the copy of the table (nobody looks at the tests now); the next request copies the
  // table anew. A running analysis keeps the copy it reads until it ends.
  void releaseCopy();

  // Records copied per turn of the event loop: a few milliseconds of the main thread.
  static constexpr std::size_t copySliceRecords = 16384;

 private:
  // What one analysis shares with the worker: set on the main thread before the worker starts,
  // read there only after it was joined.
  struct Run {
    std::shared_ptr<const ReadingsTable> table;
    TestJudgement judgement;
    std::optional<TableEnd> datedFrom;
    std::uint64_t generation = 0;
    std::vector<InsulationTest> tests;
  };

  void recordsAppended(std::size_t first, std::size_t count) override;
  void tableReset() override;
  void start();
  // Copies the next slice of new records; true once the copy holds the whole table.
  bool copySlice();
  void finished(Run& run);

  ReadingsTable& m_table;
  Found m_found;
  BackgroundWork m_work{nullptr};
  // The copy the worker reads; changed only while no analysis runs.
  std::shared_ptr<ReadingsTable> m_copy;
  std::uint64_t m_generation = 0;      // counts the table's changes other than appends
  std::uint64_t m_copyGeneration = 0;  // the generation m_copy was taken in
  std::optional<TestJudgement> m_pending;
  std::optional<TableEnd> m_pendingDatedFrom;
};

}  // namespace ostrel
