// ostrel-cli report, run from outside as a user would.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <string>
#include <utility>
#include <vector>

#include "FakeDataSet.h"
#include "record/ReadingsTable.h"
#include "record/TableFiles.h"
#include "tests/cli/ChildProcess.h"

namespace ostrel {
namespace {

struct CliRun {
  int exitCode = -1;
  QString errors;
};

CliRun runCli(const QStringList& args, test::ChildOptions options = {}) {
  std::vector<std::string> arguments{"report"};
  for (const QString& arg : args) arguments.push_back(arg.toStdString());
  const test::ChildResult cli = test::runProgram(OSTREL_CLI, arguments, std::move(options));
  return {cli.exitCode,
          QString::fromLocal8Bit(cli.err.data(), static_cast<qsizetype>(cli.err.size()))};
}

QByteArray contents(const QString& fileName) {
  QFile file(fileName);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ReportCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ReadingsTable cds1;
    for (int i = 1; i <= 38; ++i) {
      RecordFields r;
      r.No = i;
      r.TimeMs = 9 * 3600000 + i * 1000;
      r.Value = i == 1 ? "0,512" : "1.234";
      r.Unit = "M\xA6\xB8";
      r.V_Range = "IR:500V 20G\xA6\xB8";
      cds1.append(r);
    }
    ASSERT_TRUE(SaveTableToFile(cds1, path("table.txt").toStdString()).ok());
    ASSERT_TRUE(SaveTableToFile(cds1, path("table.xml").toStdString()).ok());
  }
  QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  QTemporaryDir dir;
};

TEST_F(ReportCli, WritesTheReportInTheFormatOfTheExtension) {
  for (const char* table : {"table.txt", "table.xml"}) {
    ASSERT_EQ(runCli({path(table), path("out.csv")}).exitCode, 0) << table;
    const QList<QByteArray> lines = contents(path("out.csv")).split('\n');
    ASSERT_EQ(lines.size(), 1 + 38 + 1) << table;
    EXPECT_EQ(lines[0], "No,Time,Value,Unit,Function,Remark\r");
    EXPECT_TRUE(lines[1].startsWith("1,")) << lines[1].constData();
    EXPECT_TRUE(lines[1].contains(",\"0,512\",M\xCE\xA9,IR:500V 20G\xCE\xA9,"))
        << lines[1].constData();
  }

  ASSERT_EQ(runCli({path("table.txt"), path("out.html")}).exitCode, 0);
  const QString html = QString::fromUtf8(contents(path("out.html")));
  const QString today = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
  EXPECT_EQ(html.count(QStringLiteral("\">") + today.toHtmlEscaped() + QStringLiteral("</div>")),
            2);
  EXPECT_EQ(html.count(QStringLiteral("<div class=\"page\">")), 2);

  ASSERT_EQ(runCli({path("table.txt"), path("out.txt")}).exitCode, 0);
  EXPECT_TRUE(contents(path("out.txt")).contains("    The Page 2  Of 2\n"));

  ASSERT_EQ(runCli({path("table.txt"), path("out.pdf")}).exitCode, 0);
  static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
  EXPECT_EQ(QString::fromLatin1(contents(path("out.pdf"))).count(page), 2);
}

TEST_F(ReportCli, FailsWhenTheTableCannotBeLoadedOrTheOutputWritten) {
  const CliRun missing = runCli({path("none.txt"), path("out.csv")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.errors, "Failed to Load File!\n" + path("none.txt") + ": no such file\n");
  EXPECT_FALSE(QFile::exists(path("out.csv")));

  QFile empty(path("empty.txt"));
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  EXPECT_EQ(runCli({path("empty.txt"), path("out.csv")}).exitCode, 1);

  const CliRun unwritable = runCli({path("table.txt"), path("missing/out.pdf")});
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_TRUE(unwritable.errors.contains(QStringLiteral("No such file or directory")))
      << unwritable.errors.toStdString();

  EXPECT_EQ(runCli({path("table.txt"), path("out.xls")}).exitCode, 2);
  EXPECT_EQ(runCli({path("table.txt")}).exitCode, 2);
}

// A file size limit (as set by ulimit -f) makes a write fail like a full disk: the command
// reports it instead of being ended by SIGXFSZ with its temporary file left behind.
TEST_F(ReportCli, AFileSizeLimitFailsTheExportAndKeepsTheOldFile) {
  QFile old(path("out.pdf"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old report") > 0);
  old.close();

  const CliRun limited =
      runCli({path("table.txt"), path("out.pdf")}, test::ChildOptions().withChildSetup([] {
        const rlimit limit{2048, 2048};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }));
  EXPECT_EQ(limited.exitCode, 1);
  EXPECT_TRUE(limited.errors.contains(QStringLiteral("File too large")))
      << limited.errors.toStdString();
  EXPECT_EQ(contents(path("out.pdf")), QByteArray("old report"));
  EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.ostrel-*")}, QDir::Files).isEmpty());
}

}  // namespace
}  // namespace ostrel
