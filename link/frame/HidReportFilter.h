#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace ostrel {

// Decides on a device's read thread, before the hand-off, which input reports can matter to the
// data handler; the others are dropped there and cost the main thread nothing. One instance per
// read thread, used by that thread only.
class HidReportFilter {
 public:
  virtual ~HidReportFilter() = default;
  // A report as read, byte 0 the report ID (never empty). False: drop it.
  virtual bool pass(std::span<const std::uint8_t> report) = 0;
  // Reports were read and dropped unseen while the handler's pause ran: the next report does not
  // follow the last one passed.
  virtual void gap() = 0;
};

// Called on the main thread when a read thread starts; may return nullptr (no filter).
using HidReportFilterFactory = std::function<std::unique_ptr<HidReportFilter>()>;

}  // namespace ostrel
