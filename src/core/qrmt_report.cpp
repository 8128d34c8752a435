#include "qrmt_report.h"

#include <charconv>
#include <iterator>

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

void AppendPercent(std::string& out, int64_t part, int64_t whole, char decimalSeparator) {
  // Exact rational rounding: hundredths of a percent = part * 10000 / whole.
  int64_t hundredths = 0;
  if (whole > 0 && part > 0) {
    if (part < INT64_MAX / 40000 && whole < INT64_MAX / 4) {
      hundredths = (part * 20000 + whole) / (whole * 2);
    } else {
      hundredths = static_cast<int64_t>(static_cast<long double>(part) * 10000 / whole + 0.5L);
    }
  }
  AppendNumber(out, hundredths / 100);
  const int64_t frac = hundredths % 100;
  out += decimalSeparator;
  out += static_cast<char>('0' + frac / 10);
  out += static_cast<char>('0' + frac % 10);
  out += " %";
}

std::string FormatPercent(int64_t part, int64_t whole, char decimalSeparator) {
  std::string text;
  AppendPercent(text, part, whole, decimalSeparator);
  return text;
}

void AppendNumber(std::string& out, int64_t value) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
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

TReportRow TReportTotals::AsRow() const {
  TReportRow row;
  row.Nominal = Nominal;
  row.SourceCode = SourceCode;
  row.Comment = Comment;
  row.Blank = Blank;
  row.Mixed = Mixed;
  row.Total = Total;
  return row;
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

void AppendCsvCell(std::string& out, std::string_view cell) {
  out += '"';
  for (char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string CsvRecord(const std::vector<std::string>& cells, char separator) {
  std::string out;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out += separator;
    AppendCsvCell(out, cells[i]);
  }
  return out;
}

void AppendCsvRecord(std::string& out, const TReportRow& row, char separator) {
  AppendCsvCell(out, row.FileName);
  const int64_t counts[] = {row.Nominal, row.SourceCode, row.Comment, row.Blank, row.Mixed};
  for (size_t i = 0; i < std::size(counts); ++i) {
    out += separator;
    out += '"';
    AppendNumber(out, counts[i]);
    out += '"';
    if (i == 0) continue;  // nominal lines have no percentage
    out += separator;
    out += '"';
    AppendPercent(out, counts[i], row.Total, '.');
    out += '"';
  }
  out += separator;
  out += '"';
  AppendNumber(out, row.Total);
  out += '"';
}

}  // namespace qrmt
