// tests_window_probe: the window program recording from the virtual meter over a table of many
// records, with the Tests window open or not, one case per fresh process. Prints how often the
// readings came and the longest gap between two of them: the Tests window follows the table
// (an analysis at most once a second) and must not hold the readings back. See ../README.md.
//
//   tests_window_probe open|closed [--seconds S] [--records N]
//       The table holds N records (default 1,000,000): ten-minute timed insulation tests, a
//       reading a second each. Connects, opens the Tests window ("open") or not ("closed"),
//       and records for S seconds (default 60) after the first reading.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/WindowLink.h"
#include "record/ReadingsTable.h"
#include "sim/hid/SimHidPlatform.h"
#include "sim/meter/VirtualMeter.h"
#include "ui/AppState.h"
#include "ui/ReportAndChart.h"
#include "ui/TFrmTest.h"

namespace {

using Clock = std::chrono::steady_clock;

// Ten-minute timed tests at 1000 V, a reading a second, R rising as the insulation charges.
void fillWithTests(ostrel::ReadingsTable& table, int records) {
  char value[16];
  for (int i = 0; i < records; ++i) {
    const int t = i % 601;
    std::snprintf(value, sizeof value, "%.1f", 150.0 + 250.0 * t / 600.0);
    table.append({i + 1, (8 * 3'600'000 + i * 1000) % 86'400'000, value, "M\xA6\xB8",
                  "IR:1000V 40G\xA6\xB8", "Timed", t});
  }
}

void runFor(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(time, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

int usage() {
  std::fputs("usage: tests_window_probe open|closed [--seconds S] [--records N]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const bool open = std::strcmp(argv[1], "open") == 0;
  if (!open && std::strcmp(argv[1], "closed") != 0) return usage();
  int seconds = 60;
  int records = 1'000'000;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) {
      seconds = std::stoi(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--records") == 0) {
      records = std::stoi(argv[i + 1]);
    } else {
      return usage();
    }
  }

  QApplication app(argc, argv);
  ostrel::AppState state;
  ostrel::SimHidPlatform platform;
  ostrel::sim::VirtualMeter meter{platform};
  ostrel::TFrmTest window{state};
  ostrel::ReportAndChart reportAndChart{window, state};
  ostrel::WindowLink link{window, platform, " (virtual meter)"};
  {
    ostrel::ReadingsTable loaded;
    fillWithTests(loaded, records);
    window.table().swapRecords(loaded);
  }
  window.show();
  std::vector<Clock::time_point> recorded;
  window.setRecordedHook([&recorded](std::size_t) { recorded.push_back(Clock::now()); });
  window.Panel2Click();
  if (open) window.showTestsWindow();
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (recorded.empty() && Clock::now() < deadline) runFor(std::chrono::milliseconds(50));
  if (recorded.empty()) {
    std::fputs("tests_window_probe: no readings from the virtual meter\n", stderr);
    return 1;
  }
  recorded.clear();
  runFor(std::chrono::seconds(seconds));
  if (recorded.size() < 2) {
    std::fputs("tests_window_probe: fewer than two readings\n", stderr);
    return 1;
  }
  double longest = 0;
  for (std::size_t i = 1; i < recorded.size(); ++i) {
    longest =
        std::max(longest, std::chrono::duration<double>(recorded[i] - recorded[i - 1]).count());
  }
  const double span = std::chrono::duration<double>(recorded.back() - recorded.front()).count();
  std::printf("%s: %d records, %zu readings in %d s, every %.3f s on average, longest gap %.3f s\n",
              open ? "Tests window open" : "Tests window closed", records, recorded.size(), seconds,
              span / static_cast<double>(recorded.size() - 1), longest);
  return 0;
}
