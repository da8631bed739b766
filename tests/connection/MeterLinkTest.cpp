#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>

#include "ConnectionFixture.h"
#include "sim/frames/FrameBuilder.h"
#include "sim/meter/VirtualMeter.h"

namespace ostrel::test {
namespace {

// The pipeline outlives the link (the window's does): once the link is gone, a frame the
// pipeline decodes is still recorded and reaches nothing of the link. While reading, a frame
// restarts Timer2 through the pipeline's hook, so a hook left behind would run on the
// destroyed connection control (a use after free that the sanitizer and valgrind runs see).
TEST_F(ConnectionFixture, AFrameAfterTheLinkIsGoneReachesOnlyThePipeline) {
  const sim::VirtualMeter meter(m_platform);
  start();
  ASSERT_TRUE(connectUntilRecorded(1));
  m_connection = nullptr;
  m_meterLink.reset();
  const std::size_t before = m_cds1.recordCount();
  EXPECT_EQ(m_pipeline->ShowData860(sim::FrameBuilder().mainDigits("7.777").unit("MΩ").text()),
            FrameDecoder::Outcome::Decoded);
  EXPECT_EQ(m_cds1.recordCount(), before + 1);
}

// A link built later where the old one was (the heap hands a freed block out again; an
// optional does it every time) belongs to another pipeline: the old pipeline's frames must not
// reach it. A Timer2 hook left pointing at the old link's place would restart the new link's
// Timer2, and its expiry would toggle a link nobody asked for.
TEST_F(ConnectionFixture, NoPipelineHookPointsAtADestroyedLink) {
  start();
  m_connection = nullptr;
  m_meterLink.reset();
  FramePipeline otherPipeline(m_display, m_reading, *m_rules, ".");
  std::optional<MeterLink> link;
  link.emplace(*m_controller, m_link, m_assembler, *m_pipeline, ConnectionControl::Callbacks{});
  link.reset();
  link.emplace(*m_controller, m_link, m_assembler, otherPipeline, ConnectionControl::Callbacks{});
  m_link.USBConDown = true;  // connected: an accepted frame restarts Timer2
  const std::string frame = sim::FrameBuilder().mainDigits("7.777").unit("MΩ").text();

  EXPECT_EQ(m_pipeline->ShowData860(frame), FrameDecoder::Outcome::Decoded);
  EXPECT_FALSE(link->connection().timer2Active()) << "the old pipeline reached the new link";
  EXPECT_EQ(otherPipeline.ShowData860(frame), FrameDecoder::Outcome::Decoded);
  EXPECT_TRUE(link->connection().timer2Active()) << "its own pipeline restarts its Timer2";
  link.reset();
  m_link.USBConDown = false;
}

}  // namespace
}  // namespace ostrel::test
