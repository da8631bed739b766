#include <gtest/gtest.h>

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "link/THidDevice.h"
#include "link/THidDeviceController.h"
#include "tests/link/LinkTestSupport.h"

namespace ostrel {
namespace {

using test::deliverNotices;
using test::namedSpec;

// The product string, or the product ID when no string is at hand (a removed device whose string
// was never read before its removal).
std::string name(THidDevice& device) {
  const std::u16string product = device.ProductString();
  return product.empty() ? "PID=" + std::to_string(device.ProductID())
                         : QString::fromStdU16String(product).toStdString();
}

// A simulated platform with devices "A" and "B", a controller, and an event log of its handlers.
class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_a = m_platform.addDevice(namedSpec(u"A", 1));
    m_b = m_platform.addDevice(namedSpec(u"B", 2));
    m_controller = std::make_unique<THidDeviceController>(m_platform);
    deliverNotices();
  }
  void TearDown() override {
    m_held.clear();
    m_controller.reset();
  }

  void logEvents() {
    // Strings are readable inside arrival and removal events (cached ones only for a removed
    // device).
    m_controller->SetOnArrival([this](THidDevice& d) { m_log.push_back("arrival " + name(d)); });
    m_controller->SetOnRemoval([this](THidDevice& d) { m_log.push_back("removal " + name(d)); });
    m_controller->SetOnDeviceChange([this](THidDeviceController&) { m_log.push_back("change"); });
  }

  SimHidPlatform m_platform;
  SimHidPlatform::DeviceId m_a = 0;
  SimHidPlatform::DeviceId m_b = 0;
  std::unique_ptr<THidDeviceController> m_controller;
  std::vector<std::unique_ptr<THidDevice>> m_held;
  std::vector<std::string> m_log;
};

TEST_F(ControllerTest, AssigningOnDeviceChangeFiresItOnceEvenWithoutChanges) {
  logEvents();
  EXPECT_EQ(m_log, (std::vector<std::string>{"change"}));
  const THidNotifyEvent same = m_controller->OnDeviceChange();
  m_controller->SetOnDeviceChange(same);
  m_controller->DeviceChange();  // a notice with nothing added or removed
  EXPECT_EQ(m_log, (std::vector<std::string>{"change"}));
}

TEST_F(ControllerTest, RemovalsComeBeforeArrivalsAndTheChangeComesLast) {
  logEvents();
  m_log.clear();
  const auto c = m_platform.addDevice(namedSpec(u"C", 3));
  m_platform.unplug(m_a);
  deliverNotices();
  EXPECT_EQ(m_log, (std::vector<std::string>{"removal PID=1", "arrival C", "change"}));
  ASSERT_EQ(m_controller->Count(), 2);
  EXPECT_EQ(m_controller->Device(1)->PnPInfo().DevicePath, m_platform.path(c));
}

TEST_F(ControllerTest, ReplugGivesANewInstanceAndSoARemovalAndAnArrival) {
  logEvents();
  m_log.clear();
  m_platform.unplug(m_b);
  m_platform.plug(m_b);
  deliverNotices();
  EXPECT_EQ(m_log, (std::vector<std::string>{"removal PID=2", "arrival B", "change"}));
  EXPECT_EQ(m_controller->Device(1)->PnPInfo().DeviceInstance, m_platform.instance(m_b));
}

TEST_F(ControllerTest, RemovedCheckedOutDeviceStaysListedAndIsReportedAgainAtEveryNotice) {
  logEvents();
  m_held.push_back(m_controller->CheckOutDevice(0));
  THidDevice& a = *m_held.back();
  EXPECT_EQ(name(a), "A");  // cached while it is still plugged in
  a.SetUnplugHandler([this](THidDevice&) { m_log.push_back("unplug"); });
  m_log.clear();
  m_platform.unplug(m_a);
  deliverNotices();
  EXPECT_EQ(m_log, (std::vector<std::string>{"unplug", "removal A", "change"}));
  EXPECT_FALSE(a.PluggedIn());
  EXPECT_EQ(m_controller->Device(0), &a);

  m_log.clear();
  m_platform.addDevice(namedSpec(u"C", 3));
  deliverNotices();
  EXPECT_EQ(m_log, (std::vector<std::string>{"removal A", "arrival C", "change"}));

  m_held.clear();  // check-in of an unplugged device takes it out of the list
  EXPECT_EQ(m_controller->Count(), 2);
  EXPECT_NE(m_controller->Device(0), nullptr);
  EXPECT_TRUE(m_controller->Device(0)->PluggedIn());
}

TEST_F(ControllerTest, CheckInReplacesThePluggedInDeviceAtTheSamePosition) {
  std::unique_ptr<THidDevice> b = m_controller->CheckOutDevice(1);
  ASSERT_NE(b, nullptr);
  const THidDataEvent handler = [](THidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
  };
  const THidPlugEvent unplug = [](THidDevice&) {};
  b->SetDataHandler(handler);
  b->SetUnplugHandler(unplug);
  b->SetSleepTime(50);
  EXPECT_TRUE(b->Reading());
  b.reset();

  ASSERT_EQ(m_controller->Count(), 2);
  THidDevice* fresh = m_controller->Device(1);
  EXPECT_EQ(fresh->PnPInfo().DevicePath, m_platform.path(m_b));
  EXPECT_FALSE(fresh->CheckedOut());
  EXPECT_FALSE(fresh->Reading());
  EXPECT_TRUE(fresh->DataHandler() == handler);
  EXPECT_TRUE(fresh->UnplugHandler() == unplug);
  EXPECT_EQ(fresh->SleepTime(), 50);
  b = m_controller->CheckOutDevice(1);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->Reading());
}

TEST_F(ControllerTest, CheckOutRefusesPositionsOutsideTheListAndCheckedOutDevices) {
  m_held.push_back(m_controller->CheckOutDevice(0));
  for (const int idx : {-1, 2, 0}) {
    EXPECT_EQ(m_controller->CheckOutDevice(idx), nullptr) << "position " << idx;
  }
}

TEST_F(ControllerTest, EnumerateWithoutHandlerVisitsOnlyTheFirstPluggedInDevice) {
  EXPECT_EQ(m_controller->EnumerateDevices(), 1);
  std::vector<int> visited;
  m_controller->SetOnEnumerate([&](THidDevice& device, int idx) {
    EXPECT_TRUE(device.InControllerEvent());
    visited.push_back(idx);
    m_held.push_back(m_controller->CheckOutDevice(idx));
    return true;
  });
  EXPECT_EQ(m_controller->EnumerateDevices(), 2);
  EXPECT_EQ(visited, (std::vector<int>{0, 1}));
  EXPECT_FALSE(m_held[0]->InControllerEvent());
  EXPECT_EQ(name(*m_held[1]), "B");  // checked out: accessible outside the event

  m_controller->SetOnEnumerate([](THidDevice&, int) { return false; });
  EXPECT_EQ(m_controller->EnumerateDevices(), 1);
}

TEST_F(ControllerTest, CheckedInDeviceIsNotAccessibleOutsideControllerEvents) {
  EXPECT_EQ(m_controller->Device(0)->ProductString(), u"");
  EXPECT_FALSE(m_controller->Device(0)->SendFeature(std::vector<std::uint8_t>{0, 1}));
}

TEST_F(ControllerTest, EnumerateOnAnEmptyListReturnsZero) {
  m_platform.unplug(m_a);
  m_platform.unplug(m_b);
  deliverNotices();
  EXPECT_EQ(m_controller->Count(), 0);
  EXPECT_EQ(m_controller->EnumerateDevices(), 0);
}

TEST_F(ControllerTest, OnlyOneControllerPerProgram) {
  try {
    THidDeviceController second(m_platform);
    FAIL() << "a second controller was created";
  } catch (const EControllerError& error) {
    EXPECT_STREQ(error.what(), "Only one THidDeviceController allowed per program");
  }
  m_controller.reset();
  EXPECT_NO_THROW(THidDeviceController again(m_platform));
}

TEST_F(ControllerTest, InterfacesThatCannotBeOpenedOrIdentifiedAreLeftOut) {
  SimHidDeviceSpec closed = namedSpec(u"closed", 5);
  closed.openable = false;
  SimHidDeviceSpec anonymous = namedSpec(u"anonymous", 6);
  anonymous.identifiable = false;
  m_platform.addDevice(closed);
  m_platform.addDevice(anonymous);
  logEvents();
  EXPECT_EQ(m_controller->Count(), 2);
  EXPECT_EQ(m_log, (std::vector<std::string>{"change"}));
}

TEST_F(ControllerTest, NewHandlersReachOnlyDevicesThatKeptThePreviousOne) {
  const THidDataEvent own = [](THidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
  const THidDataEvent shared = [](THidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
  m_controller->Device(0)->SetDataHandler(own);
  m_controller->SetOnDeviceData(shared);
  EXPECT_TRUE(m_controller->Device(0)->DataHandler() == own);
  EXPECT_TRUE(m_controller->Device(1)->DataHandler() == shared);

  const THidDataErrorEvent errors = [](THidDevice&, std::uint32_t) {};
  m_controller->SetOnDeviceDataError(errors);
  EXPECT_TRUE(m_controller->Device(1)->DataErrorHandler() == errors);

  m_controller->Device(0)->SetSleepTime(70);
  m_controller->SetDevThreadSleepTime(50);
  EXPECT_EQ(m_controller->Device(0)->SleepTime(), 70);
  EXPECT_EQ(m_controller->Device(1)->SleepTime(), 50);
  m_controller->SetDevThreadSleepTime(5);  // out of a device's range: devices keep 50
  EXPECT_EQ(m_controller->DevThreadSleepTime(), 5);
  EXPECT_EQ(m_controller->Device(1)->SleepTime(), 50);
}

TEST_F(ControllerTest, ControllerGoingFirstUnplugsCheckedOutDevices) {
  m_held.push_back(m_controller->CheckOutDevice(0));
  m_held[0]->SetDataHandler([](THidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
  m_controller.reset();
  EXPECT_FALSE(m_held[0]->PluggedIn());
  EXPECT_EQ(m_held[0]->Controller(), nullptr);
  m_held.clear();  // stops the thread; no check-in
}

TEST(ControllerWithoutHid, ListsNothingButStillFiresTheFirstChange) {
  SimHidPlatform platform;
  platform.addDevice(namedSpec(u"A", 1));
  platform.setAvailable(false);
  THidDeviceController controller(platform);
  int changes = 0;
  controller.SetOnDeviceChange([&](THidDeviceController&) { ++changes; });
  EXPECT_EQ(controller.Count(), 0);
  EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace ostrel
