#include <gtest/gtest.h>

#include <cstddef>

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

}  // namespace
}  // namespace ostrel::test
