#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <optional>
#include <vector>

#include "record/InsulationTests.h"
#include "ui/report/ReportRows.h"

namespace ostrel {

enum class ReportBand { PageHeader, ColumnHeader, Detail, PageFooter };

struct ReportFont {
  QString family = QStringLiteral("Arial");
  double pointSize = 10.0;
  bool bold = false;
  bool underline = false;

  bool operator==(const ReportFont&) const = default;
};

// One printed element of a page. boxMm is measured from the left margin and from the top
// of its band. An auto-sized element starts at the box's top left and grows to the right
// (its box reaches to the band's right edge; its height is one line of its type); the
// title is centred in its fixed box. Background white, no frame.
struct ReportElement {
  QString name;
  ReportBand band = ReportBand::Detail;
  double bandTopMm = 0.0;  // from the top margin
  QRectF boxMm;
  bool autoSize = true;
  QString text;
  ReportFont font;
  QColor color;

  // The element's box on the paper, from the paper's top left corner, in millimetres.
  [[nodiscard]] QRectF paperRectMm() const;
};

// What the report prints besides the records; fixed for one generation.
struct ReportTexts {
  QString printDate;                                   // the system's short date format
  QString allPageCaption = QStringLiteral("Allpage");  // set by QuickRep1BeforePrint
  QColor toolTipTextColor = QColor(0, 0, 0);           // of "The Page"
};

// The test summary printed after the readings pages when the user asks for it: the test
// record, the options of the judgement and the tests found with them.
struct TestSummary {
  TestRecord record;
  TestJudgement judgement;
  std::vector<InsulationTest> tests;
};

struct PageRows {
  int first = 0;
  int count = 0;
};

// The test data report laid out page by page on demand: nothing is computed for a page
// until it is asked for, so a report of any length is ready at once. Pure computation
// (no fonts, no paint device); reads the rows lazily. Pages are numbered from 1.
class ReportLayout {
 public:
  // rowCount is frozen here: records the source gains later are not on the pages. With a
  // summary, its pages follow the readings pages, which stay as they are without one (their
  // footers count the readings pages only).
  ReportLayout(const ReportRows& rows, ReportTexts texts,
               std::optional<TestSummary> summary = std::nullopt);

  [[nodiscard]] int rowCount() const { return m_rowCount; }
  // One page per 37 records started (an empty report still has one page), then the pages
  // of the test summary when there is one (at least one).
  [[nodiscard]] int pageCount() const;
  [[nodiscard]] int readingsPageCount() const { return pageCountFor(m_rowCount); }
  [[nodiscard]] bool hasTestSummary() const { return m_summary.has_value(); }
  // The test summary printed after the readings pages, if any: what a layout of the same
  // report made elsewhere (a worker's export over a snapshot) must print too.
  [[nodiscard]] const std::optional<TestSummary>& testSummary() const { return m_summary; }
  // The records on page number (1..pageCount()); none on a summary page.
  [[nodiscard]] PageRows rowsOnPage(int number) const;
  // Every element of page number (1..pageCount()), band by band, in print order.
  [[nodiscard]] std::vector<ReportElement> page(int number) const;
  [[nodiscard]] const ReportTexts& texts() const { return m_texts; }
  [[nodiscard]] const ReportRows& rows() const { return m_rows; }

  [[nodiscard]] static int pageCountFor(int rowCount);
  // Titles of the column header, in column order ("No", "Time", ... "Remark").
  [[nodiscard]] static QString columnTitle(int column);

 private:
  void addPageHeader(std::vector<ReportElement>& out) const;
  void addColumnHeader(std::vector<ReportElement>& out) const;
  void addDetail(std::vector<ReportElement>& out, int row, double bandTopMm) const;
  void addPageFooter(std::vector<ReportElement>& out, int number) const;
  // The summary's lines, each a run of elements at one height, and where its pages begin.
  void layOutSummary();
  [[nodiscard]] std::vector<ReportElement> summaryPage(int index) const;

  struct SummaryLine {
    double heightMm = 0;
    std::vector<ReportElement> elements;  // band tops relative to the line's top
  };

  const ReportRows& m_rows;
  ReportTexts m_texts;
  int m_rowCount;
  std::optional<TestSummary> m_summary;
  std::vector<SummaryLine> m_summaryLines;
  std::vector<std::size_t> m_summaryPageStarts;  // first line of each summary page
};

}  // namespace ostrel
