#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "base/Result.h"
#include "ui/report/ReportLayout.h"

class QIODevice;
class QPagedPaintDevice;
class QPainter;

namespace ostrel {

// The report's own file (PDF) and the three export formats.
enum class ReportFormat { Pdf, Html, Text, Csv };

// Told before each page is written: its number and the page count; false stops the writing.
// Called on the thread that writes (a worker thread for the window's exports).
using ReportProgress = std::function<bool(int page, int pages)>;

// The format a file name asks for by its extension (.pdf, .html or .htm, .txt, .csv, any
// letter case); nullopt for any other name.
std::optional<ReportFormat> reportFormatForFile(const QString& fileName);

// Writes every page of the report to fileName (created or replaced), page by page, by the
// program's replacement rule (record/FileReplace.h): a temporary file beside it takes the
// bytes and replaces it only when all were written and flushed. Fails with the system's
// reason when the file cannot be replaced or written; the old file is then untouched.
// Pdf needs a QGuiApplication (fonts); the text formats do not.
// A progress that says false ends the export as cancelled (the old file untouched). The
// reason is the system's bytes (strerror); a window shows it with QString::fromLocal8Bit.
Result<> exportReport(const ReportLayout& layout, ReportFormat format, const QString& fileName,
                      const ReportProgress& progress = {});
// The same for a name given as the system's bytes (a command's argument), which need not be
// valid UTF-8.
Result<> exportReport(const ReportLayout& layout, ReportFormat format, const std::string& path,
                      const ReportProgress& progress = {});

// Writers on an open device, UTF-8, streaming one page at a time:
// - HTML: one A4 sheet per page, every element at its place in millimetres, texts escaped;
// - text: one line per band, elements at their places on a grid of 2 mm per character,
//   pages parted by a form feed line;
// - CSV: the column titles, then one line per record; separator ","; a field holding a
//   comma, a double quote or a line break is quoted (RFC 4180); lines end in CR LF.
// Each returns false when the progress stopped it (what was written is then incomplete).
bool writeReportHtml(const ReportLayout& layout, QIODevice& out,
                     const ReportProgress& progress = {});
bool writeReportText(const ReportLayout& layout, QIODevice& out,
                     const ReportProgress& progress = {});
bool writeReportCsv(const ReportLayout& layout, QIODevice& out,
                    const ReportProgress& progress = {});
bool writeReportPdf(const ReportLayout& layout, QIODevice& out,
                    const ReportProgress& progress = {});

// Paints pages first..last (1-based, inclusive) with a painter active on a paged device
// whose painting origin is the paper's top left corner (full page, no device margins),
// one sheet per page; the first of them goes on a new sheet when sheetsUsed is true.
// False when the progress stopped it.
bool paintReportPages(QPainter& painter, QPagedPaintDevice& device, const ReportLayout& layout,
                      int first, int last, bool sheetsUsed = false,
                      const ReportProgress& progress = {});

// A cell's text with a leading apostrophe when a spreadsheet would take it for a formula: it
// starts with '=', '+', '-', '@', a tab or CR and is not a plain number ("-1.5" stays as it
// is, "-1+2" does not).
QString csvText(const QString& text);

// One CSV field: the cell's csvText, unchanged unless it holds ',', '"', CR or LF, then quoted
// with inner quotes doubled.
QString csvField(const QString& cell);

}  // namespace ostrel
