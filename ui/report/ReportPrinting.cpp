#include "ui/report/ReportPrinting.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

#include "ui/report/ReportExport.h"
#include "ui/report/ReportLayout.h"

namespace ostrel {

void prepareReportPrinter(QPrinter& printer, int pageCount) {
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setFullPage(true);
  printer.setCopyCount(1);
  printer.setDuplex(QPrinter::DuplexNone);
  printer.setPrintRange(QPrinter::AllPages);
  printer.setFromTo(1, pageCount);
  printer.setDocName(QStringLiteral("TEST DATA REPORT"));
}

bool printReport(QPrinter& printer, const ReportLayout& layout, const ReportProgress& progress) {
  int first = 1;
  int last = layout.pageCount();
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    first = std::max(first, printer.fromPage());
    last = std::min(last, std::max(printer.toPage(), first));
  }
  const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const int pages = (last - first + 1) * copies;
  for (int copy = 0; copy < copies; ++copy) {
    const ReportProgress ofAll = [&](int page, int /*perCopy*/) {
      return !progress || progress(copy * (last - first + 1) + page, pages);
    };
    if (!paintReportPages(painter, printer, layout, first, last, copy > 0, ofAll)) {
      printer.abort();
      painter.end();
      return true;
    }
  }
  return painter.end();
}

}  // namespace ostrel
