#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "RecordTestSupport.h"
#include "record/FileReplace.h"
#include "record/TableFiles.h"
#include "tests/support/FileSizeLimit.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

ReadingsTable& bigTable() {
  static ReadingsTable table;
  if (table.empty()) {
    for (int i = 1; i <= 2000; ++i) {
      table.append({i, i * 1000, std::to_string(i), "M\xA6\xB8", "IR:500V 20G\xA6\xB8", "Timed"});
    }
  }
  return table;
}

using test::FileSizeLimit;

class FailedSave : public testing::TestWithParam<const char*> {};

TEST_P(FailedSave, KeepsTheOldFileAndLeavesNoTemporaryFile) {
  ScratchFolder folder;
  const std::string name = folder.file(GetParam());
  test::writeBytes(name, "old content");
  Result<> result;
  {
    const FileSizeLimit limit(4096);
    result = SaveTableToFile(bigTable(), name);
  }
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(test::readBytes(name), "old content");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
  if (std::string(GetParam()).ends_with(".xml")) {
    EXPECT_EQ(result.message().rfind("Cannot create file \"" + name + "\". ", 0), 0U);
    EXPECT_NE(result.message().find("too large"), std::string::npos) << result.message();
  } else {
    EXPECT_EQ(result.message(), "Could not save table to specified file: " + name);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, FailedSave, testing::Values("t.xls", "t.xml"),
                         [](const auto& paramInfo) {
                           return std::string(paramInfo.param).ends_with(".xml") ? "Packet"
                                                                                 : "Text";
                         });

TEST(FileSave, ReportsAFolderThatCannotHoldTheFile) {
  ScratchFolder folder;
  test::writeBytes(folder.file("plain"), "x");
  const std::string text = folder.file("plain/t.txt");
  EXPECT_EQ(SaveTableToFile(bigTable(), text).message(),
            "Could not save table to specified file: " + text);
  const std::string packet = folder.file("plain/t.XML");
  EXPECT_EQ(SaveTableToFile(bigTable(), packet).message(),
            "Cannot create file \"" + packet + "\". Not a directory");
}

// The test's own device node (the full device's numbers), never the machine's /dev/full.
TEST(FileSave, RefusesADeviceAndLeavesItAsItWas) {
  ScratchFolder folder;
  const std::string full = folder.file("full");
  if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
    GTEST_SKIP() << "cannot make a device node here (needs root): " << std::strerror(errno);
  }
  EXPECT_EQ(SaveTableToFile(bigTable(), full).message(),
            "Could not save table to specified file: " + full);
  struct stat device {};
  ASSERT_EQ(::stat(full.c_str(), &device), 0);
  EXPECT_TRUE(S_ISCHR(device.st_mode)) << "the device was not replaced";
  EXPECT_EQ(device.st_rdev, makedev(1, 7));
}

// A FIFO is refused without being opened for writing: with a reader it would take the
// table, without one the open would wait for a reader.
TEST(FileSave, RefusesAFifoWithoutWritingToIt) {
  ScratchFolder folder;
  for (const char* name : {"fifo.xls", "fifo.xml"}) {
    const std::string fifo = folder.file(name);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ReadingsTable small;
    test::fillFixtureReadings(small);
    const Result<> result = SaveTableToFile(small, fifo);
    EXPECT_FALSE(result.ok()) << name;
    EXPECT_EQ(result.message(), std::string(name).ends_with(".xml")
                                    ? "Cannot create file \"" + fifo + "\". Not a regular file"
                                    : "Could not save table to specified file: " + fifo);
    char byte = 0;
    EXPECT_EQ(::read(reader, &byte, 1), 0) << "bytes went into the FIFO";
    ::close(reader);
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
  }
}

TEST(FileSave, ReplacingKeepsPermissionsAndFollowsLinks) {
  ScratchFolder folder;
  const std::string name = folder.file("t.txt");
  test::writeBytes(name, "old");
  ::chmod(name.c_str(), 0640);
  std::filesystem::create_symlink(name, folder.file("link.txt"));
  EXPECT_TRUE(SaveTableToFile(bigTable(), folder.file("link.txt")).ok());
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.txt")));
  EXPECT_EQ(test::readBytes(name).substr(0, 15), "Measurement No.");
  struct stat saved {};
  ASSERT_EQ(::stat(name.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_mode & 0777, 0640U);
}

// The progress of every save and load ends at the whole (the progress dialog reaches 100 %
// before it closes), however far the size expected from the first records was off, and never
// goes back.
TEST(FileProgress, EverySaveAndLoadEndsAtTheWhole) {
  ScratchFolder folder;
  ReadingsTable table;
  for (int i = 1; i <= 20'000; ++i) {
    table.append({i, i * 250, std::to_string(i % 1000), "M\xA6\xB8", "500V", "2mA"});
  }
  std::vector<std::pair<std::size_t, std::size_t>> calls;
  const FileProgress told = [&calls](std::size_t done, std::size_t total) {
    calls.emplace_back(done, total);
    return true;
  };
  const auto expectEndsAtTheWhole = [&calls](std::size_t whole) {
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), std::make_pair(whole, whole));
    for (std::size_t i = 1; i < calls.size(); ++i) {
      EXPECT_GE(calls[i].first * calls[i - 1].second, calls[i - 1].first * calls[i].second)
          << "the share went back at call " << i;
    }
    calls.clear();
  };
  for (const char* name : {"progress.txt", "progress.xml", "progress.xlsx"}) {
    SCOPED_TRACE(name);
    const std::string path = folder.file(name);
    ASSERT_TRUE(SaveTableToFile(table, path, ".", {}, told).ok());
    const bool workbook = path.ends_with(".xlsx");  // records written; never loaded
    const std::size_t bytes = std::filesystem::file_size(path);
    expectEndsAtTheWhole(workbook ? table.recordCount() : bytes);
    if (workbook) continue;
    ReadingsTable back;
    ASSERT_TRUE(LoadTableFromFile(path, back, false, told).ok());
    EXPECT_EQ(back.recordCount(), table.recordCount());
    expectEndsAtTheWhole(bytes);
  }
}

// Links are followed whatever their state: a dangling one creates its target, a relative
// chain of them leads to the one file that is replaced; no link is turned into a file.
TEST(FileSave, FollowsDanglingAndChainedLinks) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.file("sub"));
  std::filesystem::create_symlink("sub/new.txt", folder.file("dangling.txt"));
  std::filesystem::create_symlink("../dangling.txt", folder.file("sub/chain.txt"));
  ReadingsTable small;
  test::fillFixtureReadings(small);
  EXPECT_TRUE(SaveTableToFile(small, folder.file("sub/chain.txt")).ok());
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("sub/chain.txt")));
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("dangling.txt")));
  EXPECT_EQ(test::readBytes(folder.file("sub/new.txt")).substr(0, 15), "Measurement No.");

  std::filesystem::create_symlink("loop.xml", folder.file("loop.xml"));
  EXPECT_EQ(
      SaveTableToFile(small, folder.file("loop.xml")).message(),
      "Cannot create file \"" + folder.file("loop.xml") + "\". Too many levels of symbolic links");
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("loop.xml")));
}

// The piece other writers build on: one that opens the temporary file by name, and one
// that is interrupted (the signal handler's clean-up) or given up.
TEST(FileReplacement, CommitsAByNameWriterAndOtherwiseLeavesNothing) {
  ScratchFolder folder;
  const std::string target = folder.file("t.bin");
  test::writeBytes(target, "old");
  ::chmod(target.c_str(), 0640);
  {
    FileReplacement replacement;
    ASSERT_EQ(replacement.begin(target).message(), "");
    EXPECT_EQ(replacement.temporaryPath().rfind(target + ".ostrel-", 0), 0U);
    test::writeBytes(replacement.temporaryPath(), "new");
    EXPECT_EQ(test::readBytes(target), "old");
    ASSERT_EQ(replacement.commit().message(), "");
  }
  EXPECT_EQ(test::readBytes(target), "new");
  struct stat saved {};
  ASSERT_EQ(::stat(target.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_mode & 0777, 0640U);

  {
    FileReplacement interrupted;
    ASSERT_EQ(interrupted.begin(target).message(), "");
    ASSERT_EQ(::write(interrupted.fd(), "half", 4), 4);
    removePendingReplacementFiles();
    EXPECT_FALSE(std::filesystem::exists(interrupted.temporaryPath()));
    FileReplacement abandoned;
    ASSERT_EQ(abandoned.begin(target).message(), "");
  }
  EXPECT_EQ(test::readBytes(target), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

// Runs `check` as a user without privileges (in a child process when this one is root,
// which may write any file) and gives its exit status.
template <typename Check>
int runUnprivileged(Check check) {
  if (::geteuid() != 0) return check();
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    ::_exit(check());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

// A file the user may not write is refused as a plain overwrite would refuse it, even
// though the folder would let a new file be renamed over it.
TEST(FileSave, RefusesATargetTheUserMayNotWrite) {
  ScratchFolder folder;
  ::chmod(folder.path().c_str(), 0777);
  for (const char* name : {"ro.xls", "ro.xml"}) {
    const std::string file = folder.file(name);
    test::writeBytes(file, "old content");
    ::chmod(file.c_str(), 0444);
    const int status = runUnprivileged([&file] {
      ReadingsTable small;
      test::fillFixtureReadings(small);
      const Result<> result = SaveTableToFile(small, file);
      if (result.ok()) return 1;
      const bool packet = file.ends_with(".xml");
      const std::string expected = packet ? "Cannot create file \"" + file + "\". Permission denied"
                                          : "Could not save table to specified file: " + file;
      return result.message() == expected ? 0 : 2;
    });
    EXPECT_EQ(status, 0) << name << ": 1 saved, 2 another message";
    EXPECT_EQ(test::readBytes(file), "old content");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
    std::filesystem::remove(file);
  }
}

TEST(FileSave, ReadOnlyFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root, which ignores folder permissions";
  ScratchFolder folder;
  const std::string name = folder.file("t.xls");
  test::writeBytes(name, "old content");
  ::chmod(folder.path().c_str(), 0555);
  EXPECT_EQ(SaveTableToFile(bigTable(), name).message(),
            "Could not save table to specified file: " + name);
  EXPECT_EQ(test::readBytes(name), "old content");
}

// "Open Data" on a FIFO must not wait for a writer (the window would freeze, and readings
// stop being recorded); a device such as the zero device must not be read without end.
TEST(FileLoad, RefusesWhatIsNoRegularFileAtOnce) {
  ScratchFolder folder;
  const std::string fifo = folder.file("fifo.xls");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Holding a writer end keeps a blocking read of the FIFO waiting.
  const int writer = ::open(fifo.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  // The test's own device node with the numbers of the zero device, never the machine's.
  const std::string zero = folder.file("zero");
  const bool haveZero = ::mknod(zero.c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0;
  std::vector<std::string> names{fifo, folder.path().string()};
  if (haveZero) names.push_back(zero);
  for (const std::string& name : names) {
    ReadingsTable table;
    test::fillFixtureReadings(table);
    auto load =
        std::async(std::launch::async, [&] { return LoadTableFromFile(name, table, false); });
    if (load.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << name << ": the load waits";
      ::close(writer);  // lets it end
    }
    const Result<> result = load.get();
    EXPECT_FALSE(result.ok()) << name;
    EXPECT_EQ(result.message(), loadFailedMessage) << name;
    EXPECT_EQ(table.recordCount(), 3U) << name;
  }
  ::close(writer);
}

}  // namespace
}  // namespace ostrel
