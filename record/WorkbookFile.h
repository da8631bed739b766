#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "InsulationTests.h"
#include "ReadingNumber.h"
#include "ReadingsTable.h"
#include "base/Result.h"

namespace ostrel {

// Records one worksheet holds below its header row (1048576 rows in all).
inline constexpr std::size_t workbookMaxRecords = 1'048'575;

// True when the name's extension (from its last dot on) is ".xlsx" in any letter case.
bool isWorkbookName(std::string_view fileName);

// A Value text read as a number (see ReadingNumber.h), with its decimals for showing it.
using WorkbookNumber = ValueNumber;

// The number a Value text stands for when it is one in the locale's form (valueNumber with
// decimalSeparator: blanks around it and a sign allowed, at most 15 digits). nullopt for
// anything else ("OL", "1.2.3", "-", empty) and when decimalSeparator is empty (the point of
// such a value was lost, so the digits are no number to trust).
std::optional<WorkbookNumber> workbookNumber(std::string_view value,
                                             std::string_view decimalSeparator);

// What the workbook's two test sheets follow: the options the "Tests" sheet judges with and
// the fields of the "Test record" sheet, as chosen and entered in the Tests window.
struct WorkbookTests {
  TestJudgement judgement;
  TestRecord record;
};

// Writes the whole table as an Excel workbook (Office Open XML) at path: one worksheet,
// the header row "Measurement No.", "Time", "Value", "Unit", "Function", "Remark", "Test time",
// then one row per record in table order. No is a number; Time a time of day shown with
// milliseconds; Test time the meter's timer in whole seconds (empty when it was dark); Value a
// number (see workbookNumber) shown with its decimals, otherwise the text; Unit, V_Range and
// I_Range texts (GBK converted to UTF-8). Texts are trimmed of blanks and control characters at
// both ends as in the text files; an empty field gives an empty cell. Rows are streamed to disk, so
// memory does not grow with the table. A second worksheet "Tests" holds the insulation tests
// found in the table (see InsulationTests.h), judged with tests.judgement, their figures as
// numbers. A third, "Test record", lists tests.record field by field ("Field", "Value"; the
// temperatures and the humidity as numbers when they read as one, see typedNumber) and the
// options of the judgement.
//
// The target is replaced by the rule of FileReplacement (FileReplace.h): a temporary file
// beside it, renamed over it only when complete; symbolic links followed, the mode kept, a
// target that is no regular file or that the user may not write refused.
// On failure the reason; the target is then as it was and no temporary file is left. A table with
// more than workbookMaxRecords records is refused before anything is written. `progress`, when
// given, is told now and then how many of the records are written, and once more before the file is
// replaced; its false cancels the save (cancelled, the reason workbookCancelled). The archive is
// compressed after the last record, which it is not told of.
using WorkbookProgress = std::function<bool(std::size_t written, std::size_t records)>;
inline constexpr std::string_view workbookCancelled = "Cancelled";
Result<> writeWorkbook(const ReadingsTable& table, const std::string& path,
                       std::string_view decimalSeparator, const WorkbookTests& tests = {},
                       const WorkbookProgress& progress = {});

}  // namespace ostrel
