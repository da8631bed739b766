#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ConnectionFixture.h"
#include "sim/frames/ReportStream.h"
#include "sim/meter/VirtualMeter.h"

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

std::string numberedValue(int i) { return std::to_string(i) + (i < 10 ? ".000" : ".00"); }

// Frames showing 1.000, 2.000, ... 10.00 ... MΩ, so each record tells which frame it came from.
std::vector<sim::FrameBuilder::Frame> numberedFrames(int count) {
  std::vector<sim::FrameBuilder::Frame> frames;
  for (int i = 1; i <= count; ++i) {
    sim::FrameBuilder builder;
    builder.mainDigits(numberedValue(i)).unit("MΩ").testVoltage(" 500");
    frames.push_back(builder.bytes());
  }
  return frames;
}

std::string value(const ReadingsTable& table, std::size_t row) {
  return std::string(table.text(row, ReadingsTable::Value).value_or(""));
}

struct ListCase {
  const char* name;
  std::vector<SimHidDeviceSpec> devices;
  std::vector<std::string> entries;
  int selected;
};
void PrintTo(const ListCase& c, std::ostream* out) { *out << c.name; }

class DeviceListTest : public ConnectionFixture, public ::testing::WithParamInterface<ListCase> {};

TEST_P(DeviceListTest, EntriesAndCableSelection) {
  for (const SimHidDeviceSpec& spec : GetParam().devices) m_platform.addDevice(spec);
  start();
  EXPECT_EQ(m_link.DevListBox, GetParam().entries);
  EXPECT_EQ(m_link.DevListBoxItemIndex, GetParam().selected);
}

SimHidDeviceSpec withSerial(SimHidDeviceSpec spec, std::u16string serial) {
  spec.serial = std::move(serial);
  spec.string0 = u"\x0409";
  return spec;
}

// As on hidraw: no language list, the serial as the kernel keeps it (empty without one).
SimHidDeviceSpec withSystemSerial(SimHidDeviceSpec spec, std::u16string serial) {
  spec.serial = std::move(serial);
  spec.string0 = std::nullopt;
  spec.serialSource = HidSerialSource::SystemRecord;
  return spec;
}

SimHidDeviceSpec unnamed() {
  SimHidDeviceSpec spec;
  spec.attributes = {0x04D9, 0xA0F8, 1};
  spec.product = std::nullopt;
  return spec;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceListTest,
    ::testing::Values(
        ListCase{"NoCable", {namedSpec(u"Keyboard", 1), unnamed()},
                 {"Keyboard", "Device VID=04D9 PID=A0F8"}, -1},
        ListCase{"Cable", {namedSpec(u"Mouse", 2), cableSpec()}, {"Mouse", "USB to Serial"}, 1},
        ListCase{"CableWithSerial", {withSerial(cableSpec(), u"0042")},
                 {"USB to Serial (Serial=0042)"}, -1},
        ListCase{"CableWithSystemSerial", {withSystemSerial(cableSpec(), u"A1B2C3")},
                 {"USB to Serial (Serial=A1B2C3)"}, -1},
        ListCase{"CableWithoutSystemSerial", {withSystemSerial(cableSpec(), u"")},
                 {"USB to Serial"}, 0},
        ListCase{"TwoCablesLaterWins", {cableSpec(), namedSpec(u"Mouse", 2), cableSpec()},
                 {"USB to Serial", "Mouse", "USB to Serial"}, 2}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });
// clang-format on

TEST_F(ConnectionFixture, NoCableShowsMessageAndStaysDisconnected) {
  m_platform.addDevice(namedSpec(u"Keyboard", 1));
  start();
  m_connection->Panel2Click();
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_EQ(m_messages[0],
            "USB interface cable is not securely connected, please check and re-try.");
  EXPECT_EQ(m_connection->caption(), "Connect");
  EXPECT_FALSE(m_link.USBConDown);
  EXPECT_TRUE(m_link.HistoryListBox.empty());
}

TEST_F(ConnectionFixture, DeviceWithoutReadWriteAccessEndsDisconnectedWithoutMessage) {
  SimHidDeviceSpec spec = cableSpec();
  spec.readWrite = false;
  m_platform.addDevice(spec);
  start();
  m_connection->Panel2Click();
  EXPECT_TRUE(m_messages.empty());
  EXPECT_FALSE(m_link.USBConDown);
  EXPECT_EQ(m_connection->caption(), "Connect");
  EXPECT_FALSE(m_connection->reading());
}

TEST_F(ConnectionFixture, ConnectSendsLineSettingsOnceAndRecordsFramesInOrder) {
  sim::VirtualMeter meter(m_platform, numberedFrames(50));
  start();
  m_connection->Panel2Click();

  EXPECT_EQ(m_connection->caption(), "Disconnect");
  EXPECT_TRUE(m_connection->reading());
  const auto features = m_platform.featureLog(meter.deviceId());
  ASSERT_EQ(features.size(), 1u);
  EXPECT_EQ(features[0],
            std::vector<std::uint8_t>(lineSettingsReport.begin(), lineSettingsReport.end()));
  EXPECT_EQ(m_link.HistoryListBox, std::vector<std::string>{"00 60 09 00 00 03 00 00 00 00 "});

  ASSERT_TRUE(pumpUntil([&] { return m_cds1.recordCount() >= 3; }));
  EXPECT_TRUE(m_connection->timer2Active());  // Receiving
  // The first frame, then always the newest whole one after the pause: frames the meter sent
  // during a pause are skipped, never recorded late.
  EXPECT_EQ(value(m_cds1, 0), numberedValue(1));
  for (std::size_t row = 1; row < 3; ++row) {
    EXPECT_EQ(m_cds1.no(row), static_cast<int>(row) + 1);
    EXPECT_GT(std::stod(value(m_cds1, row)), std::stod(value(m_cds1, row - 1)) + 1);
  }
  EXPECT_EQ(lineSettingsLines(), 1);  // Timer2 never fired while frames flowed
}

TEST_F(ConnectionFixture, DamagedFramesAreDropped) {
  sim::VirtualMeter meter(m_platform, numberedFrames(50));
  meter.sendGarbage(2);
  start();
  ASSERT_TRUE(connectUntilRecorded(2));
  EXPECT_EQ(value(m_cds1, 0), "3.000");
}

// A test that fails part-way leaves the link reading while its meter goes: the meter's feed
// must be detached first, so the read thread never calls into a meter that is gone.
TEST_F(ConnectionFixture, MeterThatGoesWhileBeingReadIsDetachedFirst) {
  auto meter = std::make_unique<sim::VirtualMeter>(m_platform, numberedFrames(50));
  start();
  ASSERT_TRUE(connectUntilRecorded(1));
  meter.reset();
  const std::size_t records = m_cds1.recordCount();
  pumpFor(300ms);
  EXPECT_TRUE(m_connection->reading());
  EXPECT_LE(m_cds1.recordCount(), records + 1);  // at most the frame under way
}

TEST_F(ConnectionFixture, SilentMeterMakesTheLinkRetryEverySecond) {
  sim::VirtualMeter meter(m_platform, numberedFrames(50));
  start();
  ASSERT_TRUE(connectUntilRecorded(1));
  meter.setSilent(true);
  const int before = lineSettingsLines();
  ASSERT_TRUE(pumpUntil([&] { return lineSettingsLines() >= before + 3; }, 6s));
  EXPECT_EQ(m_connection->caption(), "Disconnect");
  EXPECT_TRUE(m_connection->timer2Active());

  // A click during the retry cycle connects again (Retry pause) or disconnects (retry's
  // reading half); either way Timer2 stops and the caption follows the link flag.
  m_connection->Panel2Click();
  EXPECT_FALSE(m_connection->timer2Active());
  EXPECT_EQ(m_connection->caption(), m_link.USBConDown ? "Disconnect" : "Connect");
  EXPECT_EQ(m_connection->reading(), m_link.USBConDown);
}

// Reports without data only: nothing is recorded, the retry cycle runs (each toggle logs the
// line settings it sends, and nothing else), and frames are recorded again once they return.
TEST_F(ConnectionFixture, IdleReportsOnlyRetryWithoutRecordsAndResume) {
  sim::VirtualMeter meter(m_platform, numberedFrames(50));
  start();
  ASSERT_TRUE(connectUntilRecorded(1));
  meter.setIdleOnly(true);
  pumpFor(300ms);  // reports already handed over are taken
  const std::size_t recorded = m_cds1.recordCount();
  const std::size_t historyBefore = m_link.HistoryListBox.size();
  const int settingsBefore = lineSettingsLines();
  ASSERT_TRUE(pumpUntil([&] { return lineSettingsLines() >= settingsBefore + 2; }, 6s));
  EXPECT_EQ(m_cds1.recordCount(), recorded);
  EXPECT_EQ(m_link.HistoryListBox.size() - historyBefore,
            static_cast<std::size_t>(lineSettingsLines() - settingsBefore));

  meter.setIdleOnly(false);
  ASSERT_TRUE(pumpUntil([&] { return m_cds1.recordCount() > recorded; }, 6s));
}

TEST_F(ConnectionFixture, ClickDuringRetryPauseConnectsAgain) {
  sim::VirtualMeter meter(m_platform, numberedFrames(50));
  start();
  ASSERT_TRUE(connectUntilRecorded(1));
  meter.setSilent(true);
  ASSERT_TRUE(pumpUntil([&] { return !m_link.USBConDown; }, 3s));  // Retry pause
  m_connection->Panel2Click();
  EXPECT_TRUE(m_link.USBConDown);
  EXPECT_TRUE(m_connection->reading());
  EXPECT_EQ(m_connection->caption(), "Disconnect");
}

TEST_F(ConnectionFixture, ReplugWhileReceivingLogsBothAndReadingResumesByItself) {
  sim::VirtualMeter meter(m_platform, numberedFrames(50));
  start();
  ASSERT_TRUE(connectUntilRecorded(1));

  meter.unplug();
  ASSERT_TRUE(pumpUntil([&] { return historyHas("Removal of USB to Serial"); }));
  EXPECT_FALSE(m_connection->reading());
  meter.plug();
  ASSERT_TRUE(pumpUntil([&] { return historyHas("Arrival of USB to Serial"); }));
  EXPECT_EQ(m_link.DevListBoxItemIndex, 0);

  const std::size_t recorded = m_cds1.recordCount();
  ASSERT_TRUE(pumpUntil([&] { return m_cds1.recordCount() > recorded + 1; }, 6s));
  EXPECT_EQ(m_connection->caption(), "Disconnect");
  EXPECT_EQ(m_cds1.no(m_cds1.recordCount() - 1), static_cast<int>(m_cds1.recordCount()));
}

TEST_F(ConnectionFixture, DisconnectWhileReceivingStopsCleanly) {
  sim::VirtualMeter meter(m_platform, numberedFrames(50));
  start();
  ASSERT_TRUE(connectUntilRecorded(2));

  m_connection->Panel2Click();
  EXPECT_EQ(m_connection->caption(), "Connect");
  EXPECT_FALSE(m_connection->timer2Active());
  EXPECT_FALSE(m_connection->reading());
  EXPECT_EQ(m_platform.openReaders(meter.deviceId()), 0);
  EXPECT_EQ(lineSettingsLines(), 2);
  const std::size_t recorded = m_cds1.recordCount();
  pumpFor(700ms);
  EXPECT_EQ(m_cds1.recordCount(), recorded);
}

TEST_F(ConnectionFixture, ShutdownWhileReadingEndsTheReadThread) {
  sim::VirtualMeter meter(m_platform, numberedFrames(50));
  start();
  ASSERT_TRUE(connectUntilRecorded(1));
  m_meterLink.reset();
  EXPECT_EQ(m_platform.openReaders(meter.deviceId()), 0);
}

TEST_F(ConnectionFixture, ReadErrorsAreLoggedWithSystemTextAndHexCode) {
  const auto id = m_platform.addDevice(cableSpec());
  m_platform.failReaderOpens(id, 1, EACCES);
  start();
  m_connection->Panel2Click();
  ASSERT_TRUE(pumpUntil([&] { return m_link.HistoryListBox.size() >= 2; }));
  EXPECT_EQ(m_link.HistoryListBox[1], "READ ERROR: Permission denied (D)");
}

const std::vector<std::uint8_t> idleReportBytes = sim::reportBytes(sim::idleReport());

void pushDataReports(SimHidPlatform& platform, SimHidPlatform::DeviceId id,
                     const sim::FrameBuilder::Frame& frame) {
  for (const sim::InputReport& report : sim::packSerialBytes(frame)) {
    platform.pushInputReport(id, sim::reportBytes(report));
  }
}

// The click falls between a frame's last data report and the report without data that ends
// it; that report comes `GetParam()` ms after the click, while the read thread is stopping,
// or (-1) the read thread has already taken it when the click comes, so that the stop's drain
// hands it over.
class DisconnectTest : public ConnectionFixture, public ::testing::WithParamInterface<int> {};

TEST_P(DisconnectTest, StaysDisconnectedWhateverArrivesAfterTheClick) {
  const auto id = m_platform.addDevice(cableSpec());
  start();
  const auto frames = numberedFrames(2);
  m_connection->Panel2Click();
  pushDataReports(m_platform, id, frames[0]);
  m_platform.pushInputReport(id, idleReportBytes);
  ASSERT_TRUE(pumpUntil([&] { return m_cds1.recordCount() == 1; }));
  ASSERT_TRUE(m_connection->timer2Active());
  pumpFor(ConnectionControl::pauseAfterFrame + 100ms);
  pushDataReports(m_platform, id, frames[1]);
  ASSERT_TRUE(pumpUntil([&] { return m_assembler.HexAccumulator.size() == 44; }));

  std::thread meter;
  if (GetParam() < 0) {
    // No events are processed meanwhile: the report stays in the hand-off.
    m_platform.pushInputReport(id, idleReportBytes);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (m_platform.queuedReports(id) != 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(m_platform.queuedReports(id), 0U);
  } else {
    meter = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(GetParam()));
      m_platform.pushInputReport(id, idleReportBytes);
    });
  }
  m_connection->Panel2Click();
  if (meter.joinable()) meter.join();
  pumpFor(1300ms);  // past Timer2's interval from the click

  EXPECT_EQ(m_connection->caption(), "Connect");
  EXPECT_FALSE(m_link.USBConDown);
  EXPECT_FALSE(m_connection->timer2Active());
  EXPECT_FALSE(m_connection->reading());
  EXPECT_EQ(m_cds1.recordCount(), 1U);
  EXPECT_EQ(lineSettingsLines(), 2);  // the connect and the disconnect, no retry toggle
}

INSTANTIATE_TEST_SUITE_P(ReportDelays, DisconnectTest, ::testing::Values(-1, 0, 10, 40, 70, 100),
                         [](const auto& paramInfo) {
                           return paramInfo.param < 0 ? std::string("TakenBeforeTheClick")
                                                      : std::to_string(paramInfo.param) + "ms";
                         });

using ReadingKey = std::tuple<std::string, std::string, std::string, std::string>;

ReadingKey readingOf(const sim::FrameBuilder& frame) {
  DisplayModel display;
  ReadingTexts reading;
  FrameDecoder decoder(display, reading, ".");
  decoder.ShowData860(frame.text());
  return {reading.CurrentValue, reading.UnitText, reading.VRangeText, reading.IRangeText};
}

ReadingKey recordOf(const ReadingsTable& table, std::size_t row) {
  const auto field = [&](ReadingsTable::Field f) {
    return std::string(table.text(row, f).value_or(""));
  };
  return {field(ReadingsTable::Value), field(ReadingsTable::Unit), field(ReadingsTable::V_Range),
          field(ReadingsTable::I_Range)};
}

// A bridge faster than the system's report queue can hold through the pause after a frame (200
// reports a second against a queue of 64): every reading recorded is one the meter showed, and
// no report is lost to a full queue.
TEST_F(ConnectionFixture, FastBridgeNeverSplicesFramesNorFillsTheReportQueue) {
  SimHidDeviceSpec spec = cableSpec();
  spec.reportQueueLimit = 64;
  const auto id = m_platform.addDevice(spec);
  start();
  sim::FrameBuilder low;
  low.mainDigits("1.234").unit("MΩ").testVoltage(" 500").barGraph(3);
  sim::FrameBuilder high;
  high.mainDigits("5678").unit("GΩ").testVoltage("1000").barGraph(25);
  const std::set<ReadingKey> shown{readingOf(low), readingOf(high)};
  ASSERT_EQ(shown.size(), 2U);
  std::vector<std::vector<std::uint8_t>> cycle;
  // bytes() returns a copy: each range must come from one copy, not from two.
  const auto lowFrame = low.bytes();
  const auto highFrame = high.bytes();
  for (const auto& report : sim::reportStream(
           {{lowFrame.begin(), lowFrame.end()}, {highFrame.begin(), highFrame.end()}})) {
    cycle.push_back(sim::reportBytes(report));
  }

  m_connection->Panel2Click();
  std::atomic<bool> bridgeOn{true};
  std::thread bridge([&] {
    auto due = std::chrono::steady_clock::now();
    for (std::size_t i = 0; bridgeOn; ++i) {
      m_platform.pushInputReport(id, cycle[i % cycle.size()]);
      due += 5ms;
      std::this_thread::sleep_until(due);
    }
  });
  const auto start = std::chrono::steady_clock::now();
  pumpFor(3s);
  bridgeOn = false;
  bridge.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  EXPECT_EQ(m_platform.droppedReports(id), 0U);
  ASSERT_GE(m_cds1.recordCount(), 3U);
  EXPECT_LE(static_cast<double>(m_cds1.recordCount()), 2 * seconds + 1);  // the pause holds
  for (std::size_t row = 0; row < m_cds1.recordCount(); ++row) {
    EXPECT_TRUE(shown.count(recordOf(m_cds1, row)) == 1)
        << "record " << row + 1
        << " is a reading the meter never showed: " << std::get<0>(recordOf(m_cds1, row)) << " "
        << std::get<2>(recordOf(m_cds1, row));
  }
}

TEST(readErrorText, TrimsTheSystemTextAndWritesTheCodeInUpperCaseHex) {
  EXPECT_EQ(readErrorText(ENODEV), "READ ERROR: No such device (13)");
  EXPECT_EQ(readErrorText(EIO), "READ ERROR: Input/output error (5)");
}

}  // namespace
}  // namespace ostrel::test
