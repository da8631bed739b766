// A binary of its own: it replaces the C library's read with one that can end a file early,
// as a file cut short between its size being taken and its bytes being read would, which no
// test can time on a real file.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <string>

#include "RecordTestSupport.h"
#include "record/TableFiles.h"

namespace {

// Bytes a read may still deliver before the file seems to end; -1: the real read.
std::atomic<long> bytesBeforeEnd{-1};

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
  const long left = bytesBeforeEnd.load();
  if (left >= 0) size = std::min(size, static_cast<size_t>(left));
  const auto got = static_cast<ssize_t>(::syscall(SYS_read, fd, buffer, size));
  if (left >= 0 && got > 0) bytesBeforeEnd -= got;
  return got;
}

namespace ostrel {
namespace {

// A file is mapped while a guarded slot is free, and read into a buffer otherwise: holding
// more files open than there are slots sends the next one to the buffer.
TEST(FileBytes, TheBufferedReadRefusesAFileThatEndsEarly) {
  test::ScratchFolder folder;
  std::string text = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
  for (int i = 1; i <= 1000; ++i) text += std::to_string(i) + "\t10:00:00\t1.5\tV\tDCV\tx\r\n";
  const std::string name = folder.file("t.xls");
  test::writeBytes(name, text);
  std::array<FileBytes, 64> held;
  for (FileBytes& file : held) ASSERT_TRUE(file.open(name).ok());

  ReadingsTable whole;
  ASSERT_TRUE(LoadTableFromFile(name, whole, false).ok());
  EXPECT_EQ(whole.recordCount(), 1000U);

  bytesBeforeEnd = static_cast<long>(text.size() / 2);
  ReadingsTable table;
  table.append({7, 0, "kept", {}, {}, {}});
  const LoadResult cut = LoadTableFromFile(name, table, false);
  bytesBeforeEnd = -1;
  EXPECT_FALSE(cut.ok());
  EXPECT_EQ(cut.failure().kind, LoadFailureKind::CutShort);
  EXPECT_EQ(cut.reason(), "cut short while it was read");
  EXPECT_EQ(table.recordCount(), 1U) << "nothing of a file cut short stays";
}

}  // namespace
}  // namespace ostrel
