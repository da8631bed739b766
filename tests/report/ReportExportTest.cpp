#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

#include "FakeDataSet.h"
#include "tests/support/FileSizeLimit.h"
#include "ui/report/ReportExport.h"
#include "ui/report/ReportLayout.h"

namespace ostrel {
namespace {

ReportTexts texts(const QString& allpage) {
  ReportTexts t;
  t.printDate = QStringLiteral("12/10/26");
  t.allPageCaption = allpage;
  return t;
}

// Two records: a comma-decimal value, a value with a double quote, and a text HTML must
// escape.
test::FakeDataSet smallTable() {
  test::FakeDataSet rows;
  rows.addRow({"1", "09:05:03", "0,512", "MΩ", "IR:500V 20GΩ", ""});
  rows.addRow({"2", "09:05:04", "1\"2", "GΩ", "IR:1000V 2TΩ", "<b>&"});
  return rows;
}

template <typename Writer>
QString written(const ReportLayout& layout, Writer writer) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  writer(layout, buffer, {});
  return QString::fromUtf8(buffer.data());
}

int pdfPageCount(const QByteArray& pdf) {
  static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
  return static_cast<int>(QString::fromLatin1(pdf).count(page));
}

TEST(CsvExport, QuotesOnlyFieldsWithCommaQuoteOrLineBreak) {
  const test::FakeDataSet rows = smallTable();
  const QString csv = written(ReportLayout(rows, texts("1")), writeReportCsv);
  EXPECT_EQ(csv, QStringLiteral("No,Time,Value,Unit,Function,Remark\r\n"
                                "1,09:05:03,\"0,512\",MΩ,IR:500V 20GΩ,\r\n"
                                "2,09:05:04,\"1\"\"2\",GΩ,IR:1000V 2TΩ,<b>&\r\n"));
  EXPECT_EQ(csvField(QStringLiteral("a\nb")), QStringLiteral("\"a\nb\""));
  EXPECT_EQ(csvField(QStringLiteral("a\rb")), QStringLiteral("\"a\rb\""));
  EXPECT_EQ(csvField(QStringLiteral("1.234")), QStringLiteral("1.234"));
}

// A cell a spreadsheet would take for a formula is written as text (a leading apostrophe);
// numbers, signed ones too, stay numbers, and the apostrophe comes before any quoting.
TEST(CsvExport, MarksFormulaLikeCellsAsText) {
  const struct {
    const char* cell;
    const char* field;
  } cases[] = {
      {"=1+2", "'=1+2"},
      {"=cmd|' /C calc'!A0", "'=cmd|' /C calc'!A0"},
      {"@SUM(1+1)", "'@SUM(1+1)"},
      {"+1+2", "'+1+2"},
      {"-1+2", "'-1+2"},
      {"-A1", "'-A1"},
      {"-", "'-"},
      {"\tx", "'\tx"},
      {"\r=1", "\"'\r=1\""},
      {"=SUM(1,2)", "\"'=SUM(1,2)\""},
      {"=\"a\"", "\"'=\"\"a\"\"\""},
      {"-1.5", "-1.5"},
      {"+3", "+3"},
      {"-0,512", "\"-0,512\""},
      {"-.5e-3", "-.5e-3"},
      {"1.234", "1.234"},
      {"a=b", "a=b"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(csvField(QString::fromUtf8(c.cell)), QString::fromUtf8(c.field)) << c.cell;
  }
}

TEST(CsvExport, ListsEveryRecordOfEveryPageOnce) {
  const test::FakeDataSet rows(75);
  const QStringList lines =
      written(ReportLayout(rows, texts("3")), writeReportCsv).split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), 1 + 75 + 1);  // titles, records, nothing after the last CR LF
  EXPECT_TRUE(lines[75].startsWith(QStringLiteral("75,")));
  EXPECT_TRUE(lines.last().isEmpty());
}

TEST(HtmlExport, PlacesEscapedTextsOnOneSheetPerPage) {
  const test::FakeDataSet rows = smallTable();
  const QString html = written(ReportLayout(rows, texts("1")), writeReportHtml);
  EXPECT_EQ(html.count(QStringLiteral("<div class=\"page\">")), 1);
  EXPECT_TRUE(html.contains(QStringLiteral("&lt;b&gt;&amp;</div>")));
  EXPECT_FALSE(html.contains(QStringLiteral("<b>&")));
  EXPECT_TRUE(html.contains(QStringLiteral(">1&quot;2</div>")));
  EXPECT_TRUE(html.contains(QStringLiteral(">0,512</div>")));
  EXPECT_TRUE(html.contains(
      QStringLiteral("left:65.83mm;top:12.12mm;font-size:14pt;color:#0000ff;font-weight:bold;"
                     "text-decoration:underline;width:78.32mm;height:6.61mm;text-align:center\"> "
                     "TEST DATA REPORT</div>")));
  EXPECT_TRUE(html.contains(
      QStringLiteral("left:181.45mm;top:15.29mm;font-size:7pt;color:#000000\">12/10/26</div>")));
  EXPECT_TRUE(html.contains(
      QStringLiteral("left:47.04mm;top:280.65mm;font-size:9pt;color:#0000ff\">1</div>")));

  const test::FakeDataSet many(38);
  EXPECT_EQ(written(ReportLayout(many, texts("2")), writeReportHtml)
                .count(QStringLiteral("<div class=\"page\">")),
            2);
}

TEST(TextExport, OneLinePerBandWithElementsAtTheirColumns) {
  const test::FakeDataSet rows = smallTable();
  const QStringList lines =
      written(ReportLayout(rows, texts("1")), writeReportText).split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 7);
  EXPECT_TRUE(lines[0].contains(QStringLiteral(" TEST DATA REPORT")));
  EXPECT_TRUE(lines[0].endsWith(QStringLiteral("Print Date: 12/10/26")));
  EXPECT_EQ(lines[1], QStringLiteral("    No           Time           Value             Unit       "
                                     " Function           Remark"));
  EXPECT_EQ(lines[2].indexOf(QStringLiteral("0,512")),
            lines[1].indexOf(QStringLiteral("Value")) + 1);
  EXPECT_EQ(lines[3], QStringLiteral("    2            09:05:04        1\"2              GΩ        "
                                     "  IR:1000V 2TΩ        <b>&"));
  EXPECT_EQ(lines[4], QString());
  EXPECT_EQ(lines[5], QStringLiteral("    The Page 1  Of 1"));

  const test::FakeDataSet many(38);
  const QString two = written(ReportLayout(many, texts("2")), writeReportText);
  EXPECT_EQ(two.count(QStringLiteral("\f\n")), 1);
  EXPECT_TRUE(two.contains(QStringLiteral("    The Page 2  Of 2\n")));
}

TEST(PdfExport, WritesOneSheetPerPage) {
  const test::FakeDataSet rows(38);
  const ReportLayout layout(rows, texts("2"));
  // Kept beside the test binary for a look at the pages.
  const QString fileName = QDir::current().filePath(QStringLiteral("report-two-pages.pdf"));
  const Result<> result = exportReport(layout, ReportFormat::Pdf, fileName);
  ASSERT_TRUE(result.ok()) << result.message();
  QFile file(fileName);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray pdf = file.readAll();
  EXPECT_TRUE(pdf.startsWith("%PDF"));
  EXPECT_EQ(pdfPageCount(pdf), 2);
}

TEST(Export, FailsWithTheSystemsReasonWhenTheFileCannotBeWritten) {
  const test::FakeDataSet rows = smallTable();
  const QTemporaryDir dir;
  const Result<> result = exportReport(ReportLayout(rows, texts("1")), ReportFormat::Csv,
                                       dir.filePath(QStringLiteral("missing/out.csv")));
  EXPECT_FALSE(result.ok());
  EXPECT_FALSE(result.message().empty());
}

using test::FileSizeLimit;

class FailedExport : public testing::TestWithParam<const char*> {};

// A full disk in the middle of an export is reported, and the file that was there before
// stays whole; no temporary file is left beside it.
TEST_P(FailedExport, KeepsTheOldFileAndReportsTheFailure) {
  const test::FakeDataSet rows(400);
  const ReportLayout layout(rows, texts("9"));
  const QTemporaryDir dir;
  const QString fileName = dir.filePath(QStringLiteral("report.") + QLatin1String(GetParam()));
  {
    QFile old(fileName);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old report");
  }
  const ReportFormat format = *reportFormatForFile(fileName);
  Result<> result;
  {
    const FileSizeLimit limit(8192);
    result = exportReport(layout, format, fileName);
  }
  EXPECT_FALSE(result.ok());
  EXPECT_FALSE(result.message().empty());
  QFile old(fileName);
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "old report");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList{"report." + QString::fromLatin1(GetParam())});

  EXPECT_TRUE(exportReport(layout, format, fileName).ok()) << "without the limit";
}

INSTANTIATE_TEST_SUITE_P(Formats, FailedExport, testing::Values("csv", "html", "txt", "pdf"));

TEST(Export, FormatFollowsTheExtension) {
  EXPECT_EQ(reportFormatForFile(QStringLiteral("a/b.PDF")), ReportFormat::Pdf);
  EXPECT_EQ(reportFormatForFile(QStringLiteral("b.html")), ReportFormat::Html);
  EXPECT_EQ(reportFormatForFile(QStringLiteral("b.htm")), ReportFormat::Html);
  EXPECT_EQ(reportFormatForFile(QStringLiteral("b.txt")), ReportFormat::Text);
  EXPECT_EQ(reportFormatForFile(QStringLiteral("b.Csv")), ReportFormat::Csv);
  EXPECT_EQ(reportFormatForFile(QStringLiteral("b.xls")), std::nullopt);
  EXPECT_EQ(reportFormatForFile(QStringLiteral("pdf")), std::nullopt);
}

}  // namespace
}  // namespace ostrel
