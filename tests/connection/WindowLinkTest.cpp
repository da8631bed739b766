#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <memory>
#include <string>

#include "app/WindowLink.h"
#include "sim/meter/VirtualMeter.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/ui/StubDialogs.h"
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

// Waits until the meter has shown `frames` more readings (the value text changes with them).
bool waitForReadings(const ostrel::AppState& state, int frames) {
  std::string last = state.reading.CurrentValue;
  int seen = 0;
  return ostrel::test::pumpUntil([&] {
    if (state.reading.CurrentValue != last) {
      last = state.reading.CurrentValue;
      ++seen;
    }
    return seen >= frames;
  });
}

// An interval text that is no interval never stops recording while "Sampling Interval" is
// unticked (the edit is marked and the note says why, without a message box); ticked, it
// holds recording until it is corrected.
TEST(WindowLink, AnUnusableIntervalHoldsRecordingOnlyWhileSamplingIsTicked) {
  ostrel::SimHidPlatform platform;
  ostrel::sim::VirtualMeter meter(platform);
  ostrel::AppState state;
  ostrel::test::DialogLog dialogs;
  ostrel::TFrmTest window(state, std::make_unique<ostrel::test::StubDialogs>(dialogs));
  ostrel::WindowLink link(window, platform, " (virtual meter)");
  auto* edit = window.findChild<QLineEdit*>(QStringLiteral("RecordSITime"));
  auto* held = window.findChild<QLabel*>(QStringLiteral("RecordHeld"));
  auto* sampling = window.findChild<QCheckBox*>(QStringLiteral("RecordSI"));
  ASSERT_TRUE(edit && held && sampling);
  const QColor plain = edit->palette().color(QPalette::Base);

  edit->setText(QStringLiteral("12345678901"));
  EXPECT_TRUE(dialogs.errors.isEmpty());
  EXPECT_FALSE(held->isHidden());
  EXPECT_EQ(held->text(), QStringLiteral("'12345678901' is not a valid integer value"));
  window.Panel2Click();
  ASSERT_TRUE(ostrel::test::pumpUntil([&] { return window.table().recordCount() >= 3; }))
      << "unticked, the interval text plays no part";

  sampling->setChecked(true);
  EXPECT_FALSE(held->isHidden());
  EXPECT_EQ(held->toolTip(), QStringLiteral("Recording held: invalid sampling interval"));
  EXPECT_NE(edit->palette().color(QPalette::Base), plain);
  EXPECT_TRUE(edit->toolTip().contains(QStringLiteral("12345678901")));
  const std::size_t recorded = window.table().recordCount();
  ASSERT_TRUE(waitForReadings(state, 3));
  EXPECT_EQ(window.table().recordCount(), recorded) << "held while ticked";
  EXPECT_FALSE(held->isHidden()) << "the note stays while the text is wrong";

  edit->setText(QStringLiteral("0"));
  EXPECT_TRUE(held->isHidden());
  EXPECT_EQ(edit->palette().color(QPalette::Base), plain);
  EXPECT_TRUE(ostrel::test::pumpUntil([&] { return window.table().recordCount() > recorded; }));

  edit->setText(QStringLiteral("99999999999"));
  EXPECT_FALSE(held->isHidden());
  sampling->setChecked(false);
  EXPECT_TRUE(held->toolTip().isEmpty()) << "unticked, nothing is held";
  const std::size_t before = window.table().recordCount();
  EXPECT_TRUE(ostrel::test::pumpUntil([&] { return window.table().recordCount() > before; }));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
