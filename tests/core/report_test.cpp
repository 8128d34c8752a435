#include <gtest/gtest.h>

#include "core/qrmt_report.h"

using namespace qrmt;

namespace {
TReportRow Row(int64_t total, int64_t code, int64_t comment, int64_t blank, int64_t mixed) {
  TReportRow r;
  r.FileName = "f";
  r.Nominal = total;
  r.Total = total;
  r.SourceCode = code;
  r.Comment = comment;
  r.Blank = blank;
  r.Mixed = mixed;
  return r;
}
}  // namespace

TEST(Report, RowPercentages) {
  auto cells = RowCells(Row(200, 150, 30, 15, 5));
  EXPECT_EQ(cells, (std::vector<std::string>{"f", "200", "150", "75.00 %", "30", "15.00 %", "15", "7.50 %", "5",
                                             "2.50 %", "200"}));
  auto empty = RowCells(Row(0, 0, 0, 0, 0));
  EXPECT_EQ(empty[3], "0.00 %");
  EXPECT_EQ(empty[9], "0.00 %");
}

TEST(Report, PercentRounding) {
  struct Case {
    int64_t part, whole;
    const char* text;
  } cases[] = {
      {1, 3, "33.33 %"},  {2, 3, "66.67 %"}, {97, 800, "12.13 %"},  // exactly half: up
      {1, 1, "100.00 %"}, {0, 5, "0.00 %"},  {3, 4000, "0.08 %"},  {1, 20001, "0.00 %"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatPercent(c.part, c.whole), c.text) << c.part << "/" << c.whole;
  EXPECT_EQ(FormatPercent(1, 8, ','), "12,50 %");
}

TEST(Report, FooterUsesRatiosOfSums) {
  TReportTotals t;
  t.Add(Row(100, 50, 50, 0, 0));
  t.Add(Row(300, 60, 200, 40, 0));
  auto footer = FooterCells(t);
  EXPECT_EQ(footer[0], "Total:");
  EXPECT_EQ(footer[1], "400");
  EXPECT_EQ(footer[3], "27.50 %");  // 110 * 100 / 400, not the mean of 50 % and 20 %
  EXPECT_EQ(footer[10], "400");

  TReportTotals zero;
  zero.Add(Row(0, 0, 0, 0, 0));
  auto z = FooterCells(zero);
  for (int c : {3, 5, 7, 9}) EXPECT_EQ(z[c], "0 %");
}

TEST(Report, CsvQuotesEveryCell) {
  EXPECT_EQ(CsvRecord({"a", "say \"hi\"", "", "x,y"}, ','), "\"a\",\"say \"\"hi\"\"\",\"\",\"x,y\"");
  EXPECT_EQ(CsvRecord({"a", "b"}, '\t'), "\"a\"\t\"b\"");
}

TEST(Report, RowRecordsWrittenInPlaceMatchTheCells) {
  TReportRow quoted{"src/\"odd\".c", 8, 3, 1, 2, 2, 8, false};
  std::string out;
  AppendCsvRecord(out, quoted, ',');
  EXPECT_EQ(out,
            "\"src/\"\"odd\"\".c\",\"8\",\"3\",\"37.50 %\",\"1\",\"12.50 %\",\"2\",\"25.00 %\",\"2\",\"25.00 %\","
            "\"8\"");
  const TReportRow rows[] = {{"empty", 0, 0, 0, 0, 0, 0, false},
                             {"big", 9000000000, 8999999999, 1, 0, 0, 9000000000, false},
                             {"", 3, 1, 1, 1, 0, 3, true}};
  for (const TReportRow& row : rows) {
    for (char sep : {',', '\t'}) {
      std::string appended = "x";
      AppendCsvRecord(appended, row, sep);
      EXPECT_EQ(appended, "x" + CsvRecord(RowCells(row), sep)) << row.FileName;
    }
  }
}

TEST(Report, FailedRowKeepsItsErrorTextInFrontOfTheFolder) {
  TCountResult r;
  r.Path = "File open error! src/";
  r.FileName = "a.c";
  r.Error = "Cannot open file";
  EXPECT_EQ(MakeReportRow(r, true).FileName, "File open error! src/a.c");
  EXPECT_EQ(MakeReportRow(r, false).FileName, "a.c");
  EXPECT_TRUE(MakeReportRow(r, false).Failed);
}
