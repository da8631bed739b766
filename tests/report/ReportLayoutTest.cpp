#include <gtest/gtest.h>

#include <algorithm>

#include "FakeDataSet.h"
#include "ui/report/ReportLayout.h"
#include "ui/report/TestDataReport.h"

namespace ostrel {
namespace {

const ReportElement& element(const std::vector<ReportElement>& page, const QString& name,
                             int occurrence = 0) {
  for (const ReportElement& e : page) {
    if (e.name == name && occurrence-- == 0) return e;
  }
  throw std::runtime_error("no element " + name.toStdString());
}

int countOf(const std::vector<ReportElement>& page, ReportBand band) {
  return static_cast<int>(std::count_if(page.begin(), page.end(),
                                        [band](const ReportElement& e) { return e.band == band; }));
}

ReportTexts texts(const QString& allpage) {
  ReportTexts t;
  t.printDate = QStringLiteral("12/10/26");
  t.allPageCaption = allpage;
  return t;
}

struct PagingCase {
  int records;
  int total;
  std::vector<int> rowsPerPage;
};
void PrintTo(const PagingCase& c, std::ostream* out) { *out << c.records << " records"; }

class Paging : public ::testing::TestWithParam<PagingCase> {};

TEST_P(Paging, PageTotalPagesAndRowsPerPageAgree) {
  const PagingCase& c = GetParam();
  const test::FakeDataSet rows(c.records);
  const ReportLayout layout(rows, texts(QString::number(c.total)));
  EXPECT_EQ(TestDataReport::pageTotalFor(c.records), c.total);
  ASSERT_EQ(layout.pageCount(), c.total);
  int next = 0;
  for (int k = 1; k <= layout.pageCount(); ++k) {
    const PageRows r = layout.rowsOnPage(k);
    EXPECT_EQ(r.first, next);
    EXPECT_EQ(r.count, c.rowsPerPage.at(static_cast<std::size_t>(k - 1))) << "page " << k;
    const std::vector<ReportElement> page = layout.page(k);
    EXPECT_EQ(countOf(page, ReportBand::Detail), 6 * r.count);
    EXPECT_EQ(countOf(page, ReportBand::PageHeader), 3);
    EXPECT_EQ(countOf(page, ReportBand::ColumnHeader), 6);
    EXPECT_EQ(countOf(page, ReportBand::PageFooter), 4);
    next += r.count;
  }
  EXPECT_EQ(next, c.records);
  EXPECT_TRUE(layout.page(layout.pageCount() + 1).empty());
}

INSTANTIATE_TEST_SUITE_P(Records, Paging,
                         ::testing::Values(PagingCase{0, 1, {0}}, PagingCase{1, 1, {1}},
                                           PagingCase{37, 1, {37}}, PagingCase{38, 2, {37, 1}},
                                           PagingCase{74, 2, {37, 37}},
                                           PagingCase{75, 3, {37, 37, 1}}));

TEST(PageTotal, FollowsTheRuleForLargeAndOddCounts) {
  EXPECT_EQ(TestDataReport::pageTotalFor(100000), 2703);
  EXPECT_EQ(TestDataReport::pageTotalFor(10000000), 270271);
  EXPECT_EQ(TestDataReport::pageTotalFor(-1), 1);
  const test::FakeDataSet rows(100000);
  EXPECT_EQ(ReportLayout(rows, texts(QStringLiteral("2703"))).pageCount(), 2703);
}

TEST(ReportFooter, ReadsThePageNumberOfTheTotal) {
  const test::FakeDataSet rows(75);
  const ReportLayout layout(rows, texts(QStringLiteral("3")));
  for (int k = 1; k <= 3; ++k) {
    const std::vector<ReportElement> page = layout.page(k);
    EXPECT_EQ(element(page, QStringLiteral("QRLabel8")).text, QStringLiteral("The Page"));
    EXPECT_EQ(element(page, QStringLiteral("QRSysData2")).text, QString::number(k));
    EXPECT_EQ(element(page, QStringLiteral("QRLabel10")).text, QStringLiteral("Of"));
    EXPECT_EQ(element(page, QStringLiteral("Allpage")).text, QStringLiteral("3"));
  }
  const std::vector<ReportElement> page = layout.page(1);
  EXPECT_EQ(element(page, QStringLiteral("QRSysData2")).color, QColor(Qt::blue));
  EXPECT_EQ(element(page, QStringLiteral("QRSysData2")).font.pointSize, 8);
  EXPECT_EQ(element(page, QStringLiteral("Allpage")).color, QColor(Qt::blue));
  EXPECT_EQ(element(page, QStringLiteral("Allpage")).font.pointSize, 9);
  EXPECT_EQ(element(page, QStringLiteral("QRLabel8")).color, QColor(Qt::black));
}

TEST(ReportPage, EmptyTableGivesTitleDateColumnTitlesAndFooter) {
  const test::FakeDataSet rows(0);
  const ReportLayout layout(rows, texts(QStringLiteral("1")));
  const std::vector<ReportElement> page = layout.page(1);
  EXPECT_EQ(element(page, QStringLiteral("QRLabel1")).text, QStringLiteral(" TEST DATA REPORT"));
  EXPECT_EQ(element(page, QStringLiteral("QRLabel9")).text, QStringLiteral("Print Date:"));
  EXPECT_EQ(element(page, QStringLiteral("QRSysData1")).text, QStringLiteral("12/10/26"));
  const QStringList titles{"No", "Time", "Value", "Unit", "Function", "Remark"};
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(element(page, QStringLiteral("QRLabel%1").arg(c + 2)).text, titles[c]);
  }
  EXPECT_EQ(countOf(page, ReportBand::Detail), 0);
  EXPECT_EQ(element(page, QStringLiteral("QRSysData2")).text, QStringLiteral("1"));
  EXPECT_EQ(element(page, QStringLiteral("Allpage")).text, QStringLiteral("1"));
}

struct Place {
  const char* name;
  int occurrence;
  double left;  // on the paper, mm
  double top;
  double pointSize;
};

TEST(ReportPage, ElementsStandAtTheirPlacesInMillimetres) {
  test::FakeDataSet rows(37);
  rows.addRow({"38", "10:00:01", "0,512", "GΩ", "IR:1000V 2TΩ", "x"});
  const ReportLayout layout(rows, texts(QStringLiteral("2")));
  const std::vector<ReportElement> full = layout.page(1);
  const std::vector<ReportElement> second = layout.page(2);
  const double m = 10.0;
  const Place places[] = {
      {"QRLabel9", 0, m + 158.75, m + 5.29, 7},
      {"QRSysData1", 0, m + 171.45, m + 5.29, 7},
      {"QRLabel2", 0, m + 8.47, m + 10.58 + 4.23, 10},
      {"QRLabel4", 0, m + 64.29, m + 10.58 + 4.23, 10},
      {"QRLabel7", 0, m + 162.98, m + 10.58 + 4.23, 10},
      {"QRDBText1", 0, m + 8.47, m + 21.16 + 2.12, 10},
      {"QRDBText2", 0, m + 33.87, m + 21.16 + 2.12, 10},
      {"QRDBText3", 0, m + 65.62, m + 21.16 + 2.12, 10},
      {"QRDBText4", 0, m + 99.48, m + 21.16 + 2.12, 10},
      {"QRDBText5", 0, m + 123.83, m + 21.16 + 1.59, 10},
      {"QRDBText6", 0, m + 164.04, m + 21.16 + 2.12, 10},
      {"QRLabel8", 0, m + 8.47, m + 277 - 10.58 + 4.23, 10},
      {"QRSysData2", 0, m + 24.34, m + 277 - 10.58 + 4.23, 8},
      {"QRLabel10", 0, m + 31.75, m + 277 - 10.58 + 4.23, 10},
      {"Allpage", 0, m + 37.04, m + 277 - 10.58 + 4.23, 9},
  };
  for (const std::vector<ReportElement>* page : {&full, &second}) {
    for (const Place& p : places) {
      const ReportElement& e = element(*page, QString::fromLatin1(p.name), p.occurrence);
      EXPECT_NEAR(e.paperRectMm().left(), p.left, 1e-9) << p.name;
      EXPECT_NEAR(e.paperRectMm().top(), p.top, 1e-9) << p.name;
      EXPECT_EQ(e.font.pointSize, p.pointSize) << p.name;
      EXPECT_TRUE(e.autoSize) << p.name;
      EXPECT_EQ(e.font.family, QStringLiteral("Arial"));
    }
  }
  // The 37th row of a full page sits at its band and ends above the footer.
  const ReportElement& last = element(full, QStringLiteral("QRDBText1"), 36);
  EXPECT_NEAR(last.paperRectMm().top(), m + 21.16 + 36 * 6.61 + 2.12, 1e-9);
  EXPECT_EQ(last.text, QStringLiteral("37"));
  EXPECT_LE(last.bandTopMm + 6.61, 277 - 10.58);
  // Page 2 prints record 38 in its first detail band, texts as given.
  EXPECT_EQ(element(second, QStringLiteral("QRDBText3")).text, QStringLiteral("0,512"));
  EXPECT_EQ(element(second, QStringLiteral("QRDBText5")).text, QStringLiteral("IR:1000V 2TΩ"));
}

TEST(ReportPage, TitleIsCentredAcrossTheBandInItsBox) {
  const test::FakeDataSet rows(1);
  const ReportElement title =
      element(ReportLayout(rows, texts(QStringLiteral("1"))).page(1), QStringLiteral("QRLabel1"));
  EXPECT_EQ(title.text, QStringLiteral(" TEST DATA REPORT"));
  EXPECT_FALSE(title.autoSize);
  const QRectF r = title.paperRectMm();
  EXPECT_NEAR(r.width(), 78.32, 1e-9);
  EXPECT_NEAR(r.height(), 6.61, 1e-9);
  EXPECT_NEAR(r.top(), 10 + 2.12, 1e-9);
  EXPECT_NEAR(r.center().x(), 10 + 189.97 / 2, 1e-9);
  EXPECT_EQ(title.font.pointSize, 14);
  EXPECT_TRUE(title.font.bold);
  EXPECT_TRUE(title.font.underline);
  EXPECT_EQ(title.color, QColor(Qt::blue));
}

}  // namespace
}  // namespace ostrel
