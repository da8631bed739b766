// Table files written and read in chunks: the bytes are those of the whole-text writers, a
// refused chunk stops the writer, and a file read while its pages are let go loads whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <string>
#include <vector>

#include "RecordTestSupport.h"
#include "record/DataPacket.h"
#include "record/TableFiles.h"
#include "record/TimeText.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

// Several megabytes in either format: more than one chunk to write and more than one
// stretch for a loader to let go of.
ReadingsTable& largeTable() {
  static ReadingsTable table;
  if (table.empty()) {
    for (int i = 1; i <= 100'000; ++i) {
      table.append({i, i * 500 % 86'400'000, std::to_string(i) + ".5&<", "M\xA6\xB8",
                    "IR:500V 20G\xA6\xB8", "Timed"});
    }
  }
  return table;
}

const LongTimeFormat& plainTime() {
  static const LongTimeFormat format("C");
  return format;
}

struct Format {
  const char* name;
  const char* fileName;
  std::string (*whole)(const ReadingsTable&);
  bool (*chunked)(const ReadingsTable&, const ByteSink&);
};
void PrintTo(const Format& c, std::ostream* out) { *out << c.name; }

const Format formats[] = {
    {"Packet", "large.xml", [](const ReadingsTable& t) { return writeDataPacket(t); },
     [](const ReadingsTable& t, const ByteSink& s) { return writeDataPacket(t, s); }},
    {"Text", "large.xls", [](const ReadingsTable& t) { return writeTextTable(t, plainTime()); },
     [](const ReadingsTable& t, const ByteSink& s) { return writeTextTable(t, plainTime(), s); }},
};

class ChunkedFile : public testing::TestWithParam<Format> {};

TEST_P(ChunkedFile, ChunksJoinToTheWholeTextAndNoneIsLarge) {
  std::vector<std::string> chunks;
  ASSERT_TRUE(GetParam().chunked(largeTable(), [&chunks](std::string_view chunk) {
    chunks.emplace_back(chunk);
    return true;
  }));
  ASSERT_GT(chunks.size(), 2U);
  std::string joined;
  for (const std::string& chunk : chunks) {
    EXPECT_LE(chunk.size(), 2 * ChunkedOutput::chunkBytes);
    joined += chunk;
  }
  EXPECT_EQ(joined, GetParam().whole(largeTable()));
}

TEST_P(ChunkedFile, ARefusedChunkStopsTheWriter) {
  int offered = 0;
  EXPECT_FALSE(
      GetParam().chunked(largeTable(), [&offered](std::string_view) { return ++offered < 2; }));
  EXPECT_EQ(offered, 2);
}

TEST_P(ChunkedFile, ASavedFileLoadsBackWhole) {
  ScratchFolder folder;
  const std::string name = folder.file(GetParam().fileName);

  ASSERT_TRUE(SaveTableToFile(largeTable(), name).ok());
  EXPECT_EQ(test::readBytes(name), GetParam().whole(largeTable()));
  ReadingsTable back;
  ASSERT_TRUE(LoadTableFromFile(name, back, true).ok());
  ASSERT_EQ(back.recordCount(), largeTable().recordCount());
  for (std::size_t row = 0; row < back.recordCount(); ++row) {
    ASSERT_EQ(back.no(row), largeTable().no(row)) << row;
    ASSERT_EQ(back.text(row, ReadingsTable::Value), largeTable().text(row, ReadingsTable::Value))
        << row;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ChunkedFile, testing::ValuesIn(formats),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(FileBytes, ReleasedBytesStayReadable) {
  ScratchFolder folder;
  const std::string name = folder.file("bytes");
  std::string content;
  for (int i = 0; content.size() < (std::size_t{3} << 20); ++i) content += std::to_string(i) + ' ';
  test::writeBytes(name, content);
  FileBytes file;
  ASSERT_TRUE(file.open(name).ok());
  ASSERT_EQ(file.bytes(), content);
  file.release(content.size() / 2 + 123);
  file.release(content.size() / 4);  // going back lets go of nothing more
  file.release(content.size() + 4096);
  EXPECT_EQ(file.bytes(), content);
}

// A file cut short while it is mapped: the pages past its new end read as zeros instead of
// ending the process with SIGBUS, and the loss is told.
TEST(FileBytes, AFileCutShortWhileMappedReadsAsNotIntact) {
  ScratchFolder folder;
  const std::string name = folder.file("bytes");
  test::writeBytes(name, std::string(std::size_t{1} << 20, 'x'));
  FileBytes file;
  ASSERT_TRUE(file.open(name).ok());
  EXPECT_TRUE(file.intact());
  ASSERT_EQ(::truncate(name.c_str(), 1000), 0);
  const std::string_view bytes = file.bytes();
  ASSERT_EQ(bytes.size(), std::size_t{1} << 20);
  EXPECT_EQ(bytes[10], 'x');
  EXPECT_EQ(bytes[bytes.size() - 1], '\0');
  EXPECT_EQ(bytes[300'000], '\0');
  EXPECT_FALSE(file.intact());

  // The next file mapped is guarded afresh.
  FileBytes next;
  ASSERT_TRUE(next.open(name).ok());
  EXPECT_EQ(next.bytes(), std::string(1000, 'x'));
  EXPECT_TRUE(next.intact());
}

// A SIGBUS that is no read past a cut file's end (one sent with kill or raise, which carries
// no fault address) ends the process as it would without the guard, even while a file is
// mapped; the guard is not disarmed by it either.
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's own SIGBUS handler, the one ours hands such a signal to, aborts.
constexpr int outsideSigbusEnd = SIGABRT;
#else
constexpr int outsideSigbusEnd = SIGBUS;
#endif

TEST(FileBytesDeathTest, ASigbusFromOutsideEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScratchFolder folder;
  const std::string name = folder.file("bytes");
  test::writeBytes(name, std::string(std::size_t{1} << 20, 'x'));
  FileBytes file;
  ASSERT_TRUE(file.open(name).ok());
  EXPECT_EXIT(::raise(SIGBUS), testing::KilledBySignal(outsideSigbusEnd), "");
  EXPECT_EXIT(::kill(::getpid(), SIGBUS), testing::KilledBySignal(outsideSigbusEnd), "");
  // The same process still guards its mapping afterwards.
  ASSERT_EQ(::truncate(name.c_str(), 1000), 0);
  EXPECT_EQ(file.bytes()[500'000], '\0');
  EXPECT_FALSE(file.intact());
}

}  // namespace
}  // namespace ostrel
