// ostrel-cli report TABLEFILE OUT: the test data report of a table file, without a
// window. The table is loaded as "Open Data" loads it; the report is the one the preview
// shows, printed today, written in the format OUT's extension names.
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <cstdio>

#include "CliCommands.h"
#include "CliLoadFailure.h"
#include "record/ReadingsTable.h"
#include "record/TableFiles.h"
#include "ui/report/ReadingsTableDataSet.h"
#include "ui/report/ReportExport.h"
#include "ui/report/TestDataReport.h"

namespace ostrel::cli {

namespace {

constexpr const char* reportUsage =
    "usage: ostrel-cli report TABLEFILE OUT (OUT ending in .pdf, .html, .txt or .csv)\n";

// Fonts and the PDF writer need a GUI application; without a display it runs offscreen.
// outFile is the argument's bytes, passed on as they are (a name need not be valid UTF-8).
int writeReport(ReadingsTable& cds1, const std::string& outFile, ReportFormat format) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "ostrel-cli";
  static char* argv[] = {name, nullptr};
  const QGuiApplication app(argc, argv);

  ReadingsTableDataSet dataSet(cds1);
  std::int32_t ReportPageTotal =
      TestDataReport::pageTotalFor(static_cast<std::int64_t>(cds1.recordCount()));
  TestDataReport QuickRep1(dataSet, ReportPageTotal);
  const Result<> written = exportReport(QuickRep1.generate(), format, outFile);
  if (!written.ok()) {
    std::fprintf(stderr, "ostrel-cli report: %s: %s\n", outFile.c_str(), written.message().c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int runReport(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fputs(reportUsage, stderr);
    return 2;
  }
  const std::string& outFile = args[1];
  const std::optional<ReportFormat> format =
      reportFormatForFile(QFile::decodeName(outFile.c_str()));
  if (!format) {
    std::fputs(reportUsage, stderr);
    return 2;
  }
  ReadingsTable cds1;
  if (!loadTableForCommand(args[0], cds1).ok()) return 1;
  return writeReport(cds1, outFile, *format);
}

}  // namespace ostrel::cli
