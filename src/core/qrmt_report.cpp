#include "qrmt_report.h"

namespace qrmt {

const std::array<const char*, ReportColumnCount> ReportColumnTitles = {
    "File Name",     "Nominal Lines",     "Source Code Lines", "Source Code Lines (%)",
    "Comment Lines", "Comment Lines (%)", "Blank Lines",       "Blank Lines (%)",
    "Mixed Lines",   "Mixed Lines (%)",   "Total Lines",
};

TReportRow MakeReportRow(const TCountResult& result, bool showPath) {
  TReportRow row;
  row.FileName = showPath ? result.Path + result.FileName : result.FileName;
  row.Nominal = result.Nominal;
  row.SourceCode = result.SourceCode;
  row.Comment = result.Comment;
  row.Blank = result.Blank;
  row.Mixed = result.Mixed;
  row.Total = result.Total;
  row.Failed = result.Failed();
  return row;
}

std::string FormatPercent(int64_t part, int64_t whole, char decimalSeparator) {
  // Exact rational rounding: hundredths of a percent = part * 10000 / whole.
  int64_t hundredths = 0;
  if (whole > 0 && part > 0) {
    if (part < INT64_MAX / 40000 && whole < INT64_MAX / 4) {
      hundredths = (part * 20000 + whole) / (whole * 2);
    } else {
      hundredths = static_cast<int64_t>(static_cast<long double>(part) * 10000 / whole + 0.5L);
    }
  }
  std::string text = std::to_string(hundredths / 100);
  const int64_t frac = hundredths % 100;
  text += decimalSeparator;
  text += static_cast<char>('0' + frac / 10);
  text += static_cast<char>('0' + frac % 10);
  text += " %";
  return text;
}

void TReportTotals::Add(const TReportRow& row) {
  ++Files;
  Nominal += row.Nominal;
  SourceCode += row.SourceCode;
  Comment += row.Comment;
  Blank += row.Blank;
  Mixed += row.Mixed;
  Total += row.Total;
}

namespace {
template <class T>
std::vector<std::string> Cells(const std::string& first, const T& r, char sep, bool footer) {
  auto pct = [&](int64_t part) {
    return (footer && r.Total == 0) ? std::string("0 %") : FormatPercent(part, r.Total, sep);
  };
  return {first,
          std::to_string(r.Nominal),
          std::to_string(r.SourceCode),
          pct(r.SourceCode),
          std::to_string(r.Comment),
          pct(r.Comment),
          std::to_string(r.Blank),
          pct(r.Blank),
          std::to_string(r.Mixed),
          pct(r.Mixed),
          std::to_string(r.Total)};
}
}  // namespace

std::vector<std::string> RowCells(const TReportRow& row, char decimalSeparator) {
  return Cells(row.FileName, row, decimalSeparator, false);
}

std::vector<std::string> FooterCells(const TReportTotals& totals, char decimalSeparator) {
  return Cells(std::string(TotalCaption), totals, decimalSeparator, true);
}

std::string CsvRecord(const std::vector<std::string>& cells, char separator) {
  std::string out;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out += separator;
    out += '"';
    for (char c : cells[i]) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

}  // namespace qrmt
