#pragma once

// Shared by the table file fuzz targets: the input as a file, and the table as comparable
// values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

#include "record/DataPacket.h"
#include "record/ReadingsTable.h"
#include "record/TableFiles.h"

namespace ostrel::fuzz {

inline void require(bool condition) {
  if (!condition) std::abort();
}

// Writes the input to this process's scratch file with the given extension (".txt",
// ".xml") and returns its name; the same file is reused for every input.
inline std::string writeScratchFile(const std::uint8_t* data, std::size_t size,
                                    std::string_view extension) {
  const std::string name = (std::filesystem::temp_directory_path() /
                            ("ostrel-fuzz-" + std::to_string(getpid()) + std::string(extension)))
                               .string();
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  require(static_cast<bool>(out.flush()));
  return name;
}

struct Row {
  RecordFields fields;
  std::uint8_t changeState = 0;

  friend bool operator==(const Row& a, const Row& b) {
    return a.fields.No == b.fields.No && a.fields.TimeMs == b.fields.TimeMs &&
           a.fields.Value == b.fields.Value && a.fields.Unit == b.fields.Unit &&
           a.fields.V_Range == b.fields.V_Range && a.fields.I_Range == b.fields.I_Range &&
           a.changeState == b.changeState;
  }
};

inline std::vector<Row> snapshot(const ReadingsTable& table) {
  std::vector<Row> rows;
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    rows.push_back({table.record(row), table.changeState(row)});
  }
  return rows;
}

// What every record must hold whatever it was loaded from: a time of day within the day,
// texts of at most 20 bytes, and no empty text stored as a value.
inline void requireWellFormed(const ReadingsTable& table) {
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    if (const auto ms = table.timeMs(row)) require(*ms >= 0 && *ms < 24 * 60 * 60 * 1000);
    for (const auto field : {ReadingsTable::Value, ReadingsTable::Unit, ReadingsTable::V_Range,
                             ReadingsTable::I_Range}) {
      if (const auto text = table.text(row, field)) {
        require(!text->empty() && text->size() <= ReadingsTable::maxTextBytes);
        require(text->find('\0') == std::string_view::npos);  // no file could carry it back
      }
    }
  }
}

// Two records the table holds before every load: the load must keep or replace them,
// never damage them.
// Whatever a load gave, the program's own files of it load back: the packet with the same
// records, and the text file (which the save refuses for a record without number or time)
// with one record per record.
inline void requireOwnFilesLoadBack(const ReadingsTable& table) {
  ReadingsTable fromPacket;
  require(readDataPacket(writeDataPacket(table), fromPacket).ok());
  require(snapshot(fromPacket) == snapshot(table));
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    if (!table.no(row) || !table.timeMs(row)) return;
  }
  static const LongTimeFormat timeFormat("C");
  ReadingsTable fromText;
  require(readTextTable(writeTextTable(table, timeFormat), fromText, timeFormat).ok());
  require(fromText.recordCount() == table.recordCount());
}

inline void fillWithTwoReadings(ReadingsTable& table) {
  table.append({1, 52205123, "1.234", "M\xA6\xB8", "IR:500V 20G\xA6\xB8", "Continuous"});
  table.append({2, 32703040, "0.56", std::nullopt, "DCV  600V", "Timed"});
}

// "Open Data" of the input, written to a file with the given extension, into a table that
// already holds two readings (LoadTableFromFile with EmptyFirst cleared).
struct OpenDataOnTwoReadings {
  ReadingsTable table;
  std::vector<Row> before;
  LoadResult result;

  OpenDataOnTwoReadings(const std::uint8_t* data, std::size_t size, std::string_view extension) {
    fillWithTwoReadings(table);
    before = snapshot(table);
    result = LoadTableFromFile(writeScratchFile(data, size, extension), table, false);
  }
};

}  // namespace ostrel::fuzz
