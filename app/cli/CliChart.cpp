// ostrel-cli chart TABLEFILE OUT [--page N] [--per-page N] [--line]: the trend chart of a
// table file, without a window. The table is loaded as "Open Data" loads it and plotted by
// the window's own chart, which writes the picture with the code of its bitmap save.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QString>
#include <charconv>
#include <cstdio>
#include <optional>

#include "CliCommands.h"
#include "CliLoadFailure.h"
#include "decode/DecimalSeparator.h"
#include "record/ReadingsTable.h"
#include "record/TableFiles.h"
#include "ui/chart/ChartGeometry.h"
#include "ui/chart/Chtshow.h"

namespace ostrel::cli {

namespace {

constexpr const char* chartUsage =
    "usage: ostrel-cli chart TABLEFILE OUT (OUT ending in .bmp or .png) [--page N]\n"
    "                  [--per-page N] [--line]\n";

struct ChartOptions {
  std::string table;
  std::string out;  // the argument's bytes, passed on as they are (need not be valid UTF-8)
  std::optional<std::int32_t> page;
  std::optional<std::string> perPage;
  bool line = false;
};

std::optional<std::int32_t> positive(const std::string& text) {
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

std::optional<ChartOptions> parse(const std::vector<std::string>& args) {
  ChartOptions options;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--line") {
      options.line = true;
    } else if (arg == "--page" && hasValue) {
      options.page = positive(args[++i]);
      if (!options.page) return std::nullopt;
    } else if (arg == "--per-page" && hasValue) {
      options.perPage = args[++i];
    } else if (arg.starts_with("--")) {
      return std::nullopt;
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return std::nullopt;
  options.table = files[0];
  options.out = files[1];
  const QString shown = QFile::decodeName(options.out.c_str());
  const bool known = shown.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive) ||
                     shown.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
  return known ? std::optional(options) : std::nullopt;
}

void printError(const QString& text) {
  std::fprintf(stderr, "ostrel-cli chart: %s\n", text.toLocal8Bit().constData());
}

// Widgets need an application; without a display it runs offscreen.
int drawChart(const ReadingsTable& cds1, const ChartOptions& options) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "ostrel-cli";
  static char* argv[] = {name, nullptr};
  const QApplication app(argc, argv);

  ChartGeometry saved;
  Chtshow chart(saved, decimalSeparatorFromLocale());
  bool failed = false;
  chart.setPrompts({[&failed](const QString& text) {
                      printError(text);
                      failed = true;
                    },
                    [](const QString&) {}});
  chart.plotTable(cds1);
  if (options.line) chart.toolStrip().BtFill->setChecked(false);
  if (options.perPage) {
    chart.toolStrip().Maxrecord->setText(QString::fromStdString(*options.perPage));
  }
  if (failed) return 1;
  if (options.page) {
    const std::int32_t pages = chart.model().pageCount();
    if (*options.page > pages) {
      printError(
          QStringLiteral("page %1 does not exist; the chart has %2").arg(*options.page).arg(pages));
      return 1;
    }
    chart.showPageNumber(*options.page);
  }
  if (const Result<> bitmap = chart.saveBitmap(options.out); !bitmap.ok()) {
    // The message holds the path as the system's bytes: printed as they are.
    std::fprintf(stderr, "ostrel-cli chart: %s\n", bitmap.message().c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int runChart(const std::vector<std::string>& args) {
  const std::optional<ChartOptions> options = parse(args);
  if (!options) {
    std::fputs(chartUsage, stderr);
    return 2;
  }
  ReadingsTable cds1;
  if (!loadTableForCommand(options->table, cds1).ok()) return 1;
  return drawChart(cds1, *options);
}

}  // namespace ostrel::cli
