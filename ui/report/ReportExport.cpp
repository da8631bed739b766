#include "ui/report/ReportExport.h"

#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextStream>
#include <algorithm>
#include <string>

#include "record/FileReplace.h"
#include "ui/report/ReportGeometry.h"
#include "ui/report/ReportPainter.h"

namespace ostrel {

namespace {

constexpr double textMmPerCharacter = 2.0;

QString mm(double value) { return QString::number(value, 'f', 2) + QStringLiteral("mm"); }

QString htmlElement(const ReportElement& e) {
  const QRectF r = e.paperRectMm();
  QString style =
      QStringLiteral("left:%1;top:%2;font-size:%3pt;color:%4")
          .arg(mm(r.left()), mm(r.top()), QString::number(e.font.pointSize), e.color.name());
  if (e.font.bold) style += QStringLiteral(";font-weight:bold");
  if (e.font.underline) style += QStringLiteral(";text-decoration:underline");
  if (!e.autoSize) {
    style +=
        QStringLiteral(";width:%1;height:%2;text-align:center").arg(mm(r.width()), mm(r.height()));
  }
  return QStringLiteral("<div class=\"e\" style=\"%1\">%2</div>\n")
      .arg(style, e.text.toHtmlEscaped());
}

// The elements of one band row (same band, same band top) as one line of text.
QString textLine(std::vector<const ReportElement*> elements) {
  std::sort(elements.begin(), elements.end(), [](const ReportElement* a, const ReportElement* b) {
    return a->paperRectMm().left() < b->paperRectMm().left();
  });
  QString line;
  for (const ReportElement* e : elements) {
    const QRectF r = e->boxMm;
    qsizetype column = qRound((e->autoSize ? r.left() : r.center().x()) / textMmPerCharacter);
    if (!e->autoSize) column -= e->text.size() / 2;
    if (!line.isEmpty()) column = std::max(column, line.size() + 1);
    if (line.size() < column) line += QString(column - line.size(), QLatin1Char(' '));
    line += e->text;
  }
  while (line.endsWith(QLatin1Char(' '))) line.chop(1);
  return line;
}

// The temporary file of a replacement as a write-only device that notices every failed
// byte. QFile takes a short write (a disk that fills up mid-report) without an error, and
// QTextStream drops what a failed write left over, so neither can tell a cut report from a
// whole one; this device writes everything or remembers why not.
class ReplacementDevice : public QIODevice {
 public:
  explicit ReplacementDevice(FileReplacement& replacement) : m_replacement(replacement) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  }

  // Writes what is still buffered; fails with the reason when a byte did not reach the file.
  Result<> finish() {
    writeBuffered();
    return m_failed;
  }

 protected:
  qint64 readData(char* /*data*/, qint64 /*maxSize*/) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    if (!m_failed.ok()) return -1;
    m_buffer.append(data, static_cast<std::size_t>(size));
    if (m_buffer.size() >= bufferBytes) writeBuffered();
    return m_failed.ok() ? size : -1;
  }

 private:
  static constexpr std::size_t bufferBytes = std::size_t{1} << 16;

  void writeBuffered() {
    if (m_failed.ok() && !m_buffer.empty()) m_failed = m_replacement.write(m_buffer);
    m_buffer.clear();
  }

  FileReplacement& m_replacement;
  Result<> m_failed;  // why a write failed; ok while every byte reached the file
  std::string m_buffer;
};

// Whether the writer may go on to page `number` of `pages`.
bool goOn(const ReportProgress& progress, int number, int pages) {
  return !progress || progress(number, pages);
}

}  // namespace

std::optional<ReportFormat> reportFormatForFile(const QString& fileName) {
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  if (suffix == QLatin1String("pdf")) return ReportFormat::Pdf;
  if (suffix == QLatin1String("html") || suffix == QLatin1String("htm")) return ReportFormat::Html;
  if (suffix == QLatin1String("txt")) return ReportFormat::Text;
  if (suffix == QLatin1String("csv")) return ReportFormat::Csv;
  return std::nullopt;
}

QString csvText(const QString& text) {
  // A cell a spreadsheet would read as a formula (or whose leading tab or CR it would drop
  // before reading one) is marked as text with a leading apostrophe. A plain number, signed or
  // not, with either decimal separator, is no formula and stays a number.
  static const QRegularExpression plainNumber(QRegularExpression::anchoredPattern(
      QStringLiteral("[+-]?([0-9]+([.,][0-9]*)?|[.,][0-9]+)([eE][+-]?[0-9]+)?")));
  if (text.isEmpty()) return text;
  const QChar first = text.front();
  const bool formulaStart = first == u'=' || first == u'+' || first == u'-' || first == u'@' ||
                            first == u'\t' || first == u'\r';
  if (!formulaStart || plainNumber.match(text).hasMatch()) return text;
  return QLatin1Char('\'') + text;
}

QString csvField(const QString& cell) {
  QString text = csvText(cell);
  const bool needsQuotes = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                           text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
  if (!needsQuotes) return text;
  text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + text + QLatin1Char('"');
}

bool writeReportHtml(const ReportLayout& layout, QIODevice& out, const ReportProgress& progress) {
  QTextStream s(&out);
  s << "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>TEST DATA "
       "REPORT</title>\n"
       "<style>\n"
       "body{background:#808080;margin:0;padding:4mm 0}\n"
       ".page{position:relative;width:210mm;height:297mm;margin:0 auto 4mm;background:#fff;"
       "overflow:hidden;page-break-after:always}\n"
       ".e{position:absolute;white-space:pre;background:#fff;line-height:1.15;"
       "font-family:Arial,'Liberation Sans',sans-serif}\n"
       "@media print{body{background:#fff;padding:0}.page{margin:0}}\n"
       "@page{size:A4;margin:0}\n"
       "</style>\n</head>\n<body>\n";
  for (int number = 1; number <= layout.pageCount(); ++number) {
    if (!goOn(progress, number, layout.pageCount())) return false;
    s << "<div class=\"page\">\n";
    for (const ReportElement& e : layout.page(number)) s << htmlElement(e);
    s << "</div>\n";
  }
  s << "</body>\n</html>\n";
  return true;
}

bool writeReportText(const ReportLayout& layout, QIODevice& out, const ReportProgress& progress) {
  QTextStream s(&out);
  for (int number = 1; number <= layout.pageCount(); ++number) {
    if (!goOn(progress, number, layout.pageCount())) return false;
    if (number > 1) s << "\f\n";
    const std::vector<ReportElement> page = layout.page(number);
    std::vector<const ReportElement*> band;
    for (std::size_t i = 0; i < page.size(); ++i) {
      band.push_back(&page[i]);
      const bool bandEnds = i + 1 == page.size() || page[i + 1].band != page[i].band ||
                            page[i + 1].bandTopMm != page[i].bandTopMm;
      if (!bandEnds) continue;
      if (page[i].band == ReportBand::PageFooter) s << "\n";
      s << textLine(band) << "\n";
      band.clear();
    }
  }
  return true;
}

bool writeReportCsv(const ReportLayout& layout, QIODevice& out, const ReportProgress& progress) {
  QTextStream s(&out);
  const auto writeLine = [&s](auto cellText) {
    for (int c = 0; c < ReportRows::columnCount; ++c) {
      if (c > 0) s << ',';
      s << csvField(cellText(c));
    }
    s << "\r\n";
  };
  writeLine([](int c) { return ReportLayout::columnTitle(c); });
  for (int number = 1; number <= layout.pageCount(); ++number) {
    if (!goOn(progress, number, layout.pageCount())) return false;
    const PageRows rows = layout.rowsOnPage(number);
    for (int row = rows.first; row < rows.first + rows.count; ++row) {
      writeLine([&layout, row](int c) { return layout.rows().cell(row, c); });
    }
  }
  return true;
}

bool paintReportPages(QPainter& painter, QPagedPaintDevice& device, const ReportLayout& layout,
                      int first, int last, bool sheetsUsed, const ReportProgress& progress) {
  first = std::max(first, 1);
  last = std::min(last, layout.pageCount());
  const double dotsPerMm = device.logicalDpiX() / 25.4;
  for (int number = first; number <= last; ++number) {
    if (!goOn(progress, number - first + 1, last - first + 1)) return false;
    if (number > first || sheetsUsed) device.newPage();
    paintReportPage(painter, layout.page(number), dotsPerMm);
  }
  return true;
}

bool writeReportPdf(const ReportLayout& layout, QIODevice& out, const ReportProgress& progress) {
  QPdfWriter pdf(&out);
  pdf.setTitle(QStringLiteral("TEST DATA REPORT"));
  pdf.setResolution(600);
  pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(),
                                QPageLayout::Millimeter));
  QPainter painter(&pdf);
  return paintReportPages(painter, pdf, layout, 1, layout.pageCount(), false, progress);
}

Result<> exportReport(const ReportLayout& layout, ReportFormat format, const QString& fileName,
                      const ReportProgress& progress) {
  return exportReport(layout, format, QFile::encodeName(fileName).toStdString(), progress);
}

Result<> exportReport(const ReportLayout& layout, ReportFormat format, const std::string& path,
                      const ReportProgress& progress) {
  FileReplacement replacement;
  if (Result<> begun = replacement.begin(path); !begun.ok()) return begun;
  ReplacementDevice file(replacement);
  bool whole = false;
  switch (format) {
    case ReportFormat::Pdf:
      whole = writeReportPdf(layout, file, progress);
      break;
    case ReportFormat::Html:
      whole = writeReportHtml(layout, file, progress);
      break;
    case ReportFormat::Text:
      whole = writeReportText(layout, file, progress);
      break;
    case ReportFormat::Csv:
      whole = writeReportCsv(layout, file, progress);
      break;
  }
  // Cancelled: the replacement goes unused, so the old file stays as it was.
  if (!whole) return Result<>::cancel({});
  if (Result<> written = file.finish(); !written.ok()) return written;
  return replacement.commit();
}

}  // namespace ostrel
