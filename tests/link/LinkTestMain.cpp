#include <gtest/gtest.h>

#include <QCoreApplication>

// The hand-offs and device-change notices run in the main thread's Qt event loop; no display
// needed.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
