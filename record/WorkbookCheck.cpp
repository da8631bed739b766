// Reading back the workbook archive: a ZIP file (with ZIP64 records where sizes need them)
// whose members are deflated or stored. Only what the workbook library writes is read.
#include "WorkbookCheck.h"

#include <expat.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"

namespace ostrel {

namespace {

constexpr std::string_view sheetMember = "xl/worksheets/sheet1.xml";
// The central directory is read whole; the workbook library writes a few dozen members.
constexpr std::size_t directoryLimit = std::size_t{16} << 20;
constexpr std::size_t chunkBytes = std::size_t{1} << 16;

std::uint64_t little(const unsigned char* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

class ArchiveFile {
 public:
  explicit ArchiveFile(const std::string& path)
      : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)) {
    struct stat info {};
    if (m_fd.valid() && ::fstat(m_fd.get(), &info) == 0) {
      m_size = static_cast<std::uint64_t>(info.st_size);
    }
  }

  [[nodiscard]] bool isOpen() const { return m_fd.valid(); }
  [[nodiscard]] std::uint64_t size() const { return m_size; }
  // Exactly `length` bytes from `offset`, or nullopt.
  [[nodiscard]] std::optional<std::vector<unsigned char>> read(std::uint64_t offset,
                                                               std::size_t length) const {
    if (offset > m_size || length > m_size - offset) return std::nullopt;
    std::vector<unsigned char> bytes(length);
    std::size_t got = 0;
    if (readAllAt(m_fd.get(), reinterpret_cast<char*>(bytes.data()), length, offset, got) != 0 ||
        got != length) {
      return std::nullopt;
    }
    return bytes;
  }

 private:
  UniqueFd m_fd;
  std::uint64_t m_size = 0;
};

struct Member {
  std::string name;
  int method = 0;
  std::uint32_t crc = 0;
  std::uint64_t packedSize = 0;
  std::uint64_t size = 0;
  std::uint64_t localHeader = 0;
};

struct Directory {
  std::uint64_t entries = 0;
  std::uint64_t size = 0;
  std::uint64_t offset = 0;
};

std::optional<Directory> findDirectory(const ArchiveFile& file) {
  constexpr std::size_t endRecord = 22;
  if (file.size() < endRecord) return std::nullopt;
  const std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), 65557));
  const auto bytes = file.read(file.size() - tail, tail);
  if (!bytes) return std::nullopt;
  for (std::size_t at = tail - endRecord + 1; at-- > 0;) {
    const unsigned char* record = bytes->data() + at;
    if (little(record, 4) != 0x06054b50) continue;
    Directory directory{little(record + 10, 2), little(record + 12, 4), little(record + 16, 4)};
    if (directory.entries != 0xFFFF && directory.size != 0xFFFFFFFF &&
        directory.offset != 0xFFFFFFFF) {
      return directory;
    }
    // ZIP64: the locator just before points at the larger end record.
    const std::uint64_t endAt = file.size() - tail + at;
    if (endAt < 20) return std::nullopt;
    const auto locator = file.read(endAt - 20, 20);
    if (!locator || little(locator->data(), 4) != 0x07064b50) return std::nullopt;
    const auto end64 = file.read(little(locator->data() + 8, 8), 56);
    if (!end64 || little(end64->data(), 4) != 0x06064b50) return std::nullopt;
    return Directory{little(end64->data() + 32, 8), little(end64->data() + 40, 8),
                     little(end64->data() + 48, 8)};
  }
  return std::nullopt;
}

std::optional<std::vector<Member>> readMembers(const ArchiveFile& file) {
  const auto directory = findDirectory(file);
  if (!directory || directory->size > directoryLimit) return std::nullopt;
  const auto bytes = file.read(directory->offset, static_cast<std::size_t>(directory->size));
  if (!bytes) return std::nullopt;
  std::vector<Member> members;
  std::size_t at = 0;
  for (std::uint64_t entry = 0; entry < directory->entries; ++entry) {
    constexpr std::size_t fixed = 46;
    if (bytes->size() - at < fixed) return std::nullopt;
    const unsigned char* record = bytes->data() + at;
    if (little(record, 4) != 0x02014b50) return std::nullopt;
    const std::size_t nameLength = little(record + 28, 2);
    const std::size_t extraLength = little(record + 30, 2);
    const std::size_t commentLength = little(record + 32, 2);
    if (bytes->size() - at - fixed < nameLength + extraLength + commentLength) return std::nullopt;
    Member member;
    member.method = static_cast<int>(little(record + 10, 2));
    member.crc = static_cast<std::uint32_t>(little(record + 16, 4));
    member.packedSize = little(record + 20, 4);
    member.size = little(record + 24, 4);
    member.localHeader = little(record + 42, 4);
    member.name.assign(reinterpret_cast<const char*>(record + fixed), nameLength);
    // ZIP64 extra field: the sizes and offset too large for their places, in this order.
    const unsigned char* extra = record + fixed + nameLength;
    for (std::size_t e = 0; e + 4 <= extraLength;) {
      const std::uint64_t id = little(extra + e, 2);
      const std::size_t length = little(extra + e + 2, 2);
      if (e + 4 + length > extraLength) return std::nullopt;
      if (id == 0x0001) {
        std::size_t field = e + 4;
        for (std::uint64_t* value : {&member.size, &member.packedSize, &member.localHeader}) {
          if (*value != 0xFFFFFFFF) continue;
          if (field + 8 > e + 4 + length) return std::nullopt;
          *value = little(extra + field, 8);
          field += 8;
        }
      }
      e += 4 + length;
    }
    members.push_back(std::move(member));
    at += fixed + nameLength + extraLength + commentLength;
  }
  return members;
}

// Checks an XML member as its bytes come, in chunks, with the expat parser, which keeps no
// more of the document than the token it is in: a member of any size is checked in a few
// kilobytes. The document must be whole and well-formed; for the worksheet it also counts
// the rows that hold a cell (a "row" element with a "c" element in it).
class XmlStream {
 public:
  XmlStream() : m_parser(XML_ParserCreate(nullptr)) {
    if (m_parser == nullptr) return;
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, &XmlStream::onStart, &XmlStream::onEnd);
  }
  ~XmlStream() {
    if (m_parser != nullptr) XML_ParserFree(m_parser);
  }
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;

  void add(std::string_view chunk) {
    if (!m_ok) return;
    m_ok = XML_Parse(m_parser, chunk.data(), static_cast<int>(chunk.size()), XML_FALSE) ==
           XML_STATUS_OK;
  }
  // True when the bytes added make one whole, well-formed document.
  [[nodiscard]] bool finish() {
    if (m_ok) m_ok = XML_Parse(m_parser, nullptr, 0, XML_TRUE) == XML_STATUS_OK;
    return m_ok;
  }
  [[nodiscard]] std::size_t rowsWithCells() const { return m_rows; }
  [[nodiscard]] const std::string& root() const { return m_root; }

 private:
  static void onStart(void* data, const XML_Char* name, const XML_Char** /*attributes*/) {
    auto& self = *static_cast<XmlStream*>(data);
    const std::string_view element = name;
    if (self.m_depth++ == 0) self.m_root = element;
    if (element == "row") {
      self.m_cells = 0;
    } else if (element == "c") {
      ++self.m_cells;
    }
  }
  static void onEnd(void* data, const XML_Char* name) {
    auto& self = *static_cast<XmlStream*>(data);
    --self.m_depth;
    if (std::string_view(name) == "row" && self.m_cells > 0) ++self.m_rows;
  }

  XML_Parser m_parser;
  bool m_ok = m_parser != nullptr;
  std::size_t m_depth = 0;
  std::size_t m_cells = 0;  // in the row being read
  std::size_t m_rows = 0;
  std::string m_root;
};

// Inflates one member, handing its bytes to `sink` in chunks; false when it is damaged,
// shorter or longer than recorded, or its CRC differs.
template <typename Sink>
bool inflateMember(const ArchiveFile& file, const Member& member, Sink&& sink) {
  const auto local = file.read(member.localHeader, 30);
  if (!local || little(local->data(), 4) != 0x04034b50) return false;
  std::uint64_t at =
      member.localHeader + 30 + little(local->data() + 26, 2) + little(local->data() + 28, 2);
  std::uint64_t left = member.packedSize;
  std::uint64_t produced = 0;
  uLong crc = crc32(0L, Z_NULL, 0);
  std::vector<unsigned char> out(chunkBytes);
  const auto take = [&](const unsigned char* bytes, std::size_t length) {
    crc = crc32(crc, bytes, static_cast<uInt>(length));
    produced += length;
    sink(std::string_view(reinterpret_cast<const char*>(bytes), length));
  };
  if (member.method == 0) {
    while (left > 0) {
      const auto bytes =
          file.read(at, static_cast<std::size_t>(std::min<std::uint64_t>(left, chunkBytes)));
      if (!bytes) return false;
      take(bytes->data(), bytes->size());
      at += bytes->size();
      left -= bytes->size();
    }
  } else if (member.method == 8) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
      std::optional<std::vector<unsigned char>> bytes;
      if (stream.avail_in == 0) {
        if (left == 0) break;
        bytes = file.read(at, static_cast<std::size_t>(std::min<std::uint64_t>(left, chunkBytes)));
        if (!bytes) break;
        at += bytes->size();
        left -= bytes->size();
        stream.next_in = bytes->data();
        stream.avail_in = static_cast<uInt>(bytes->size());
      }
      while (stream.avail_in > 0 && status != Z_STREAM_END) {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) break;
        take(out.data(), out.size() - stream.avail_out);
      }
      if (status != Z_OK && status != Z_STREAM_END) break;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) return false;
  } else {
    return false;
  }
  return produced == member.size && crc == member.crc;
}

}  // namespace

Result<> checkWorkbookArchive(const std::string& path, std::size_t sheetRows) {
  const ArchiveFile file(path);
  if (!file.isOpen()) return Result<>::failure("The workbook cannot be read back");
  const auto members = readMembers(file);
  if (!members || members->empty()) {
    return Result<>::failure("The workbook's archive is incomplete");
  }
  bool sheetSeen = false;
  for (const Member& member : *members) {
    const std::string_view name = member.name;
    const bool xml = name.ends_with(".xml") || name.ends_with(".rels");
    // Every member is inflated (its size and CRC checked) a chunk at a time, whatever its size.
    XmlStream document;
    const bool whole = inflateMember(file, member, [&](std::string_view chunk) {
      if (xml) document.add(chunk);
    });
    if (!whole || (xml && !document.finish())) {
      return Result<>::failure("The workbook's member " + member.name + " is incomplete");
    }
    if (name == sheetMember) {
      sheetSeen = true;
      if (document.root() != "worksheet" || document.rowsWithCells() != sheetRows) {
        return Result<>::failure("The workbook's worksheet holds " +
                                 std::to_string(document.rowsWithCells()) + " rows, not " +
                                 std::to_string(sheetRows));
      }
    }
  }
  return sheetSeen ? Result<>() : Result<>::failure("The workbook has no worksheet");
}

}  // namespace ostrel
