// A binary of its own: it replaces the C library's fsync with one that fails on demand, as a
// failing disk would, which no file a test can make does.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>

#include "RecordTestSupport.h"
#include "record/TableFiles.h"

namespace {

std::atomic<int> failedFsyncErrno{0};  // the errno every fsync fails with; 0: the real one

}  // namespace

extern "C" int fsync(int fd) {
  if (const int error = failedFsyncErrno.load(); error != 0) {
    errno = error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace ostrel {
namespace {

TEST(FileSave, AFailedFlushKeepsTheOldFileAndLeavesNoTemporaryFile) {
  test::ScratchFolder folder;
  const std::string name = folder.file("t.xml");
  test::writeBytes(name, "old content");
  ReadingsTable table;
  test::fillFixtureReadings(table);
  failedFsyncErrno = EIO;
  const Result<> result = SaveTableToFile(table, name);
  failedFsyncErrno = 0;
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "Cannot create file \"" + name + "\". Input/output error");
  EXPECT_EQ(test::readBytes(name), "old content");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
}  // namespace ostrel
