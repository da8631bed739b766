#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "RecordTestSupport.h"
#include "record/TableFiles.h"

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

// Lets writes of this process fail beyond `bytes` (EFBIG), also for root.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limited = m_old;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_old{};
  void (*m_oldHandler)(int);
};

class FailedSave : public testing::TestWithParam<const char*> {};

TEST_P(FailedSave, KeepsTheOldFileAndLeavesNoTemporaryFile) {
  ScratchFolder folder;
  const std::string name = folder.file(GetParam());
  test::writeBytes(name, "old content");
  FileResult result;
  {
    const FileSizeLimit limit(4096);
    result = SaveTableToFile(bigTable(), name);
  }
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(test::readBytes(name), "old content");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
  if (std::string(GetParam()).ends_with(".xml")) {
    EXPECT_EQ(result.message.rfind("Cannot create file \"" + name + "\". ", 0), 0U);
    EXPECT_NE(result.message.find("too large"), std::string::npos) << result.message;
  } else {
    EXPECT_EQ(result.message, "Could not save table to specified file: " + name);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, FailedSave, testing::Values("t.xls", "t.xml"),
                         [](const auto& info) {
                           return std::string(info.param).ends_with(".xml") ? "Packet" : "Text";
                         });

TEST(FileSave, ReportsAFolderThatCannotHoldTheFile) {
  ScratchFolder folder;
  test::writeBytes(folder.file("plain"), "x");
  const std::string text = folder.file("plain/t.txt");
  EXPECT_EQ(SaveTableToFile(bigTable(), text).message,
            "Could not save table to specified file: " + text);
  const std::string packet = folder.file("plain/t.XML");
  EXPECT_EQ(SaveTableToFile(bigTable(), packet).message,
            "Cannot create file \"" + packet + "\". Not a directory");
}

TEST(FileSave, WritesADeviceInPlaceAndReportsItsFailure) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no writable /dev/full";
  EXPECT_EQ(SaveTableToFile(bigTable(), "/dev/full").message,
            "Could not save table to specified file: /dev/full");
  struct stat device {};
  ASSERT_EQ(::stat("/dev/full", &device), 0);
  EXPECT_TRUE(S_ISCHR(device.st_mode)) << "the device was not replaced";
}

TEST(FileSave, ReplacingKeepsPermissionsAndFollowsLinks) {
  ScratchFolder folder;
  const std::string name = folder.file("t.txt");
  test::writeBytes(name, "old");
  ::chmod(name.c_str(), 0640);
  std::filesystem::create_symlink(name, folder.file("link.txt"));
  EXPECT_TRUE(SaveTableToFile(bigTable(), folder.file("link.txt")).ok);
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.txt")));
  EXPECT_EQ(test::readBytes(name).substr(0, 15), "Measurement No.");
  struct stat saved {};
  ASSERT_EQ(::stat(name.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_mode & 0777, 0640U);
}

TEST(FileSave, ReadOnlyFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root, which ignores folder permissions";
  ScratchFolder folder;
  const std::string name = folder.file("t.xls");
  test::writeBytes(name, "old content");
  ::chmod(folder.path().c_str(), 0555);
  EXPECT_EQ(SaveTableToFile(bigTable(), name).message,
            "Could not save table to specified file: " + name);
  EXPECT_EQ(test::readBytes(name), "old content");
}

}  // namespace
}  // namespace ostrel
