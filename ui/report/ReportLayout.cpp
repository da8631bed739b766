#include "ui/report/ReportLayout.h"

#include <algorithm>
#include <array>

#include "ui/report/ReportGeometry.h"

namespace ostrel {

namespace {

using namespace report;

const QColor black(0, 0, 0);
const QColor blue(0, 0, 255);

struct FieldPlace {
  const char* name;
  double leftMm;
  double topMm;
};

constexpr std::array<FieldPlace, ReportRows::columnCount> columnTitlePlaces{{
    {"QRLabel2", 8.47, 4.23},
    {"QRLabel3", 33.87, 4.23},
    {"QRLabel4", 64.29, 4.23},
    {"QRLabel5", 99.48, 4.23},
    {"QRLabel6", 123.83, 4.23},
    {"QRLabel7", 162.98, 4.23},
}};

constexpr std::array<const char*, ReportRows::columnCount> columnTitles{
    "No", "Time", "Value", "Unit", "Function", "Remark"};

constexpr std::array<FieldPlace, ReportRows::columnCount> detailPlaces{{
    {"QRDBText1", 8.47, 2.12},
    {"QRDBText2", 33.87, 2.12},
    {"QRDBText3", 65.62, 2.12},
    {"QRDBText4", 99.48, 2.12},
    {"QRDBText5", 123.83, 1.59},
    {"QRDBText6", 164.04, 2.12},
}};

// The title's fixed box, centred across the band.
constexpr double titleWidthMm = 78.32;
constexpr double titleHeightMm = 6.61;
constexpr double titleTopMm = 2.12;

// One line of Arial: ascent plus descent is about 1.15 em.
double lineHeightMm(double pointSize) { return pointSize * millimetresPerPoint * 1.15; }

ReportElement textElement(const char* name, ReportBand band, double bandTopMm, double leftMm,
                          double topMm, const QString& text, double pointSize, QColor color) {
  ReportElement e;
  e.name = QString::fromLatin1(name);
  e.band = band;
  e.bandTopMm = bandTopMm;
  e.boxMm = QRectF(leftMm, topMm, bandWidthMm - leftMm, lineHeightMm(pointSize));
  e.autoSize = true;
  e.text = text;
  e.font.pointSize = pointSize;
  e.color = color;
  return e;
}

}  // namespace

QRectF ReportElement::paperRectMm() const {
  return boxMm.translated(report::marginMm, report::marginMm + bandTopMm);
}

ReportLayout::ReportLayout(const ReportRows& rows, ReportTexts texts,
                           std::optional<TestSummary> summary)
    : m_rows(rows),
      m_texts(std::move(texts)),
      m_rowCount(std::max(0, rows.rowCount())),
      m_summary(std::move(summary)) {
  if (m_summary) layOutSummary();
}

int ReportLayout::pageCountFor(int rowCount) {
  if (rowCount <= 0) return 1;
  return (rowCount - 1) / rowsPerPage + 1;
}

int ReportLayout::pageCount() const {
  return readingsPageCount() + static_cast<int>(m_summaryPageStarts.size());
}

PageRows ReportLayout::rowsOnPage(int number) const {
  if (number < 1 || number > readingsPageCount()) return {};
  const int first = (number - 1) * rowsPerPage;
  return {first, std::min(rowsPerPage, m_rowCount - first)};
}

QString ReportLayout::columnTitle(int column) {
  return QString::fromLatin1(columnTitles.at(static_cast<std::size_t>(column)));
}

std::vector<ReportElement> ReportLayout::page(int number) const {
  std::vector<ReportElement> out;
  if (number < 1 || number > pageCount()) return out;
  if (number > readingsPageCount()) return summaryPage(number - readingsPageCount() - 1);
  const PageRows rows = rowsOnPage(number);
  out.reserve(3 + columnTitles.size() + static_cast<std::size_t>(rows.count) * detailPlaces.size() +
              4);
  addPageHeader(out);
  addColumnHeader(out);
  for (int i = 0; i < rows.count; ++i) {
    addDetail(out, rows.first + i, firstDetailTopMm + i * detailHeightMm);
  }
  addPageFooter(out, number);
  return out;
}

void ReportLayout::addPageHeader(std::vector<ReportElement>& out) const {
  ReportElement title;
  title.name = QStringLiteral("QRLabel1");
  title.band = ReportBand::PageHeader;
  title.bandTopMm = pageHeaderTopMm;
  title.boxMm = QRectF((bandWidthMm - titleWidthMm) / 2, titleTopMm, titleWidthMm, titleHeightMm);
  title.autoSize = false;
  title.text = QStringLiteral(" TEST DATA REPORT");
  title.font.pointSize = 14;
  title.font.bold = true;
  title.font.underline = true;
  title.color = blue;
  out.push_back(title);
  out.push_back(textElement("QRLabel9", ReportBand::PageHeader, pageHeaderTopMm, 158.75, 5.29,
                            QStringLiteral("Print Date:"), 7, black));
  out.push_back(textElement("QRSysData1", ReportBand::PageHeader, pageHeaderTopMm, 171.45, 5.29,
                            m_texts.printDate, 7, black));
}

void ReportLayout::addColumnHeader(std::vector<ReportElement>& out) const {
  for (std::size_t c = 0; c < columnTitlePlaces.size(); ++c) {
    const FieldPlace& p = columnTitlePlaces[c];
    out.push_back(textElement(p.name, ReportBand::ColumnHeader, columnHeaderTopMm, p.leftMm,
                              p.topMm, QString::fromLatin1(columnTitles[c]), 10, black));
  }
}

void ReportLayout::addDetail(std::vector<ReportElement>& out, int row, double bandTopMm) const {
  for (std::size_t c = 0; c < detailPlaces.size(); ++c) {
    const FieldPlace& p = detailPlaces[c];
    out.push_back(textElement(p.name, ReportBand::Detail, bandTopMm, p.leftMm, p.topMm,
                              m_rows.cell(row, static_cast<int>(c)), 10, black));
  }
}

void ReportLayout::addPageFooter(std::vector<ReportElement>& out, int number) const {
  out.push_back(textElement("QRLabel8", ReportBand::PageFooter, pageFooterTopMm, 8.47, 4.23,
                            QStringLiteral("The Page"), 10, m_texts.toolTipTextColor));
  out.push_back(textElement("QRSysData2", ReportBand::PageFooter, pageFooterTopMm, 24.34, 4.23,
                            QString::number(number), 8, blue));
  out.push_back(textElement("QRLabel10", ReportBand::PageFooter, pageFooterTopMm, 31.75, 4.23,
                            QStringLiteral("Of"), 10, black));
  out.push_back(textElement("Allpage", ReportBand::PageFooter, pageFooterTopMm, 37.04, 4.23,
                            m_texts.allPageCaption, 9, blue));
}

namespace {

// The test summary's type sizes, line heights and column places (millimetres).
constexpr double summaryTitlePt = 12;
constexpr double summaryTextPt = 9;
constexpr double summaryTablePt = 8;
constexpr double summaryReasonPt = 7;
constexpr double summaryTopMm = columnHeaderTopMm;
constexpr double recordValueLeftMm = 48;
constexpr double reasonIndentMm = 10;
constexpr int recordValueCharacters = 80;  // what fits beside the label at 9 pt
constexpr int notesCharacters = 100;       // a notes line across the band at 9 pt

struct SummaryColumn {
  const char* title;
  double leftMm;
};
constexpr std::array<SummaryColumn, 11> summaryColumns{{{"Test", 0},
                                                        {"Voltage", 9},
                                                        {"Start", 21},
                                                        {"Duration", 50},
                                                        {"R 30 s", 64},
                                                        {"R 1 min", 81},
                                                        {"R 10 min", 98},
                                                        {"R 1 min 40 \u00B0C", 115},
                                                        {"DAR", 139},
                                                        {"PI", 151},
                                                        {"Verdict", 163}}};

QString utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A text cut to `characters` with an ellipsis when longer.
QString cut(const QString& text, int characters) {
  return text.size() <= characters ? text : text.left(characters - 1) + QChar(0x2026);
}

// The lines of a text at most `characters` long, broken at blanks where there are some.
QStringList wrapped(const QString& text, int characters) {
  QStringList lines;
  for (QString rest : text.split(QLatin1Char('\n'))) {
    rest = rest.trimmed();
    while (rest.size() > characters) {
      qsizetype at = rest.lastIndexOf(QLatin1Char(' '), characters);
      if (at <= 0) at = characters;
      lines << rest.left(at).trimmed();
      rest = rest.mid(at).trimmed();
    }
    lines << rest;
  }
  while (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

// A temperature or humidity as typed, with its unit when it is a number.
QString measuredText(const std::string& typed, const char* unit) {
  const QString text = utf8(typed).trimmed();
  if (text.isEmpty()) return QStringLiteral("-");
  return typedNumber(typed) ? text + QString::fromUtf8(unit) : text;
}

QString minimumText(const TestJudgement& j) {
  switch (j.minimum) {
    case MinimumClass::FormWound100M:
      return QStringLiteral("100 M\u03A9 (form-wound, after 1970)");
    case MinimumClass::RandomWound5M:
      return QStringLiteral("5 M\u03A9 (random-wound, below 1 kV)");
    case MinimumClass::KvPlusOne:
      return j.ratedKv ? QStringLiteral("rated %1 kV + 1 M\u03A9").arg(*j.ratedKv)
                       : QStringLiteral("rated kV + 1 M\u03A9 (rated voltage unknown)");
    case MinimumClass::Fixed:
      break;
  }
  return utf8(minimumClassText(j)) + QStringLiteral(" M\u03A9");
}

QString ratioText(std::optional<double> ratio) {
  return ratio ? QString::number(*ratio, 'f', 2) : QStringLiteral("-");
}

}  // namespace

void ReportLayout::layOutSummary() {
  const TestSummary& summary = *m_summary;
  const auto line = [this](double pointSize, double gapMm = 0.0) -> SummaryLine& {
    m_summaryLines.push_back({lineHeightMm(pointSize) + gapMm, {}});
    return m_summaryLines.back();
  };
  const auto text = [](SummaryLine& into, const char* name, double leftMm, const QString& caption,
                       double pointSize, bool bold = false) {
    ReportElement e =
        textElement(name, ReportBand::Detail, 0, leftMm, 0, caption, pointSize, black);
    e.font.bold = bold;
    into.elements.push_back(std::move(e));
  };

  text(line(summaryTitlePt, 2), "SummaryTitle", 0, QStringLiteral("Test summary"), summaryTitlePt,
       true);
  const TestRecord& r = summary.record;
  const TestJudgement& j = summary.judgement;
  const std::array<std::pair<const char*, QString>, 14> fields{{
      {"Customer", utf8(r.customer)},
      {"Site", utf8(r.site)},
      {"Asset or tag", utf8(r.asset)},
      {"Operator", utf8(r.operatorName)},
      {"Instrument serial", utf8(r.instrumentSerial)},
      {"Rated voltage", measuredText(r.ratedKv, " kV")},
      {"Date of first reading",
       r.firstReadingDate.empty() ? QStringLiteral("-") : utf8(r.firstReadingDate)},
      {"Ambient temperature", measuredText(r.ambientC, " \u00B0C")},
      {"Winding temperature", measuredText(r.windingC, " \u00B0C")},
      {"Humidity", measuredText(r.humidityPct, " %")},
      {"Corrected to 40 \u00B0C",
       j.windingTemperatureC
           ? QStringLiteral("from %1 \u00B0C").arg(*j.windingTemperatureC, 0, 'f', 1)
           : QStringLiteral("no (no winding temperature)")},
      {"Minimum R(1 min) at 40 \u00B0C", minimumText(j)},
      {"Thermal class (PI minimum)", QString(QLatin1Char(j.thermalClass))},
      {"DAR", j.dar == DarMarks::R60R15 ? QStringLiteral("R(60 s) / R(15 s)")
                                        : QStringLiteral("R(60 s) / R(30 s)")},
  }};
  for (const auto& [label, value] : fields) {
    SummaryLine& l = line(summaryTextPt, 0.6);
    text(l, "SummaryLabel", 0, QString::fromUtf8(label) + QLatin1Char(':'), summaryTextPt);
    const QString shown = value.trimmed().isEmpty() ? QStringLiteral("-") : value.simplified();
    text(l, "SummaryValue", recordValueLeftMm, cut(shown, recordValueCharacters), summaryTextPt);
  }
  const QStringList notes = wrapped(utf8(r.notes), notesCharacters);
  text(line(summaryTextPt, 0.6), "SummaryLabel", 0,
       notes.isEmpty() ? QStringLiteral("Notes: -") : QStringLiteral("Notes:"), summaryTextPt);
  for (const QString& note : notes) {
    text(line(summaryTextPt, 0.4), "SummaryNotes", reasonIndentMm, note, summaryTextPt);
  }

  line(summaryTextPt);  // a blank line before the tests
  SummaryLine& header = line(summaryTablePt, 1);
  for (const SummaryColumn& c : summaryColumns) {
    text(header, "SummaryColumn", c.leftMm, QString::fromUtf8(c.title), summaryTablePt, true);
  }
  int passed = 0;
  int failed = 0;
  for (const InsulationTest& t : summary.tests) {
    const std::array<QString, summaryColumns.size()> cells{
        QString::number(t.number),
        QStringLiteral("%1 V").arg(t.voltageV),
        utf8(testStartText(t, ' ')),
        QStringLiteral("%1 s").arg(t.durationS, 0, 'f', 0),
        utf8(resistanceText(t.r30)),
        utf8(resistanceText(t.r60)),
        utf8(resistanceText(t.r600)),
        t.r60At40COhm ? utf8(ohmText(*t.r60At40COhm)) : QStringLiteral("-"),
        ratioText(t.dar),
        ratioText(t.pi),
        utf8(t.verdict)};
    SummaryLine& row = line(summaryTablePt, 0.8);
    for (std::size_t c = 0; c < cells.size(); ++c) {
      text(row, "SummaryCell", summaryColumns[c].leftMm, cells[c], summaryTablePt,
           c + 1 == cells.size());
    }
    for (const std::string& reason : t.reasons) {
      text(line(summaryReasonPt, 0.3), "SummaryReason", reasonIndentMm,
           QStringLiteral("- ") + utf8(reason), summaryReasonPt);
    }
    passed += t.verdict == "pass" ? 1 : 0;
    failed += t.verdict == "fail" ? 1 : 0;
  }
  const int tests = static_cast<int>(summary.tests.size());
  text(line(summaryTextPt, 2), "SummaryTotal", 0,
       tests == 0 ? QStringLiteral("No insulation tests in the readings.")
                  : QStringLiteral("%1 tests: %2 pass, %3 fail, %4 incomplete")
                        .arg(tests)
                        .arg(passed)
                        .arg(failed)
                        .arg(tests - passed - failed),
       summaryTextPt);

  // Lines fill a page from below the page header down to the footer.
  double y = pageFooterTopMm;
  for (std::size_t i = 0; i < m_summaryLines.size(); ++i) {
    if (y + m_summaryLines[i].heightMm > pageFooterTopMm) {
      m_summaryPageStarts.push_back(i);
      y = summaryTopMm;
    }
    y += m_summaryLines[i].heightMm;
  }
}

std::vector<ReportElement> ReportLayout::summaryPage(int index) const {
  std::vector<ReportElement> out;
  const auto pages = static_cast<int>(m_summaryPageStarts.size());
  if (index < 0 || index >= pages) return out;
  addPageHeader(out);
  const std::size_t first = m_summaryPageStarts[static_cast<std::size_t>(index)];
  const std::size_t end = index + 1 < pages
                              ? m_summaryPageStarts[static_cast<std::size_t>(index) + 1]
                              : m_summaryLines.size();
  double y = summaryTopMm;
  for (std::size_t i = first; i < end; ++i) {
    for (ReportElement e : m_summaryLines[i].elements) {
      e.bandTopMm = y;
      out.push_back(std::move(e));
    }
    y += m_summaryLines[i].heightMm;
  }
  out.push_back(textElement(
      "SummaryFooter", ReportBand::PageFooter, pageFooterTopMm, 8.47, 4.23,
      pages == 1 ? QStringLiteral("Test summary")
                 : QStringLiteral("Test summary, page %1 of %2").arg(index + 1).arg(pages),
      10, black));
  return out;
}

}  // namespace ostrel
