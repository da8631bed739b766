// The Excel workbook form of the readings table, written with libxlsxwriter in its
// constant-memory mode: each row goes to a temporary file as soon as the next one starts.
#include "WorkbookFile.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FileNames.h"
#include "FileReplace.h"
#include "GbkText.h"
#include "InsulationTests.h"
#include "ReadingNumber.h"
#include "TextTableFormat.h"
#include "WorkbookCheck.h"
#include "base/SystemCalls.h"

namespace ostrel {

namespace {

constexpr std::array<std::string_view, ReadingsTable::fieldCount + 1> headerTitles = {
    "Measurement No.", "Time", "Value", "Unit", "Function", "Remark", "Test time"};
constexpr std::array<double, ReadingsTable::fieldCount + 1> columnWidths = {16, 13, 10, 8,
                                                                            16, 12, 10};
constexpr lxw_col_t testTimeColumn = ReadingsTable::fieldCount;

// Characters a text takes in a cell: its longest line, in code points of its UTF-8.
std::size_t shownWidth(std::string_view utf8) {
  std::size_t longest = 0;
  std::size_t line = 0;
  for (const char c : utf8) {
    if (c == '\n') {
      line = 0;
    } else if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U) {
      longest = std::max(longest, ++line);
    }
  }
  return longest;
}

// A column width (in characters) for a title and figures of up to `figure` characters, with
// a character's room to spare.
double fittingWidth(std::string_view title, std::size_t figure) {
  return static_cast<double>(std::max(shownWidth(title), figure)) + 2.0;
}
constexpr double msPerDay = 86'400'000.0;

// The cell formats of one workbook; they belong to the workbook and go with it.
class CellFormats {
 public:
  explicit CellFormats(lxw_workbook* workbook) : m_workbook(workbook) {
    m_header = workbook_add_format(workbook);
    format_set_bold(m_header);
    m_time = workbook_add_format(workbook);
    format_set_num_format(m_time, "hh:mm:ss.000");
  }
  [[nodiscard]] lxw_format* header() const { return m_header; }
  [[nodiscard]] lxw_format* time() const { return m_time; }
  // "0", "0.0", "0.00", ...: made on first use, at most valueMaxDigits decimals.
  lxw_format* number(int decimals) {
    lxw_format*& format = m_numbers[static_cast<std::size_t>(decimals)];
    if (format == nullptr) {
      const std::string pattern = decimals == 0
                                      ? std::string("0")
                                      : "0." + std::string(static_cast<std::size_t>(decimals), '0');
      format = workbook_add_format(m_workbook);
      format_set_num_format(format, pattern.c_str());
    }
    return format;
  }

 private:
  lxw_workbook* m_workbook;
  lxw_format* m_header = nullptr;
  lxw_format* m_time = nullptr;
  std::array<lxw_format*, valueMaxDigits + 1> m_numbers{};
};

// Writes the cells of one sheet row by row; remembers the first error, after which it
// writes nothing more.
class SheetWriter {
 public:
  SheetWriter(lxw_worksheet* sheet, CellFormats& formats, std::string_view decimalSeparator)
      : m_sheet(sheet), m_formats(formats), m_separator(decimalSeparator) {}

  void header() {
    for (std::size_t col = 0; col < headerTitles.size(); ++col) {
      check(worksheet_set_column(m_sheet, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col),
                                 columnWidths[col], nullptr));
      check(worksheet_write_string(m_sheet, 0, static_cast<lxw_col_t>(col),
                                   std::string(headerTitles[col]).c_str(), m_formats.header()));
    }
    worksheet_freeze_panes(m_sheet, 1, 0);
    m_rows = 1;
  }

  void record(const ReadingsTable& table, std::size_t row) {
    const auto sheetRow = static_cast<lxw_row_t>(row + 1);
    m_rowHasCell = false;
    if (const auto no = table.no(row))
      wroteCell(worksheet_write_number(m_sheet, sheetRow, 0, *no, nullptr));
    if (const auto ms = table.timeMs(row)) {
      wroteCell(worksheet_write_number(m_sheet, sheetRow, 1, *ms / msPerDay, m_formats.time()));
    }
    valueCell(sheetRow, table.text(row, ReadingsTable::Value));
    textCell(sheetRow, 3, table.text(row, ReadingsTable::Unit));
    textCell(sheetRow, 4, table.text(row, ReadingsTable::V_Range));
    textCell(sheetRow, 5, table.text(row, ReadingsTable::I_Range));
    if (const auto seconds = table.testTimeS(row)) {
      wroteCell(worksheet_write_number(m_sheet, sheetRow, testTimeColumn, *seconds, nullptr));
    }
    if (m_rowHasCell) ++m_rows;
  }

  [[nodiscard]] lxw_error error() const { return m_error; }
  // The rows the sheet holds (those with a cell; a row without one is not written).
  [[nodiscard]] std::size_t rows() const { return m_rows; }

 private:
  void check(lxw_error error) {
    if (m_error == LXW_NO_ERROR) m_error = error;
  }
  void wroteCell(lxw_error error) {
    m_rowHasCell = true;
    check(error);
  }

  void valueCell(lxw_row_t row, std::optional<std::string_view> text) {
    const std::string_view cell = text ? trimmedCell(*text) : std::string_view{};
    if (const auto number = workbookNumber(cell, m_separator)) {
      wroteCell(worksheet_write_number(m_sheet, row, 2, number->value,
                                       m_formats.number(number->decimals)));
    } else {
      textCell(row, 2, cell);
    }
  }

  void textCell(lxw_row_t row, lxw_col_t col, std::optional<std::string_view> text) {
    const std::string_view cell = text ? trimmedCell(*text) : std::string_view{};
    if (cell.empty() || m_error != LXW_NO_ERROR) return;
    wroteCell(worksheet_write_string(m_sheet, row, col, m_gbk.toUtf8(cell).c_str(), nullptr));
  }

  lxw_worksheet* m_sheet;
  CellFormats& m_formats;
  std::string_view m_separator;
  GbkConverter m_gbk;
  lxw_error m_error = LXW_NO_ERROR;
  std::size_t m_rows = 0;
  bool m_rowHasCell = false;
};

// The folder a file is in ("." for a bare name).
std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The "Tests" sheet: one row per insulation test found in the table, judged as `judgement`
// says, the figures as numbers (resistances in ohms), an unknown or undefined figure as an
// empty cell.
lxw_error writeTestsSheet(lxw_workbook* workbook, const ReadingsTable& table, lxw_format* header,
                          const TestJudgement& judgement) {
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Tests");
  if (sheet == nullptr) return LXW_ERROR_MEMORY_MALLOC_FAILED;
  constexpr std::array<const char*, 17> titles = {"Test",
                                                  "Function",
                                                  "Voltage (V)",
                                                  "Start",
                                                  "Duration (s)",
                                                  "Readings",
                                                  "R 15 s (ohm)",
                                                  "R 30 s (ohm)",
                                                  "R 1 min (ohm)",
                                                  "R 10 min (ohm)",
                                                  "R 1 min at 40 C (ohm)",
                                                  "DAR",
                                                  "PI",
                                                  "Meter PI",
                                                  "Lowest (ohm)",
                                                  "Verdict",
                                                  "Reasons"};
  lxw_error error = LXW_NO_ERROR;
  const auto check = [&error](lxw_error e) {
    if (error == LXW_NO_ERROR) error = e;
  };
  for (std::size_t col = 0; col < titles.size(); ++col) {
    // Wide enough for the title and for a figure as General shows it (up to 11 characters,
    // "1.23457E+11"); the function and the reasons are widened to their texts below.
    const double width = fittingWidth(titles[col], 11);
    check(worksheet_set_column(sheet, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col),
                               width, nullptr));
    check(worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(col), titles[col], header));
  }
  lxw_format* time = workbook_add_format(workbook);
  format_set_num_format(time, "hh:mm:ss");
  lxw_format* dateTime = workbook_add_format(workbook);
  format_set_num_format(dateTime, "yyyy-mm-dd hh:mm:ss");
  lxw_row_t row = 1;
  std::size_t widestFunction = shownWidth(titles[1]);
  std::size_t widestReasons = shownWidth(titles[16]);
  for (const InsulationTest& t : findInsulationTests(table, judgement)) {
    const auto number = [&](lxw_col_t col, std::optional<double> value) {
      if (value) check(worksheet_write_number(sheet, row, col, *value, nullptr));
    };
    number(0, t.number);
    const std::string function = gbkToUtf8(t.function);
    widestFunction = std::max(widestFunction, shownWidth(function));
    check(worksheet_write_string(sheet, row, 1, function.c_str(), nullptr));
    number(2, t.voltageV);
    // A date as the workbook counts days: from 1899-12-30, day 25569 being 1970-01-01.
    if (t.startMs && t.startDay) {
      check(worksheet_write_number(sheet, row, 3, *t.startDay + 25569.0 + *t.startMs / msPerDay,
                                   dateTime));
    } else if (t.startMs) {
      check(worksheet_write_number(sheet, row, 3, *t.startMs / msPerDay, time));
    }
    number(4, t.durationS);
    number(5, static_cast<double>(t.readings));
    number(6, t.r15.ohm());
    number(7, t.r30.ohm());
    number(8, t.r60.ohm());
    number(9, t.r600.ohm());
    number(10, t.r60At40COhm);
    number(11, t.dar);
    number(12, t.pi);
    number(13, t.meterPi);
    number(14, t.minOhm);
    check(worksheet_write_string(sheet, row, 15, t.verdict.c_str(), nullptr));
    std::string reasons;
    for (const std::string& reason : t.reasons) reasons += (reasons.empty() ? "" : "; ") + reason;
    widestReasons = std::max(widestReasons, shownWidth(reasons));
    if (!reasons.empty()) check(worksheet_write_string(sheet, row, 16, reasons.c_str(), nullptr));
    if (error != LXW_NO_ERROR || ++row > workbookMaxRecords) break;
  }
  // Column widths may be set after the rows: they are written when the sheet is closed.
  check(worksheet_set_column(sheet, 1, 1, static_cast<double>(widestFunction) + 2.0, nullptr));
  check(worksheet_set_column(sheet, 16, 16,
                             std::min(static_cast<double>(widestReasons) + 2.0, 255.0), nullptr));
  return error;
}

// The "Test record" sheet: the fields the user entered, then the options of the judgement;
// the temperatures, the humidity and a minimum in MΩ as numbers when they are numbers.
lxw_error writeTestRecordSheet(lxw_workbook* workbook, const WorkbookTests& tests,
                               lxw_format* header) {
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Test record");
  if (sheet == nullptr) return LXW_ERROR_MEMORY_MALLOC_FAILED;
  lxw_error error = LXW_NO_ERROR;
  const auto check = [&error](lxw_error e) {
    if (error == LXW_NO_ERROR) error = e;
  };
  // The fields' names are known; the values are as long as the user typed them (the longest
  // line of the notes), up to a width that still fits a screen.
  const TestRecord& typed = tests.record;
  std::size_t longestValue = 0;
  for (const std::string_view value :
       {std::string_view(typed.customer), std::string_view(typed.site),
        std::string_view(typed.asset), std::string_view(typed.operatorName),
        std::string_view(typed.instrumentSerial), std::string_view(typed.ambientC),
        std::string_view(typed.windingC), std::string_view(typed.humidityPct),
        std::string_view(typed.notes), std::string_view(typed.ratedKv),
        std::string_view(typed.firstReadingDate)}) {
    longestValue = std::max(longestValue, shownWidth(value));
  }
  check(worksheet_set_column(sheet, 0, 0, 34, nullptr));
  check(worksheet_set_column(
      sheet, 1, 1, std::clamp(static_cast<double>(longestValue) + 2.0, 20.0, 100.0), nullptr));
  check(worksheet_write_string(sheet, 0, 0, "Field", header));
  check(worksheet_write_string(sheet, 0, 1, "Value", header));
  lxw_row_t row = 1;
  const auto text = [&](const char* field, std::string_view value) {
    check(worksheet_write_string(sheet, row, 0, field, nullptr));
    const std::string cell(trimmedCell(value));
    if (!cell.empty()) check(worksheet_write_string(sheet, row, 1, cell.c_str(), nullptr));
    ++row;
  };
  // A number when the text reads as one, else the text as typed.
  const auto number = [&](const char* field, std::string_view value) {
    if (const auto n = typedNumber(value)) {
      check(worksheet_write_string(sheet, row, 0, field, nullptr));
      check(worksheet_write_number(sheet, row++, 1, *n, nullptr));
    } else {
      text(field, value);
    }
  };
  const TestRecord& r = tests.record;
  text("Customer", r.customer);
  text("Site", r.site);
  text("Asset or tag", r.asset);
  text("Operator", r.operatorName);
  text("Instrument serial", r.instrumentSerial);
  number("Rated voltage (kV)", r.ratedKv);
  text("Date of first reading", r.firstReadingDate);
  number(
      "Ambient temperature (\xC2\xB0"
      "C)",
      r.ambientC);
  number(
      "Winding temperature (\xC2\xB0"
      "C)",
      r.windingC);
  number("Humidity (%)", r.humidityPct);
  text("Notes", r.notes);
  const TestJudgement& j = tests.judgement;
  text("DAR", darMarksText(j.dar));
  if (j.minimum == MinimumClass::Fixed) {
    number(
        "Minimum R 1 min at 40 \xC2\xB0"
        "C (M\xCE\xA9)",
        minimumClassText(j));
  } else {
    text(
        "Minimum R 1 min at 40 \xC2\xB0"
        "C",
        minimumClassText(j));
  }
  text("Thermal class", std::string(1, j.thermalClass));
  return error;
}

// Writes the workbook file at path (which libxlsxwriter creates or truncates), then reads
// it back (see checkWorkbookArchive). The library's own temporary files go to the folder of
// path: the same file system as the workbook, so a full temporary folder elsewhere does not
// matter, and whatever fails there fails the check.
Result<> writeWorkbookAt(const ReadingsTable& table, const std::string& path,
                         std::string_view decimalSeparator, const WorkbookTests& tests,
                         const WorkbookProgress& progress) {
  std::string folder = folderOf(path);
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.use_zip64 = LXW_TRUE;
  options.tmpdir = folder.data();
  lxw_workbook* workbook = workbook_new_opt(path.c_str(), &options);
  if (workbook == nullptr) return Result<>::failure(reason(ENOMEM));
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Readings");
  lxw_error error = sheet == nullptr ? LXW_ERROR_MEMORY_MALLOC_FAILED : LXW_NO_ERROR;
  std::size_t sheetRows = 0;
  int writeError = 0;
  bool cancelled = false;
  if (sheet != nullptr) {
    CellFormats formats(workbook);
    SheetWriter writer(sheet, formats, decimalSeparator);
    writer.header();
    const std::size_t count = table.recordCount();
    constexpr std::size_t progressStep = 4096;
    for (std::size_t row = 0; row < count && writer.error() == LXW_NO_ERROR; ++row) {
      if (progress && row % progressStep == 0 && row > 0 && !progress(row, count)) {
        cancelled = true;
        break;
      }
      writer.record(table, row);
    }
    error = writer.error();
    sheetRows = writer.rows();
    // The rows went to a temporary file whose writes the library does not check.
    if (error == LXW_NO_ERROR && sheet->optimize_tmpfile != nullptr &&
        (std::fflush(sheet->optimize_tmpfile) != 0 || std::ferror(sheet->optimize_tmpfile) != 0)) {
      writeError = errno != 0 ? errno : EIO;
    }
    // A cancelled save goes no further than closing what the library holds.
    if (error == LXW_NO_ERROR && !cancelled) {
      error = writeTestsSheet(workbook, table, formats.header(), tests.judgement);
    }
    if (error == LXW_NO_ERROR && !cancelled) {
      error = writeTestRecordSheet(workbook, tests, formats.header());
    }
  }
  // Closing also frees the workbook, so it is closed after a failed write too.
  const lxw_error closed = workbook_close(workbook);
  if (error == LXW_NO_ERROR) error = closed;
  if (cancelled) return Result<>::cancel(std::string(workbookCancelled));
  if (error != LXW_NO_ERROR) return Result<>::failure(lxw_strerror(error));
  if (writeError != 0) return Result<>::failure(reason(writeError));
  return checkWorkbookArchive(path, sheetRows);
}

}  // namespace

bool isWorkbookName(std::string_view fileName) { return hasExtension(fileName, ".xlsx"); }

std::optional<WorkbookNumber> workbookNumber(std::string_view value,
                                             std::string_view decimalSeparator) {
  if (decimalSeparator.empty()) return std::nullopt;
  return valueNumber(value, decimalSeparator);
}

Result<> writeWorkbook(const ReadingsTable& table, const std::string& path,
                       std::string_view decimalSeparator, const WorkbookTests& tests,
                       const WorkbookProgress& progress) {
  if (table.recordCount() > workbookMaxRecords) {
    return Result<>::failure("The table holds " + std::to_string(table.recordCount()) +
                             " records; a worksheet takes at most " +
                             std::to_string(workbookMaxRecords) +
                             ". Save it as text or XML instead.");
  }
  FileReplacement replacement;
  if (Result<> begun = replacement.begin(path); !begun.ok()) return begun;
  // libxlsxwriter opens the file by name; the replacement's descriptor stays unused.
  if (Result<> written =
          writeWorkbookAt(table, replacement.temporaryPath(), decimalSeparator, tests, progress);
      !written.ok()) {
    return written;
  }
  // A Cancel while the archive was compressed still keeps the old file.
  const std::size_t count = table.recordCount();
  if (progress && !progress(count, count)) return Result<>::cancel(std::string(workbookCancelled));
  return replacement.commit();
}

}  // namespace ostrel
