#include <gtest/gtest.h>

#include <QBrush>
#include <QColor>
#include <QFile>
#include <QLocale>
#include <QMimeData>
#include <cstdlib>
#include <memory>

#include "common/test_results.h"
#include "components/qrmt_reportgrid.h"

using namespace qrmt;

namespace {

TCountResult Result(const std::string& name, int64_t code, int64_t comment, int64_t blank, int64_t mixed,
                    const std::string& path = "src/") {
  return test::MakeResult(path, name, code, comment, blank, mixed);
}

class ReportGridTest : public ::testing::Test {
 protected:
  void SetUp() override { QLocale::setDefault(QLocale::c()); }
  std::vector<QString> Column(const TReportTableModel& m, int column) const {
    std::vector<QString> cells;
    for (int r = 0; r < m.rowCount(); ++r) cells.push_back(m.CellText(r, column));
    return cells;
  }
};

}  // namespace

TEST_F(ReportGridTest, RowsShowTheirCountsAndPercentagesOfTheTotal) {
  TReportTableModel m;
  m.AppendRow(Result("a.c", 150, 30, 15, 5), true);
  ASSERT_EQ(m.rowCount(), 1);
  const char* want[] = {"src/a.c", "200", "150", "75.00 %", "30", "15.00 %", "15", "7.50 %", "5", "2.50 %", "200"};
  for (int c = 0; c < rcColumnCount; ++c) EXPECT_EQ(m.CellText(0, c).toStdString(), want[c]) << c;
  EXPECT_DOUBLE_EQ(m.Percent(0, rcBlankPercent), 7.5);
  EXPECT_EQ(m.data(m.index(0, 0)).toString(), "src/a.c");
  // An empty file: all four percentages 0.
  m.AppendRow(Result("e.c", 0, 0, 0, 0), false);
  EXPECT_EQ(m.CellText(1, rcFileName), "e.c");
  for (int c : {rcSourceCodePercent, rcCommentPercent, rcBlankPercent, rcMixedPercent})
    EXPECT_EQ(m.CellText(1, c), "0.00 %");
}

TEST_F(ReportGridTest, FooterHoldsSumsAndRatiosOfTheSums) {
  TReportTableModel m;
  m.AppendRow(Result("a.c", 50, 50, 0, 0), true);
  m.AppendRow(Result("b.c", 60, 200, 40, 0), true);
  EXPECT_EQ(m.FooterText(rcFileName), "Total:");
  EXPECT_EQ(m.FooterText(rcSourceCode), "110");
  EXPECT_EQ(m.FooterText(rcTotal), "400");
  EXPECT_EQ(m.FooterText(rcSourceCodePercent), "");  // set when a run ends
  m.UpdateTotals();
  EXPECT_EQ(m.FooterText(rcSourceCodePercent), "27.50 %");  // 110 * 100 / 400, not the mean of 50 and 20
  EXPECT_EQ(m.FooterText(rcCommentPercent), "62.50 %");
  EXPECT_EQ(m.FooterText(rcMixedPercent), "0.00 %");

  TReportTableModel empty;
  empty.AppendRow(Result("e.c", 0, 0, 0, 0), true);
  empty.UpdateTotals();
  for (int c : {rcSourceCodePercent, rcCommentPercent, rcBlankPercent, rcMixedPercent})
    EXPECT_EQ(empty.FooterText(c), "0 %");

  // Clearing empties the rows and the sums; the percentage footers stay.
  m.Clear();
  EXPECT_EQ(m.rowCount(), 0);
  EXPECT_EQ(m.FooterText(rcTotal), "0");
  EXPECT_EQ(m.FooterText(rcSourceCodePercent), "27.50 %");
}

TEST_F(ReportGridTest, TotalsAndRepaintingSwitchOffForARun) {
  TReportTableModel m;
  int insertions = 0, inserted = 0;
  QObject::connect(&m, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
    ++insertions;
    inserted += last - first + 1;
  });
  m.AppendRow(Result("a.c", 1, 0, 0, 0), true);
  m.SetTotalsActive(false);
  m.SetRowRepaint(false);
  EXPECT_EQ(m.FooterText(rcTotal), "0");
  for (int i = 0; i < 1000; ++i) m.AppendRow(Result("b.c", 2, 0, 0, 0), true);
  EXPECT_EQ(m.rowCount(), 1);  // held back
  EXPECT_EQ(m.FooterText(rcSourceCode), "0");
  m.SetTotalsActive(true);
  EXPECT_EQ(m.FooterText(rcSourceCode), "2001");
  m.SetRowRepaint(true);
  EXPECT_EQ(m.rowCount(), 1001);
  EXPECT_EQ(insertions, 2);  // the first row, then the 1000 in one go
  EXPECT_EQ(inserted, 1001);
}

TEST_F(ReportGridTest, TitleClicksCycleDescendingAscendingAndAppendingClearsTheMarks) {
  TReportTableModel m;
  m.AppendRow(Result("b.c", 0, 9, 0, 0), true);
  m.AppendRow(Result("B.c", 0, 10, 0, 0), true);
  m.AppendRow(Result("a.c", 0, 2, 0, 0), true);
  using M = TReportTableModel::TSortMark;
  m.ClickTitle(rcComment);
  EXPECT_EQ(m.SortMark(rcComment), M::Descending);
  EXPECT_EQ(Column(m, rcComment), (std::vector<QString>{"10", "9", "2"}));  // by value, not as text
  m.ClickTitle(rcComment);
  EXPECT_EQ(m.SortMark(rcComment), M::Ascending);
  EXPECT_EQ(Column(m, rcComment), (std::vector<QString>{"2", "9", "10"}));
  m.ClickTitle(rcComment);
  EXPECT_EQ(m.SortMark(rcComment), M::Descending);
  EXPECT_EQ(Column(m, rcComment), (std::vector<QString>{"10", "9", "2"}));
  // Another title: its own cycle, the other mark cleared; text is
  // case-sensitive ("B" before "a" before "b").
  m.ClickTitle(rcFileName);
  EXPECT_EQ(m.SortMark(rcComment), M::None);
  EXPECT_EQ(Column(m, rcFileName), (std::vector<QString>{"src/b.c", "src/a.c", "src/B.c"}));
  m.ClickTitle(rcFileName);
  EXPECT_EQ(Column(m, rcFileName), (std::vector<QString>{"src/B.c", "src/a.c", "src/b.c"}));
  // Percentages sort by value: the three rows of 100 % before the one of 50 %.
  m.AppendRow(Result("half.c", 1, 1, 0, 0), true);
  EXPECT_EQ(m.SortMark(rcFileName), M::None);
  EXPECT_EQ(m.CellText(3, rcFileName), "src/half.c");  // stands at the end
  m.ClickTitle(rcCommentPercent);
  EXPECT_EQ(m.SortMark(rcCommentPercent), M::Descending);
  EXPECT_EQ(m.CellText(3, rcFileName), "src/half.c");
  m.ClickTitle(rcCommentPercent);
  EXPECT_EQ(m.CellText(0, rcFileName), "src/half.c");
}

TEST_F(ReportGridTest, UnreadableFilesAreRedOnlyWithTheirFolders) {
  TCountResult bad = Result("gone.c", 0, 0, 0, 0, "File open error! src/");
  bad.Error = "Cannot open file";
  TReportTableModel m;
  m.AppendRow(bad, true);
  m.AppendRow(bad, false);
  m.AppendRow(Result("ok.c", 1, 0, 0, 0), true);
  EXPECT_TRUE(m.IsRed(0, rcFileName));
  EXPECT_FALSE(m.IsRed(0, rcNominal));
  EXPECT_EQ(m.data(m.index(0, rcFileName), Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
  EXPECT_FALSE(m.IsRed(1, rcFileName));  // the error text stands in front of the folder
  EXPECT_FALSE(m.data(m.index(1, rcFileName), Qt::ForegroundRole).isValid());
  EXPECT_FALSE(m.IsRed(2, rcFileName));
}

TEST_F(ReportGridTest, LongAndBrokenNames) {
  TReportTableModel m;
  m.AppendRow(Result(std::string(5000, 'n'), 1, 0, 0, 0, "/"), true);
  EXPECT_EQ(m.CellText(0, rcFileName).size(), 1024);
  m.AppendRow(Result("caf\xE9.c", 1, 0, 0, 0, "/"), true);  // Latin-1, not UTF-8
  EXPECT_EQ(m.CellText(1, rcFileName), QString::fromUtf8("/caf\xEF\xBF\xBD.c"));
}

TEST_F(ReportGridTest, ABlockGoesToTheClipboardInEveryForm) {
  TReportTableModel m;
  m.AppendRow(Result("a.c", 3, 1, 0, 0), true);
  m.AppendRow(Result("say \"hi\".c", 1, 1, 0, 0), true);
  m.AppendRow(Result("{x}\\\xC3\xA9.c", 2, 0, 0, 0), true);
  m.UpdateTotals();
  std::unique_ptr<QMimeData> mime(m.MimeForBlock({0, 1, 2}, {rcFileName, rcSourceCode, rcSourceCodePercent}));
  const QStringList lines = mime->text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 5);  // titles, three rows, footer
  EXPECT_EQ(lines[0], "File Name\tSource Code Lines\tSource Code Lines (%)");
  EXPECT_EQ(lines[1], "src/a.c\t3\t75.00 %");
  EXPECT_EQ(lines[4], "Total:\t6\t75.00 %");
  const QString csv = QString::fromUtf8(mime->data("text/csv"));
  EXPECT_TRUE(csv.contains("\"src/say \"\"hi\"\".c\",\"1\",\"50.00 %\"")) << csv.toStdString();
  EXPECT_EQ(csv.count("\r\n"), 4);
  const QByteArray rtf = mime->data("text/rtf");
  EXPECT_TRUE(rtf.startsWith("{\\rtf1")) << rtf.constData();
  EXPECT_TRUE(rtf.contains("\\{x\\}\\\\\\u233?.c")) << rtf.constData();
  EXPECT_EQ(rtf.count("\\row"), 5);
  EXPECT_EQ(mime->data("application/rtf"), rtf);
  const QString grid = QString::fromUtf8(mime->data(GridMimeType));
  EXPECT_TRUE(grid.startsWith("qrmt-grid 1\nFile Name\t")) << grid.toStdString();
  EXPECT_TRUE(grid.contains(QString::fromUtf8("src/{x}\\\\\xC3\xA9.c\t2\t100.00 %"))) << grid.toStdString();

  // For tests/check/clipboard-rtf.sh: the RTF as another program gets it.
  if (const char* out = std::getenv("QRMT_CHECK_OUTPUT")) {
    QFile f(QString::fromLocal8Bit(out) + "/clipboard.rtf");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(rtf);
  }

  // Nothing selected: the titles and the footer of no column.
  std::unique_ptr<QMimeData> none(m.MimeForBlock({}, {}));
  EXPECT_EQ(none->text(), "\n\n");
}

TEST_F(ReportGridTest, HeadersHaveTwoLinesAndShowTheMark) {
  TReportTableModel m;
  EXPECT_EQ(m.headerData(rcSourceCodePercent, Qt::Horizontal).toString(), "Source Code\nLines (%)");
  EXPECT_EQ(m.headerData(rcFileName, Qt::Horizontal).toString(), "File Name");
  m.ClickTitle(rcTotal);
  EXPECT_TRUE(m.headerData(rcTotal, Qt::Horizontal).toString().startsWith("Total\nLines"));
  EXPECT_NE(m.headerData(rcTotal, Qt::Horizontal).toString(), "Total\nLines");
  EXPECT_EQ(m.flags(m.index(0, 0)), Qt::NoItemFlags);  // no rows
}
