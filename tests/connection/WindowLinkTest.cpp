#include <gtest/gtest.h>

#include <QApplication>

#include "app/WindowLink.h"
#include "sim/meter/VirtualMeter.h"
#include "tests/link/LinkTestSupport.h"
#include "ui/AppState.h"
#include "ui/TFrmTest.h"

namespace {

// The window with its link on the virtual meter: Panel2 connects, frames reach the mirror and
// the table, Panel2 disconnects; the link goes before the window without a hang.
TEST(WindowLink, Panel2ConnectsRecordsAndDisconnects) {
  ostrel::SimHidPlatform platform;
  ostrel::sim::VirtualMeter meter(platform);
  ostrel::AppState state;
  ostrel::TFrmTest window(state);
  {
    ostrel::WindowLink link(window, platform, " (virtual meter)");
    EXPECT_TRUE(window.windowTitle().endsWith(QStringLiteral(" (virtual meter)")));
    EXPECT_EQ(window.link().DevListBoxItemIndex, 0);
    EXPECT_EQ(window.connectCaption(), QStringLiteral("Connect"));

    window.Panel2Click();
    EXPECT_EQ(window.connectCaption(), QStringLiteral("Disconnect"));
    ASSERT_TRUE(ostrel::test::pumpUntil([&] { return window.table().recordCount() >= 2; }));

    window.SetFeatureClick();
    EXPECT_EQ(platform.featureLog(meter.deviceId()).size(), 2u);

    window.Panel2Click();
    EXPECT_EQ(window.connectCaption(), QStringLiteral("Connect"));
    window.Panel2Click();  // connected again when the window closes
  }
  EXPECT_EQ(platform.openReaders(meter.deviceId()), 0);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
