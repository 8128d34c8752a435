// The report grid's table: one row per counted file, a footer with the
// column sums and the percentage footers, the sort cycle of the column
// titles, the red rows of files that could not be read, and the clipboard
// forms of a selected block. Knows nothing of the application state.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "components/qrmt_export.h"
#include "core/qrmt_counter.h"

class QMimeData;

namespace qrmt {

// A cell in double quotes, a quote inside doubled.
QString CsvQuoted(const QString& cell);
// A text for RTF: \ { } escaped, other than ASCII as \uN?.
QString RtfEscaped(const QString& cell);

enum TReportColumn : int {
  rcFileName,
  rcNominal,
  rcSourceCode,
  rcSourceCodePercent,
  rcComment,
  rcCommentPercent,
  rcBlank,
  rcBlankPercent,
  rcMixed,
  rcMixedPercent,
  rcTotal,
  rcColumnCount
};

// Field names of the columns, as the cell colouring compares them.
extern const std::array<const char*, rcColumnCount> ReportFieldNames;
// Design widths in pixels.
extern const std::array<int, rcColumnCount> ReportDesignWidths;

// Clipboard format of the grid's own interchange form: UTF-8, the line
// "qrmt-grid 1", then one line per row (titles first, footer last) of
// cells separated by tabs, with tab, line feed and backslash escaped as
// \t, \n and \\.
inline constexpr const char* GridMimeType = "application/x-qrmt-grid";

class TReportTableModel : public QAbstractTableModel, public TExportTable {
  Q_OBJECT

 public:
  enum class TSortMark { None, Descending, Ascending };
  static constexpr int MaxFileNameLength = 1024;

  explicit TReportTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Appends the row of one result; the name is the folder and name, or the
  // name alone, cut to MaxFileNameLength characters. Clears the sort marks.
  void AppendRow(const TCountResult& result, bool showPath);
  // Removes every row; the sums become 0, the percentage footers stay.
  void Clear();

  // Off: the sums are 0 and do not follow the rows; on: recomputed, and
  // following again.
  void SetTotalsActive(bool active);
  bool TotalsActive() const { return FTotalsActive; }
  // Off: appended rows are kept back from the views until it is on again,
  // when they arrive in one insertion.
  void SetRowRepaint(bool repaint);

  // At the end of a run: the totals on and the four percentage footers set
  // from the sums ("0 %" each when the total is 0).
  void UpdateTotals();

  // The footer's text of a column: "Total:", a sum, or a percentage footer.
  QString FooterText(int column) const override;
  int64_t Sum(int column) const override;

  // A click on a column title: its mark moves on (none, descending,
  // ascending, descending, ...), the others are cleared, and the rows are
  // sorted by the column in the order of its mark.
  void ClickTitle(int column);
  TSortMark SortMark(int column) const { return FMarks[static_cast<size_t>(column)]; }

  // The displayed text of a cell (percentages as "12.50 %").
  QString CellText(int row, int column) const override;
  // Whether a cell is painted red: a File Name beginning "File open error! ".
  bool IsRed(int row, int column) const override;
  // The value a percentage cell holds: count * 100 / total, 0 without lines.
  double Percent(int row, int column) const override;
  // The count a count column holds; 0 for the name and the percentages.
  int64_t Count(int row, int column) const override;
  // The footer's percentage as a value: the sums' ratio * 100.
  double FooterPercent(int column) const override;
  // The rest of what the export writers read.
  int ExportRowCount() const override { return rowCount(); }
  QString Title(int column) const override { return ColumnTitle(column); }
  QString TitleTwoLines(int column) const override { return ColumnTitleTwoLines(column); }
  bool TextColumn(int column) const override { return column == rcFileName; }
  bool CountColumn(int column) const override { return IsCountColumn(column); }
  bool PercentColumn(int column) const override { return IsPercentColumn(column); }
  // Whether a column holds counts, or percentages.
  static bool IsCountColumn(int column) { return CountIndex(column) >= 0; }
  static bool IsPercentColumn(int column) { return PercentOf(column) >= 0; }

  // The block of `rows` by `columns` (both in display order), with the
  // titles of the columns first and the footer last, in every clipboard
  // form: text/plain, text/csv, text/rtf, application/rtf and the grid's own.
  QMimeData* MimeForBlock(const std::vector<int>& rows, const std::vector<int>& columns) const;

  static QString ColumnTitle(int column);
  // The title broken into two lines for the header.
  static QString ColumnTitleTwoLines(int column);

 signals:
  // The footer's texts changed: sums or percentage footers.
  void FooterChanged();

 private:
  struct TRow {
    QString Name;
    std::array<int64_t, 6> Counts{};  // nominal, code, comment, blank, mixed, total
    bool Red = false;
  };
  static int CountIndex(int column);  // index into Counts, -1 for name and percentages
  static int PercentOf(int column);   // the count column a percentage column belongs to, -1 else
  QString Text(const TRow& row, int column) const;
  void RecomputeSums();
  void Flush();

  std::vector<TRow> FRows;  // shown
  std::vector<TRow> FHeld;  // appended while repainting is off
  std::array<int64_t, 6> FSums{};
  bool FTotalsActive = true;
  bool FRepaint = true;
  std::array<QString, rcColumnCount> FPercentFooters;
  std::array<TSortMark, rcColumnCount> FMarks{};
  char FDecimal = '.';  // the user's decimal separator, where it is one ASCII character
};

}  // namespace qrmt

namespace qrmt {

// The grid's footer as a one-row table over a report table: bold, on the
// tooltip colour, "Total:" standing right.
class TReportFooterModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TReportFooterModel(TReportTableModel* report, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  TReportTableModel* FReport;
};

}  // namespace qrmt
