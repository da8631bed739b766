// link_stop_bench: how long the main thread is blocked by the link's stops, on the virtual meter
// with frames flowing. The link is wired as the window wires it (controller, MeterLink over
// the decoder and recording rules); each operation is timed on the main thread at a random
// moment of the frame stream, so it meets the read thread in every state: waiting in a read, in
// a hand-off, in the pause after a frame.
//
//   link_stop_bench [--runs N]      (default 40 of each)
//
// Operations:
//   disconnect    Panel2Click while receiving ("Disconnect": reading stopped, line settings sent)
//   retry-off     Timer2Timer while receiving (the retry toggle that stops reading)
//   retry-on      Timer2Timer in the retry pause (line settings sent, reading started)
//   stop          SetDataHandler(none) on the reading device (the read thread stopped)
//   sleep-1ms     a 1 ms sleep of the main thread: how late a woken thread gets a core under the
//                 machine's present load (a stop includes one such wake of the read thread)
// Each is measured with frames flowing and with a meter fallen silent after the connect. Prints
// the median, the 90th percentile and the longest block of each, in milliseconds.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/MeterLink.h"
#include "decode/DisplayModel.h"
#include "link/ConnectionControl.h"
#include "link/THidDevice.h"
#include "link/THidDeviceController.h"
#include "pipeline/FramePipeline.h"
#include "record/ReadingsTable.h"
#include "record/RecordingRules.h"
#include "sim/hid/SimHidPlatform.h"
#include "sim/meter/VirtualMeter.h"

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

void pumpFor(std::chrono::milliseconds time) {
  const auto end = Clock::now() + time;
  while (Clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::seconds timeout) {
  const auto end = Clock::now() + timeout;
  while (!done() && Clock::now() < end) pumpFor(std::chrono::milliseconds(5));
  return done();
}

double timed(const std::function<void()>& operation) {
  const auto start = Clock::now();
  operation();
  return Milliseconds(Clock::now() - start).count();
}

// The link as the window wires it, on the virtual meter.
struct Link {
  ostrel::SimHidPlatform platform;
  ostrel::sim::VirtualMeter meter{platform};
  ostrel::THidDeviceController controller{platform};
  ostrel::DisplayModel display;
  ostrel::ReadingTexts reading;
  ostrel::ReadingsTable cds1;
  ostrel::RecordingCounters counters;
  ostrel::RecordingControls controls;
  ostrel::RecordingRules rules{cds1, counters, controls};
  ostrel::FramePipeline pipeline{display, reading, rules, "."};
  ostrel::LinkControls controls2;
  ostrel::FrameAssemblerState assembler;
  ostrel::MeterLink meterLink{controller, controls2, assembler, pipeline, {}};
  ostrel::ConnectionControl& connection = meterLink.connection();

  // Connects (from the disconnected state) and waits for a record, so that Timer2 runs.
  bool receive() {
    const std::size_t before = cds1.recordCount();
    connection.Panel2Click();
    return pumpUntil([&] { return cds1.recordCount() > before; }, std::chrono::seconds(10));
  }
};

struct Figures {
  const char* name;
  std::vector<double> blocks;
};

void print(Figures& figures) {
  auto& b = figures.blocks;
  if (b.empty()) return;
  std::sort(b.begin(), b.end());
  std::printf("%-11s runs %3zu  median %7.3f ms  p90 %7.3f ms  longest %7.3f ms\n", figures.name,
              b.size(), b[b.size() / 2], b[b.size() * 9 / 10], b.back());
}

}  // namespace

// One round of each operation, the meter sending frames; with `silentAfterConnect` the meter
// falls silent once the link receives, so that every stop meets a read waiting for a report that
// does not come (as in the retry cycle, which runs exactly then).
bool measureRound(Link& link, bool silentAfterConnect, std::mt19937& random,
                  std::vector<Figures>& figures) {
  std::uniform_int_distribution<int> phase(0, 600);  // beyond a frame period plus the pause
  const auto receive = [&] {
    link.meter.setSilent(false);
    const bool ok = link.receive();
    link.meter.setSilent(silentAfterConnect);
    pumpFor(std::chrono::milliseconds(phase(random)));
    return ok;
  };
  if (!receive()) return false;
  figures[0].blocks.push_back(timed([&] { link.connection.Panel2Click(); }));

  if (!receive()) return false;
  figures[1].blocks.push_back(timed([&] { link.connection.Timer2Timer(); }));
  link.connection.timer2().stop();  // the next toggle is ours, not the timer's
  pumpFor(std::chrono::milliseconds(phase(random)));
  figures[2].blocks.push_back(timed([&] { link.connection.Timer2Timer(); }));
  pumpFor(std::chrono::milliseconds(phase(random)));
  ostrel::THidDevice* device = link.connection.SelectedDevice();
  figures[3].blocks.push_back(timed([&] { device->SetDataHandler({}); }));
  link.connection.Panel2Click();  // Stalled -> Disconnected
  // The yardstick: a 1 ms sleep of the main thread, which takes longer only by the time the
  // machine's other load keeps a woken thread waiting for a core.
  figures[4].blocks.push_back(
      timed([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }));
  return true;
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int runs = 40;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  }
  Link link;
  std::mt19937 random(7);
  for (const bool silent : {false, true}) {
    std::vector<Figures> figures{
        {"disconnect", {}}, {"retry-off", {}}, {"retry-on", {}}, {"stop", {}}, {"sleep-1ms", {}}};
    for (int run = 0; run < runs; ++run) {
      if (!measureRound(link, silent, random, figures)) {
        std::fprintf(stderr, "link_stop_bench: no readings from the virtual meter\n");
        return 1;
      }
    }
    std::printf("%s\n", silent ? "silent meter (a read waits for a report that does not come)"
                               : "frames flowing");
    for (Figures& f : figures) print(f);
  }
  return 0;
}
