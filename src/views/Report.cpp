#include "Report.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ExportReport.h"
#include "app/qrmt_messages.h"
#include "components/qrmt_export.h"
#include "components/qrmt_icons.h"

namespace qrmt {

namespace {}  // namespace

TfrmReport::TfrmReport(QWidget* parent) : QWidget(parent) {
  setObjectName("frmReport");
  FModel = new TReportTableModel(this);
  FModel->setObjectName("StatTable");
  FFooterModel = new TReportFooterModel(FModel, this);

  FGrid = new QTableView(this);
  FGrid->setObjectName("ReportGrid");
  FGrid->setModel(FModel);
  FGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
  FGrid->setWordWrap(false);
  FGrid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  QHeaderView* header = FGrid->horizontalHeader();
  header->setSectionsClickable(true);
  header->setSectionsMovable(true);
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignCenter);
  header->setMinimumHeight(2 * header->fontMetrics().height() + 8);  // titles of two lines
  FGrid->verticalHeader()->setDefaultSectionSize(FGrid->fontMetrics().height() + 6);
  FGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);  // uniform rows: fast with many
  // The design widths were made for an 8-point font of about 5 pixels a
  // character (Tahoma); larger fonts get proportionally wider columns.
  const double scale = std::max(1.0, FGrid->fontMetrics().averageCharWidth() / 4.5);
  for (int c = 0; c < rcColumnCount; ++c)
    FGrid->setColumnWidth(c, static_cast<int>(ReportDesignWidths[static_cast<size_t>(c)] * scale + 0.5));
  connect(header, &QHeaderView::sectionClicked, this, [this](int column) { FModel->ClickTitle(column); });
  // The column order never changes: a dragged column springs back.
  connect(header, &QHeaderView::sectionMoved, this, [this, header](int, int from, int to) {
    if (FMovingBack) return;
    FMovingBack = true;
    header->moveSection(to, from);
    FMovingBack = false;
  });

  FFooter = new QTableView(this);
  FFooter->setObjectName("ReportFooter");
  FFooter->setModel(FFooterModel);
  FFooter->horizontalHeader()->hide();
  FFooter->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  FFooter->setSelectionMode(QAbstractItemView::NoSelection);
  FFooter->setFocusPolicy(Qt::NoFocus);
  FFooter->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FFooter->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FFooter->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  const int footerRow = FGrid->verticalHeader()->defaultSectionSize();
  FFooter->verticalHeader()->setDefaultSectionSize(footerRow);
  FFooter->setFixedHeight(footerRow + 2 * FFooter->frameWidth());
  // The footer follows the grid's column widths, its scrolling and the
  // width of its row indicator.
  connect(header, &QHeaderView::sectionResized, this,
          [this](int column, int, int size) { FFooter->setColumnWidth(column, size); });
  connect(FGrid->horizontalScrollBar(), &QScrollBar::valueChanged, FFooter->horizontalScrollBar(),
          &QScrollBar::setValue);
  connect(FGrid->verticalHeader(), &QHeaderView::geometriesChanged, this,
          [this] { FFooter->verticalHeader()->setFixedWidth(FGrid->verticalHeader()->width()); });
  FFooter->verticalHeader()->setFixedWidth(FGrid->verticalHeader()->sizeHint().width());
  for (int c = 0; c < rcColumnCount; ++c) FFooter->setColumnWidth(c, FGrid->columnWidth(c));

  FToolBar = new QToolBar(this);
  FToolBar->setObjectName("tbReport");
  FToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  QAction* selectAll =
      CommandAction(this, "SelectAll", "Select All", "edit-select-all", "Select All|Select All Report");
  QAction* copy =
      CommandAction(this, "CopyToClipboard", "Copy to Clipboard", "edit-copy", "Copy Report|Copy Report to Clipboard");
  QAction* clear = CommandAction(this, "Clear", "Clear Report", "edit-clear", "Clear Report|Clear Report");
  QAction* exportReport =
      CommandAction(this, "ExportReport", "Export Report", "document-save-as", "Export Report|Export Report");
  QAction* print = CommandAction(this, "Print", "Print Report", "document-print", "Print Report|Print Report");
  FShowColumns = CommandAction(this, "ShowColumns", "Show Columns", "view-list-details", "Show/Hide Columns");
  connect(selectAll, &QAction::triggered, this, &TfrmReport::SelectAllExecute);
  connect(copy, &QAction::triggered, this, &TfrmReport::CopyToClipboardExecute);
  connect(clear, &QAction::triggered, this, &TfrmReport::ClearExecute);
  connect(print, &QAction::triggered, this, &TfrmReport::PrintExecute);
  connect(exportReport, &QAction::triggered, this, &TfrmReport::ExportReportExecute);
  connect(FShowColumns, &QAction::triggered, this, &TfrmReport::ShowColumnsExecute);
  for (QAction* a : {selectAll, copy, clear, exportReport, print, FShowColumns}) FToolBar->addAction(a);

  // The column menu: one checkable item per column, its check mark the
  // column's visibility, read from the settings here only.
  FColumnMenu = new QMenu(this);
  FColumnMenu->setObjectName("ppmColumns");
  for (int c = 0; c < rcColumnCount; ++c) {
    QAction* item = FColumnMenu->addAction(TReportTableModel::ColumnTitle(c));
    item->setObjectName(QString("ppmColumns%1").arg(c));
    item->setCheckable(true);
    const bool visible = Global ? Global->Settings.Report.ReportColumns.Items[static_cast<size_t>(c)].Value : true;
    item->setChecked(visible);
    SetColumnVisible(c, visible);
    connect(item, &QAction::triggered, this, [this, c](bool checked) { ColumnMenuClick(c, checked); });
    FColumnItems[static_cast<size_t>(c)] = item;
  }
  if (auto* button = qobject_cast<QToolButton*>(FToolBar->widgetForAction(FShowColumns))) {
    button->setMenu(FColumnMenu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
  }

  // The platform's shortcuts for copy and select all, on the grid.
  auto* copyKey = new QShortcut(QKeySequence::Copy, FGrid, nullptr, nullptr, Qt::WidgetShortcut);
  connect(copyKey, &QShortcut::activated, this, &TfrmReport::CopyToClipboardExecute);
  auto* allKey = new QShortcut(QKeySequence::SelectAll, FGrid, nullptr, nullptr, Qt::WidgetShortcut);
  connect(allKey, &QShortcut::activated, this, &TfrmReport::SelectAllExecute);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(FGrid, 1);
  layout->addWidget(FFooter);
  layout->addWidget(FToolBar);

  FHandle = RegisterReceiver(this);
  if (Global) Global->ReportSwitches = this;
}

TfrmReport::~TfrmReport() {
  StoreColumnWidths();
  // The children die after this object: their signals must not reach it.
  for (QObject* sender : std::initializer_list<QObject*>{FGrid->horizontalHeader(), FGrid->verticalHeader(),
                                                         FGrid->horizontalScrollBar(), FModel})
    QObject::disconnect(sender, nullptr, this, nullptr);
  if (Global) {
    if (Global->ReportSwitches == this) Global->ReportSwitches = nullptr;
    if (Global->ReportWindow == FHandle) Global->ReportWindow = 0;
  }
  UnregisterReceiver(FHandle);
}

void TfrmReport::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FormShow();
}

void TfrmReport::hideEvent(QHideEvent* event) {
  StoreColumnWidths();  // leaving the report mode
  QWidget::hideEvent(event);
}

void TfrmReport::FormShow() {
  if (Global) Global->ReportWindow = FHandle;
  ApplyColumnWidths();
}

void TfrmReport::ApplyColumnWidths() {
  if (!Global) return;
  const auto& widths = Global->Settings.Report.ReportColumnsWidth.Items;
  for (size_t k = 0; k < widths.size(); ++k) {
    const int width = widths[k].Value;
    if (width == -1) continue;  // the design width stays
    FGrid->setColumnWidth(WidthEntryColumn[k], std::max(0, width));
  }
}

void TfrmReport::StoreColumnWidths() {
  if (!Global) return;
  auto& widths = Global->Settings.Report.ReportColumnsWidth.Items;
  for (size_t k = 0; k < widths.size(); ++k) {
    const int column = WidthEntryColumn[k];
    // A hidden column shows no width: it keeps the one it had.
    if (ColumnVisible(column)) widths[k].Value = FGrid->columnWidth(column);
  }
}

intptr_t TfrmReport::HandleMessage(unsigned code, uintptr_t, intptr_t lParam) {
  switch (code) {
    case UM_ADD_RESULT:
      if (Global && lParam >= 0 && static_cast<size_t>(lParam) < Global->CountResults.size())
        FModel->AppendRow(Global->CountResults[static_cast<size_t>(lParam)], Global->Settings.Report.ShowPath.Value);
      return 0;
    case UM_CLEAR_REPORT:
      FModel->SetTotalsActive(false);
      FModel->Clear();
      FModel->SetTotalsActive(true);
      return 0;
    case UM_SETTINGS_CHANGED: FormShow(); return 0;
    case UM_REPORT_TOTALS: FModel->UpdateTotals(); return 0;
    default: return 0;
  }
}

void TfrmReport::SetTotalsActive(bool active) {
  FModel->SetTotalsActive(active);
}

void TfrmReport::SetRowRepaint(bool repaint) {
  FModel->SetRowRepaint(repaint);
  FGrid->setUpdatesEnabled(repaint);
}

bool TfrmReport::ColumnVisible(int column) const {
  return !FGrid->isColumnHidden(column);
}

void TfrmReport::SetColumnVisible(int column, bool visible) {
  FGrid->setColumnHidden(column, !visible);
  FFooter->setColumnHidden(column, !visible);
  if (visible) FFooter->setColumnWidth(column, FGrid->columnWidth(column));
}

void TfrmReport::ColumnMenuClick(int column, bool checked) {
  SetColumnVisible(column, checked);
  if (Global) Global->Settings.Report.ReportColumns.Items[static_cast<size_t>(column)].Value = checked;
}

void TfrmReport::ShowColumnsExecute() {
  for (int c = 0; c < rcColumnCount; ++c) {
    const bool visible = FAllColumnsShown ? FSavedVisibility[static_cast<size_t>(c)] : true;
    if (!FAllColumnsShown) FSavedVisibility[static_cast<size_t>(c)] = ColumnVisible(c);
    SetColumnVisible(c, visible);
    FColumnItems[static_cast<size_t>(c)]->setChecked(visible);
    if (Global) Global->Settings.Report.ReportColumns.Items[static_cast<size_t>(c)].Value = visible;
  }
  FAllColumnsShown = !FAllColumnsShown;
}

void TfrmReport::SelectAllExecute() {
  FGrid->selectAll();
}

void TfrmReport::CopyToClipboardExecute() {
  // The selection's ranges, not its cells: Select All on a large report
  // would be a million indexes.
  std::vector<bool> rowSelected(static_cast<size_t>(FModel->rowCount()), false);
  std::array<bool, rcColumnCount> columnSelected{};
  for (const QItemSelectionRange& range : FGrid->selectionModel()->selection()) {
    for (int r = range.top(); r <= range.bottom(); ++r) rowSelected[static_cast<size_t>(r)] = true;
    for (int c = range.left(); c <= range.right(); ++c) columnSelected[static_cast<size_t>(c)] = ColumnVisible(c);
  }
  std::vector<int> rows, columns;
  for (size_t r = 0; r < rowSelected.size(); ++r)
    if (rowSelected[r]) rows.push_back(static_cast<int>(r));
  for (int c = 0; c < rcColumnCount; ++c)
    if (columnSelected[static_cast<size_t>(c)]) columns.push_back(c);
  QClipboard* clipboard = QApplication::clipboard();
  if (rows.empty() || columns.empty()) {
    clipboard->setMimeData(new QMimeData);  // emptied, with empty content
    return;
  }
  clipboard->setMimeData(FModel->MimeForBlock(rows, columns));
}

void TfrmReport::ClearExecute() {
  FModel->Clear();
}

void TfrmReport::PrintExecute() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(QPageLayout::Landscape);
  QPrintPreviewDialog preview(&printer, this);
  preview.setObjectName("PrintPreview");
  preview.setWindowTitle("Print Report");
  connect(&preview, &QPrintPreviewDialog::paintRequested, this, &TfrmReport::PrintReport);
  if (RunDialog) {
    RunDialog(preview);
  } else {
    preview.exec();
  }
}

TExportGrid TfrmReport::ExportGrid(bool selectedRowsOnly) const {
  TExportGrid grid;
  grid.Table = FModel;
  const QHeaderView* header = FGrid->horizontalHeader();
  for (int visual = 0; visual < header->count(); ++visual) {
    const int c = header->logicalIndex(visual);
    if (ColumnVisible(c)) grid.Columns.push_back(c);
  }
  if (selectedRowsOnly && FGrid->selectionModel()->hasSelection()) {
    std::vector<char> chosen(static_cast<size_t>(FModel->rowCount()), 0);
    for (const QItemSelectionRange& range : FGrid->selectionModel()->selection())
      for (int r = range.top(); r <= range.bottom(); ++r) chosen[static_cast<size_t>(r)] = 1;
    grid.AllRows = false;
    for (size_t r = 0; r < chosen.size(); ++r)
      if (chosen[r]) grid.Rows.push_back(static_cast<int>(r));
  }
  return grid;
}

void TfrmReport::PrintReport(QPrinter* printer) const {
  PaintReport(*printer, ExportGrid(false));
}

void TfrmReport::ExportReportExecute() {
  if (!Global) return;
  const QString folder = QDir(QString::fromStdString(Global->ProgramFolder)).filePath("Reports");
  QDir().mkpath(folder);
  TfrmExportReport dialog(this);
  dialog.SetReportsFolder(folder);
  int& index = Global->Settings.ExportReport.FormatIndex.Value;
  // Only Word takes the selected rows; every other format takes them all.
  TExportGrid all = ExportGrid(false);
  TExportGrid selected = ExportGrid(true);
  dialog.SetGrid(all);
  dialog.SetWordGrid(selected);
  if (!dialog.CheckFormat(index)) {
    index = 0;
    dialog.CheckFormat(0);
  }
  dialog.Progress = [](int percent) {
    SendMessage(Global->MainWindow, UM_EXPORT_PROGRESS, 1, percent);
    ProcessMessages();
  };
  if (RunDialog) {
    RunDialog(dialog);
  } else {
    dialog.exec();
  }
  SendMessage(Global->MainWindow, UM_EXPORT_PROGRESS, 0, 0);
  index = dialog.CheckedFormat();
  if (dialog.result() == QDialog::Accepted && dialog.ExportedFormat() == 0) FGrid->clearSelection();
}

}  // namespace qrmt
