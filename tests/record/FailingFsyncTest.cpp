// A binary of its own: it replaces the C library's fsync and fdatasync with ones that count
// the calls and fail on demand, as a failing disk would, which no file a test can make does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "RecordTestSupport.h"
#include "record/JournalFile.h"
#include "record/JournalWriter.h"
#include "record/TableFiles.h"

namespace {

std::atomic<int> failedFsyncErrno{0};      // the errno every fsync fails with; 0: the real one
std::atomic<int> failedFdatasyncErrno{0};  // the same for fdatasync
std::atomic<int> folderFsyncs{0};          // fsync calls on a folder
std::atomic<int> fdatasyncs{0};            // fdatasync calls

bool isFolder(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

extern "C" int fsync(int fd) {
  if (isFolder(fd)) ++folderFsyncs;
  if (const int error = failedFsyncErrno.load(); error != 0) {
    errno = error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd) {
  ++fdatasyncs;
  if (const int error = failedFdatasyncErrno.load(); error != 0) {
    errno = error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fdatasync, fd));
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

// A new journal's name is made durable (its folder synced once the name appears), and every
// batch of records written is synced (fdatasync) before the writer is idle again.
TEST(JournalDurability, SyncsTheFolderAfterTheRenameAndEveryBatch) {
  test::ScratchFolder folder;
  const int folderSyncsBefore = folderFsyncs;
  Result<std::unique_ptr<JournalFile>> created = JournalFile::create(folder.path().string());
  ASSERT_TRUE(created.ok()) << created.message();
  EXPECT_EQ(folderFsyncs - folderSyncsBefore, 1);
  const std::string path = created.value()->path();

  ReadingsTable table;
  test::fillFixtureReadings(table);
  JournalWriter writer(std::move(created.value()),
                       [](const std::string& reason) { FAIL() << reason; });
  for (int batch = 1; batch <= 2; ++batch) {
    const int syncsBefore = fdatasyncs;
    writer.append(table.record(0));
    writer.flush();
    EXPECT_EQ(fdatasyncs - syncsBefore, 1) << "batch " << batch;
  }
  const std::string written = test::readBytes(path);
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 3);  // the header and two records
  EXPECT_TRUE(writer.finish().ok());
}

// A failing fdatasync (the records may not be on disk) stops the journal with its reason,
// told once.
TEST(JournalDurability, AFailingSyncStopsTheJournalWithItsReason) {
  test::ScratchFolder folder;
  Result<std::unique_ptr<JournalFile>> created = JournalFile::create(folder.path().string());
  ASSERT_TRUE(created.ok()) << created.message();
  std::vector<std::string> reports;
  ReadingsTable table;
  test::fillFixtureReadings(table);
  JournalWriter writer(std::move(created.value()),
                       [&reports](const std::string& reason) { reports.push_back(reason); });
  failedFdatasyncErrno = EIO;
  writer.append(table.record(0));
  writer.flush();
  writer.append(table.record(1));
  writer.flush();
  failedFdatasyncErrno = 0;
  EXPECT_TRUE(writer.stopped());
  EXPECT_EQ(reports, std::vector<std::string>{"Input/output error"});
}

}  // namespace
}  // namespace ostrel
