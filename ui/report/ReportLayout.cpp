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

ReportLayout::ReportLayout(const ReportRows& rows, ReportTexts texts)
    : m_rows(rows), m_texts(std::move(texts)), m_rowCount(std::max(0, rows.rowCount())) {}

int ReportLayout::pageCountFor(int rowCount) {
  if (rowCount <= 0) return 1;
  return (rowCount - 1) / rowsPerPage + 1;
}

int ReportLayout::pageCount() const { return pageCountFor(m_rowCount); }

PageRows ReportLayout::rowsOnPage(int number) const {
  if (number < 1 || number > pageCount()) return {};
  const int first = (number - 1) * rowsPerPage;
  return {first, std::min(rowsPerPage, m_rowCount - first)};
}

QString ReportLayout::columnTitle(int column) {
  return QString::fromLatin1(columnTitles.at(static_cast<std::size_t>(column)));
}

std::vector<ReportElement> ReportLayout::page(int number) const {
  std::vector<ReportElement> out;
  if (number < 1 || number > pageCount()) return out;
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

}  // namespace ostrel
