#pragma once

#include <cstdint>
#include <span>

#include "link/frame/HidReportFilter.h"

namespace ostrel {

// The read-side filter for the frame assembler (report layout in BridgeReport.h). It passes
// exactly the reports that can change what the assembler does:
//   - every data report;
//   - a report without data that ends a frame in progress.
// A report without data while no frame is being collected leaves the assembler as it is, so it
// is dropped: an idle bridge then costs the main thread nothing. The filter follows the
// assembler's "frame in progress" from the reports it passes, which is exact as long as it sees
// every report the assembler would have been given.
//
// After a gap (reports dropped during a pause) the stream no longer follows on: a frame begun
// before the gap must not be finished with the bytes of a later frame. So the data reports after
// a gap are dropped up to the next report without data; from there on everything is passed as
// above, and that report ends a frame begun before the gap, if any, as the frame it was.
//
// Read thread only.
class BridgeReportFilter final : public HidReportFilter {
 public:
  // `frameInProgress`: the assembler's state when the read thread starts.
  explicit BridgeReportFilter(bool frameInProgress = false) : m_collecting(frameInProgress) {}

  bool pass(std::span<const std::uint8_t> report) override;
  void gap() override { m_resyncing = true; }

 private:
  bool m_collecting;
  bool m_resyncing = false;
};

}  // namespace ostrel
