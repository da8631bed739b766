// Fuzz target: a stream of bridge input reports through the frame assembler and the frame
// decoder, as the read thread delivers them.
//
// Input layout: a sequence of reports, each one byte s (Size = s mod 65, the bridge's
// largest report) followed by Size bytes; the last report takes what is left. Every report
// is copied into a buffer of exactly Size bytes so a read past Size is caught.
//
// Checked after every report:
//   - a frame is handed over only at a report without data that ends a frame in progress,
//     and exactly when characters 41-44 of the collected text are "0D0A";
//   - a report without data leaves the accumulator empty and no frame in progress;
//   - a data report appends exactly the bytes it carries, as upper-case hexadecimal;
//   - a second assembler fed only the reports the read side's filter passes is in the same
//     state and has handed over the same frames (the filter drops only what changes nothing).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "decode/DisplayModel.h"
#include "decode/FrameDecoder.h"
#include "decode/ReadingTexts.h"
#include "link/frame/BridgeReportFilter.h"
#include "link/frame/FrameAssembler.h"
#include "link/frame/FrameAssemblerState.h"

namespace {

constexpr std::size_t maxReportSize = 64;

void require(bool condition) {
  if (!condition) std::abort();
}

// The serial bytes a report carries, from the report layout alone: the count in the low
// four bits of Data[0] (1 to 9 marks data), cut to the bytes delivered after Data[0].
std::size_t expectedCarried(const std::vector<std::uint8_t>& report) {
  if (report.empty()) return 0;
  const std::size_t count = report[0] & 0x0F;
  if (count < 1 || count > 9) return 0;
  return count < report.size() ? count : report.size() - 1;
}

bool isUpperHex(std::string_view text) {
  return text.find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
}

std::string hexPair(std::uint8_t byte) {
  constexpr std::string_view digits = "0123456789ABCDEF";
  return {digits[byte >> 4], digits[byte & 0x0F]};
}

bool endsFrame(const std::string& text) {
  return text.size() >= 44 && text.compare(40, 4, "0D0A") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ostrel::FrameAssemblerState state;
  ostrel::FrameAssembler assembler(state);
  ostrel::DisplayModel model;
  ostrel::ReadingTexts reading;
  ostrel::FrameDecoder decoder(model, reading, ".");
  decoder.setTimer2RestartHook([] {});
  decoder.setRecordHook([](int) {});

  std::size_t handedOver = 0;
  std::string lastHandedOver;
  assembler.setFrameHandler([&](const std::string& meterFrame) {
    require(endsFrame(meterFrame));
    require(meterFrame == state.HexAccumulator);
    ++handedOver;
    lastHandedOver = meterFrame;
    return decoder.ShowData860(meterFrame) == ostrel::FrameDecoder::Outcome::Decoded;
  });

  ostrel::FrameAssemblerState filteredState;
  ostrel::FrameAssembler filtered(filteredState);
  ostrel::BridgeReportFilter filter;
  std::size_t filteredHandedOver = 0;
  filtered.setFrameHandler([&](const std::string& meterFrame) {
    require(meterFrame == lastHandedOver);  // the unfiltered assembler took the report first
    ++filteredHandedOver;
    return true;
  });

  std::size_t offset = 0;
  while (offset < size) {
    const std::size_t wanted = data[offset++] % (maxReportSize + 1);
    const std::size_t reportSize = wanted < size - offset ? wanted : size - offset;
    const std::vector<std::uint8_t> report(data + offset, data + offset + reportSize);
    offset += reportSize;

    const std::string before = state.HexAccumulator;
    const bool wasCollecting = state.FrameInProgress;
    const std::size_t handedBefore = handedOver;
    const std::size_t carried = expectedCarried(report);
    const bool isDataReport = !report.empty() && (report[0] & 0x0F) >= 1 && (report[0] & 0x0F) <= 9;

    assembler.Read740(0, report.empty() ? nullptr : report.data(),
                      static_cast<std::uint16_t>(report.size()));
    std::vector<std::uint8_t> withId(report.size() + 1, 0);
    std::copy(report.begin(), report.end(), withId.begin() + 1);
    if (filter.pass(withId)) {
      filtered.Read740(0, report.empty() ? nullptr : report.data(),
                       static_cast<std::uint16_t>(report.size()));
    }
    require(filteredHandedOver == handedOver);
    require(filteredState.HexAccumulator == state.HexAccumulator);
    require(filteredState.FrameInProgress == state.FrameInProgress);

    if (isDataReport) {
      require(handedOver == handedBefore);
      require(state.FrameInProgress);
      require(state.HexAccumulator.size() == before.size() + 2 * carried);
      require(state.HexAccumulator.compare(0, before.size(), before) == 0);
      require(isUpperHex(state.HexAccumulator));
      for (std::size_t k = 1; k <= carried; ++k) {
        require(state.HexAccumulator.compare(before.size() + 2 * (k - 1), 2, hexPair(report[k])) ==
                0);
      }
    } else {
      require(handedOver == handedBefore + (wasCollecting && endsFrame(before) ? 1 : 0));
      require(state.HexAccumulator.empty());
      require(!state.FrameInProgress);
    }
  }
  return 0;
}
