// Report rows: the displayed texts of one counted file, the totals footer,
// and the CSV form of both.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qrmt_counter.h"

namespace qrmt {

inline constexpr int ReportColumnCount = 11;
// Column titles in report order.
extern const std::array<const char*, ReportColumnCount> ReportColumnTitles;
inline constexpr std::string_view TotalCaption = "Total:";

struct TReportRow {
  std::string FileName;  // folder and name, or the name alone
  int64_t Nominal = 0;
  int64_t SourceCode = 0;
  int64_t Comment = 0;
  int64_t Blank = 0;
  int64_t Mixed = 0;
  int64_t Total = 0;
  bool Failed = false;
};

TReportRow MakeReportRow(const TCountResult& result, bool showPath);

// part * 100 / whole with two decimals, rounded half up, and " %":
// "12.50 %"; "0.00 %" when whole is 0.
std::string FormatPercent(int64_t part, int64_t whole, char decimalSeparator = '.');
void AppendPercent(std::string& out, int64_t part, int64_t whole, char decimalSeparator = '.');
void AppendNumber(std::string& out, int64_t value);

struct TReportTotals {
  int64_t Files = 0;
  int64_t Nominal = 0;
  int64_t SourceCode = 0;
  int64_t Comment = 0;
  int64_t Blank = 0;
  int64_t Mixed = 0;
  int64_t Total = 0;

  void Add(const TReportRow& row);
  // The sums as a row of their own (no name).
  TReportRow AsRow() const;
};

// The eleven displayed cells of a row, in report order.
std::vector<std::string> RowCells(const TReportRow& row, char decimalSeparator = '.');
// The footer: "Total:", the sums, and the percentages of the sums ("0 %"
// when the total is 0).
std::vector<std::string> FooterCells(const TReportTotals& totals, char decimalSeparator = '.');

// One CSV record: every cell in double quotes, a quote inside doubled,
// cells joined by `separator`; no line break.
std::string CsvRecord(const std::vector<std::string>& cells, char separator);
void AppendCsvCell(std::string& out, std::string_view cell);
// Appends the record of a row's cells, as CsvRecord(RowCells(row), separator)
// gives it, without building the cells.
void AppendCsvRecord(std::string& out, const TReportRow& row, char separator);
inline constexpr std::string_view CsvLineBreak = "\r\n";

}  // namespace qrmt
