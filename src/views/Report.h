// The report view: the grid of counted files with its footer, the column
// menu, and the commands Select All, Copy to Clipboard, Clear Report,
// Export Report, Print Report and Show Columns.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "app/qrmt_global.h"
#include "app/qrmt_platform.h"
#include "components/qrmt_export.h"
#include "components/qrmt_reportgrid.h"

class QAction;
class QDialog;
class QMenu;
class QPainter;
class QPrinter;
class QTableView;
class QToolBar;

namespace qrmt {

// Grid column at each entry of ReportColumnsWidth, whose keys name the
// columns: FileName, Nominal, Total, SourceCode, SourceCodeP, Comment,
// CommentP, Balnk, BlankP, Mixed, MixedP. Visibility is kept by position.
inline constexpr std::array<int, rcColumnCount> WidthEntryColumn = {
    rcFileName,       rcNominal, rcTotal,        rcSourceCode, rcSourceCodePercent, rcComment,
    rcCommentPercent, rcBlank,   rcBlankPercent, rcMixed,      rcMixedPercent};

class TfrmReport : public QWidget, public TMessageReceiver, public TReportSwitches {
  Q_OBJECT

 public:
  explicit TfrmReport(QWidget* parent = nullptr);
  ~TfrmReport() override;

  intptr_t HandleMessage(unsigned code, uintptr_t wParam, intptr_t lParam) override;
  void SetTotalsActive(bool active) override;
  void SetRowRepaint(bool repaint) override;

  THandle Handle() const { return FHandle; }
  // Runs the print preview; tests replace it to look without waiting.
  static inline std::function<int(QDialog&)> RunDialog;
  TReportTableModel* StatTable() const { return FModel; }
  QTableView* ReportGrid() const { return FGrid; }

  // The action handlers.
  void SelectAllExecute();
  void CopyToClipboardExecute();
  void ClearExecute();
  void PrintExecute();
  void ExportReportExecute();
  // The visible columns in grid order, and every row, or the selected ones.
  TExportGrid ExportGrid(bool selectedRowsOnly) const;
  void ShowColumnsExecute();
  void ColumnMenuClick(int column, bool checked);
  void StoreColumnWidths();
  // Lays the visible columns of the whole report out on `printer`, fitted
  // to the page width, as the print preview shows and prints them.
  void PrintReport(QPrinter* printer) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void FormShow();
  void ApplyColumnWidths();
  void SetColumnVisible(int column, bool visible);
  bool ColumnVisible(int column) const;

  THandle FHandle = 0;
  TReportTableModel* FModel;
  TReportFooterModel* FFooterModel;
  QTableView* FGrid;
  QTableView* FFooter;
  QToolBar* FToolBar;
  QMenu* FColumnMenu;
  std::array<QAction*, rcColumnCount> FColumnItems{};
  QAction* FShowColumns = nullptr;
  bool FAllColumnsShown = false;
  std::array<bool, rcColumnCount> FSavedVisibility{};
  bool FMovingBack = false;
};

}  // namespace qrmt
