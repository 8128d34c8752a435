#include "views/Report.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>

#include "app/app_fixture.h"
#include "app/qrmt_messages.h"
#include "common/test_results.h"

using namespace qrmt;
using namespace qrmt::test;

namespace {

class ReportViewTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    g = std::make_unique<TqrmtGlobal>();
  }
  void TearDown() override {
    view.reset();
    g.reset();
    AppTest::TearDown();
  }

  TfrmReport& Open() {
    view = std::make_unique<TfrmReport>();
    view->resize(1000, 500);
    view->show();
    return *view;
  }

  // Sends one result as the count run does.
  void Add(const std::string& path, const std::string& name, int64_t code, int64_t comment, int64_t blank,
           int64_t mixed) {
    g->CountResults.assign(1, MakeResult(path, name, code, comment, blank, mixed));
    SendMessage(g->ReportWindow, UM_ADD_RESULT, 0, 0);
  }

  template <class T>
  T* Find(const char* name) const {
    T* found = view->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  void Trigger(const char* action) { Find<QAction>(action)->trigger(); }

  void ClickTitle(int column) {
    QHeaderView* header = view->ReportGrid()->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  }

  QString Cell(int row, int column) const {
    QTableView* grid = view->ReportGrid();
    return grid->model()->data(grid->model()->index(row, column)).toString();
  }
  QString Footer(int column) const {
    auto* footer = view->findChild<QTableView*>("ReportFooter");
    return footer->model()->data(footer->model()->index(0, column)).toString();
  }

  std::unique_ptr<TqrmtGlobal> g;
  std::unique_ptr<TfrmReport> view;
};

}  // namespace

TEST_F(ReportViewTest, RowsArriveByMessageAndTheFooterFollows) {
  Open();
  EXPECT_EQ(g->ReportWindow, view->Handle());  // registered when shown
  Add("src/", "a.c", 150, 30, 15, 5);
  ASSERT_EQ(view->ReportGrid()->model()->rowCount(), 1);
  EXPECT_EQ(Cell(0, rcFileName), "src/a.c");
  EXPECT_EQ(Cell(0, rcSourceCodePercent), "75.00 %");
  EXPECT_EQ(Cell(0, rcMixedPercent), "2.50 %");
  EXPECT_EQ(Footer(rcFileName), "Total:");
  EXPECT_EQ(Footer(rcTotal), "200");
  // ShowPath is read at every row.
  g->Settings.Report.ShowPath.Value = false;
  Add("File open error! src/", "gone.c", 0, 0, 0, 0);
  EXPECT_EQ(Cell(1, rcFileName), "gone.c");
  EXPECT_FALSE(view->StatTable()->IsRed(1, rcFileName));
  SendMessage(g->ReportWindow, UM_REPORT_TOTALS);
  EXPECT_EQ(Footer(rcSourceCodePercent), "75.00 %");
  // 1026 empties the report; the sums go to 0.
  SendMessage(g->ReportWindow, UM_CLEAR_REPORT);
  EXPECT_EQ(view->ReportGrid()->model()->rowCount(), 0);
  EXPECT_EQ(Footer(rcTotal), "0");
}

TEST_F(ReportViewTest, ACountRunFillsTheReportThroughTheSwitches) {
  Open();
  Write("data/a.c", "int a;\n// b\n\n");
  Write("data/b.c", "x; /* y */\n");
  TCountQueue q;
  for (const char* name : {"a.c", "b.c"}) {
    TCountQueueItem* item = q.Add();
    item->Path = Root("data") + "/";
    item->FileName = name;
  }
  g->EventSliceMs = 0;
  ASSERT_TRUE(g->CountFiles(q));
  ASSERT_EQ(view->ReportGrid()->model()->rowCount(), 2);
  EXPECT_EQ(Footer(rcTotal), "4");
  EXPECT_EQ(Footer(rcSourceCodePercent), "25.00 %");
  EXPECT_EQ(Footer(rcMixedPercent), "25.00 %");
  EXPECT_TRUE(view->ReportGrid()->updatesEnabled());
}

TEST_F(ReportViewTest, TitleClicksSortDescendingAscendingDescending) {
  Open();
  Add("", "a.c", 0, 5, 0, 0);
  Add("", "b.c", 0, 12, 0, 0);
  Add("", "c.c", 0, 9, 0, 0);
  auto comments = [&] { return QStringList{Cell(0, rcComment), Cell(1, rcComment), Cell(2, rcComment)}; };
  ClickTitle(rcComment);
  EXPECT_EQ(comments(), (QStringList{"12", "9", "5"}));
  ClickTitle(rcComment);
  EXPECT_EQ(comments(), (QStringList{"5", "9", "12"}));
  ClickTitle(rcComment);
  EXPECT_EQ(comments(), (QStringList{"12", "9", "5"}));
}

TEST_F(ReportViewTest, ADraggedColumnSpringsBack) {
  Open();
  QHeaderView* header = view->ReportGrid()->horizontalHeader();
  header->moveSection(header->visualIndex(rcTotal), 0);
  for (int c = 0; c < rcColumnCount; ++c) EXPECT_EQ(header->visualIndex(c), c);
}

TEST_F(ReportViewTest, TheColumnMenuKeepsVisibilityByPositionAcrossARestart) {
  Open();
  // Hiding Source Code Lines stores off under the third key, "Total".
  QAction* item = Find<QAction>("ppmColumns2");
  ASSERT_TRUE(item->isChecked());
  item->trigger();
  EXPECT_TRUE(view->ReportGrid()->isColumnHidden(rcSourceCode));
  const auto& flags = g->Settings.Report.ReportColumns.Items;
  EXPECT_EQ(flags[2].Key, "Total");
  EXPECT_FALSE(flags[2].Value);
  view.reset();
  g.reset();  // saves
  g = std::make_unique<TqrmtGlobal>();
  Open();
  EXPECT_TRUE(view->ReportGrid()->isColumnHidden(rcSourceCode));
  EXPECT_FALSE(view->ReportGrid()->isColumnHidden(rcTotal));
  EXPECT_FALSE(Find<QAction>("ppmColumns2")->isChecked());
}

TEST_F(ReportViewTest, ShowColumnsTogglesAndRestores) {
  Open();
  for (const char* name : {"ppmColumns1", "ppmColumns4", "ppmColumns9"}) Find<QAction>(name)->trigger();
  Trigger("ShowColumns");
  for (int c = 0; c < rcColumnCount; ++c) {
    EXPECT_FALSE(view->ReportGrid()->isColumnHidden(c)) << c;
    EXPECT_TRUE(Find<QAction>(qPrintable(QString("ppmColumns%1").arg(c)))->isChecked()) << c;
    EXPECT_TRUE(g->Settings.Report.ReportColumns.Items[static_cast<size_t>(c)].Value) << c;
  }
  Trigger("ShowColumns");
  for (int c = 0; c < rcColumnCount; ++c) {
    const bool hidden = c == 1 || c == 4 || c == 9;
    EXPECT_EQ(view->ReportGrid()->isColumnHidden(c), hidden) << c;
    EXPECT_EQ(g->Settings.Report.ReportColumns.Items[static_cast<size_t>(c)].Value, !hidden) << c;
  }
}

TEST_F(ReportViewTest, WidthsAreAppliedAndStoredByName) {
  auto& widths = g->Settings.Report.ReportColumnsWidth.Items;
  widths[2].Value = 111;  // "Total": the Total Lines column
  widths[3].Value = 0;    // "SourceCode": applied as it stands
  Open();
  EXPECT_EQ(view->ReportGrid()->columnWidth(rcTotal), 111);
  // Loading other settings applies their widths (message 1028).
  widths[2].Value = 123;
  SendMessage(g->ReportWindow, UM_SETTINGS_CHANGED);
  EXPECT_EQ(view->ReportGrid()->columnWidth(rcTotal), 123);
  EXPECT_EQ(view->ReportGrid()->columnWidth(rcSourceCode), 0);
  const int designComment = view->ReportGrid()->columnWidth(rcComment);  // -1 keeps it
  EXPECT_GE(designComment, ReportDesignWidths[rcComment]);
  view->ReportGrid()->setColumnWidth(rcMixedPercent, 99);
  view->hide();                     // leaving the report mode stores them
  EXPECT_EQ(widths[10].Value, 99);  // "MixedP"
  EXPECT_EQ(widths[2].Value, 123);
}

TEST_F(ReportViewTest, SelectAllAndCopyPutTitlesRowsAndFooterOnTheClipboard) {
  Open();
  Add("", "a.c", 1, 1, 0, 0);
  Add("", "b.c", 2, 0, 0, 0);
  Add("", "c.c", 0, 0, 3, 0);
  SendMessage(g->ReportWindow, UM_REPORT_TOTALS);
  Find<QAction>("ppmColumns10")->trigger();  // hidden columns are not copied
  Trigger("SelectAll");
  Trigger("CopyToClipboard");
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  const QStringList lines = mime->text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 5);
  EXPECT_TRUE(lines[0].startsWith("File Name\tNominal Lines\t"));
  EXPECT_FALSE(lines[0].contains("Total Lines"));
  EXPECT_EQ(lines[1].split('\t').size(), 10);
  EXPECT_TRUE(lines[4].startsWith("Total:\t7\t3\t42.86 %"));
  for (const char* format : {"text/csv", "text/rtf", "application/x-qrmt-grid"})
    EXPECT_FALSE(mime->data(format).isEmpty()) << format;
  // The keyboard's copy does the same; nothing selected empties the clipboard.
  view->ReportGrid()->clearSelection();
  QApplication::setActiveWindow(view.get());
  view->ReportGrid()->setFocus();
  QTest::keyClick(view->ReportGrid(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
  QTest::keyClick(view->ReportGrid(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(view->ReportGrid(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts).size(), 5);
  // Clear Report empties the rows, not the results buffer.
  Trigger("Clear");
  EXPECT_EQ(view->ReportGrid()->model()->rowCount(), 0);
  EXPECT_EQ(g->CountResults.size(), 1u);
}

TEST_F(ReportViewTest, ThePrintoutHoldsTheVisibleColumnsOfEveryRow) {
  Open();
  for (int i = 0; i < 120; ++i) Add("src/", "file" + std::to_string(i) + ".c", i, 1, 0, 0);
  SendMessage(g->ReportWindow, UM_REPORT_TOTALS);
  // A picture of the view for a person to look at.
  QApplication::processEvents();
  if (!qEnvironmentVariableIsEmpty("QRMT_CHECK_OUTPUT"))
    view->grab().save(qEnvironmentVariable("QRMT_CHECK_OUTPUT") + "/report-view.png");
  Find<QAction>("ppmColumns1")->trigger();  // Nominal Lines hidden
  QTemporaryDir dir;
  const QString pdf = qEnvironmentVariableIsEmpty("QRMT_CHECK_OUTPUT")
                          ? dir.filePath("report.pdf")
                          : qEnvironmentVariable("QRMT_CHECK_OUTPUT") + "/report.pdf";
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  view->PrintReport(&printer);
  QProcess pdftotext;
  pdftotext.start("pdftotext", {"-layout", pdf, "-"});
  ASSERT_TRUE(pdftotext.waitForFinished(20000));
  const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
  EXPECT_TRUE(text.contains("src/file0.c")) << text.left(400).toStdString();
  EXPECT_TRUE(text.contains("src/file119.c"));
  EXPECT_TRUE(text.contains("Total:"));
  EXPECT_TRUE(text.contains("Source Code"));  // titles in two lines
  EXPECT_TRUE(text.contains("Lines (%)"));
  EXPECT_FALSE(text.contains("Nominal Lines"));
  EXPECT_GE(text.count('\f'), 2);  // more than one page, titles on each
}

TEST_F(ReportViewTest, PrintReportOpensAPreviewOfTheReportWithoutAPrinter) {
  Open();
  for (int i = 0; i < 200; ++i) Add("src/", "p" + std::to_string(i) + ".c", 1, 1, 1, 1);
  int pages = 0;
  QString title;
  TfrmReport::RunDialog = [&](QDialog& dialog) {
    title = dialog.windowTitle();
    dialog.show();
    QApplication::processEvents();
    if (auto* preview = dialog.findChild<QPrintPreviewWidget*>()) {
      preview->updatePreview();
      pages = preview->pageCount();
    }
    dialog.reject();
    return 0;
  };
  Trigger("Print");
  TfrmReport::RunDialog = nullptr;
  EXPECT_EQ(title, "Print Report");
  EXPECT_GE(pages, 2);  // 200 rows take more than one page
}

namespace {

// Presses a button of the export dialog, as the user would.
int Press(QDialog& d, const char* format, const char* button) {
  if (format) d.findChild<QRadioButton*>(format)->click();
  d.findChild<QPushButton*>(button)->click();
  return d.result();
}

}  // namespace

TEST_F(ReportViewTest, ExportDialogRemembersTheFormatAndWritesWhereTheModeSays) {
  Open();
  Add("/p/", "a.c", 3, 1, 0, 0);
  Add("/p/", "b.c", 1, 0, 0, 1);
  std::vector<std::string> opened;
  SetUrlOpener([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  // An index out of range: the first format, stored back as 0.
  g->Settings.ExportReport.FormatIndex.Value = 12;
  std::vector<bool> addOffered;
  TfrmReport::RunDialog = [&](QDialog& d) {
    d.show();
    QApplication::processEvents();
    // With QRMT_CHECK_OUTPUT set the dialog's picture is kept for a person to look at.
    if (!qEnvironmentVariableIsEmpty("QRMT_CHECK_OUTPUT"))
      d.grab().save(qEnvironmentVariable("QRMT_CHECK_OUTPUT") + "/export-dialog.png");
    EXPECT_GE(d.width(), d.sizeHint().width());
    for (int i = 0; i < 9; ++i) {
      d.findChild<QRadioButton*>(QString("rb%1").arg(i))->click();
      addOffered.push_back(d.findChild<QPushButton*>("btnExisting")->isEnabled());
    }
    d.findChild<QRadioButton*>("rb4")->click();
    d.reject();
    return 0;
  };
  Trigger("ExportReport");
  EXPECT_EQ(addOffered, (std::vector<bool>{true, true, false, true, false, true, true, false, false}));
  EXPECT_EQ(g->Settings.ExportReport.FormatIndex.Value, 4);  // kept after Cancel
  const QString reports = QString::fromStdString(Program("Reports"));
  EXPECT_TRUE(QFileInfo(reports).isDir());

  // Create New File: a timestamp name in the Reports folder, then opened.
  TfrmReport::RunDialog = [](QDialog& d) { return Press(d, "rb3", "btnNew"); };
  Trigger("ExportReport");
  const QStringList made = QDir(reports).entryList({"*.txt"});
  ASSERT_EQ(made.size(), 1);
  EXPECT_EQ(made[0].size(), QString("10.12.2026 13.52.07.txt").size());
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl::fromLocalFile(reports + "/" + made[0]).toString().toStdString());
  EXPECT_EQ(g->Settings.ExportReport.FormatIndex.Value, 3);

  // Save to File: "summary.txt" becomes "summary.rtf"; not opened.
  Dialogs.Files = {Root("summary.txt")};
  TfrmReport::RunDialog = [](QDialog& d) { return Press(d, "rb4", "btnSaveToFile"); };
  Trigger("ExportReport");
  EXPECT_EQ(Read(Root("summary.rtf")).substr(0, 6), "{\\rtf1");
  EXPECT_EQ(opened.size(), 1u);
  // Again, No to the overwrite question: the file stays, the dialog too.
  Write("summary.rtf", "mine");
  Dialogs.Files = {Root("summary.rtf")};
  Dialogs.Answers = {mrNo};
  bool stayed = false;
  TfrmReport::RunDialog = [&](QDialog& d) {
    Press(d, "rb4", "btnSaveToFile");
    stayed = d.isVisible() || d.result() != QDialog::Accepted;
    return d.result();
  };
  Trigger("ExportReport");
  EXPECT_TRUE(stayed);
  EXPECT_EQ(Dialogs.Shown.back().Text, "File is exists. Overwrite them?");
  EXPECT_EQ(Read(Root("summary.rtf")), "mine");
  // A failed export tells why and stays open.
  std::filesystem::create_directories(Root("taken.xml"));
  Dialogs.Files = {Root("taken.xml")};
  TfrmReport::RunDialog = [](QDialog& d) { return Press(d, "rb8", "btnSaveToFile"); };
  Trigger("ExportReport");
  EXPECT_NE(Dialogs.Shown.back().Text.find("it is a folder"), std::string::npos) << Dialogs.Shown.back().Text;
  EXPECT_EQ(Dialogs.Shown.back().Icon, TMsgIcon::Error);
}

TEST_F(ReportViewTest, ExportTakesTheVisibleColumnsAndWordTheSelectedRows) {
  Open();
  Add("/p/", "a.c", 3, 1, 0, 0);
  Add("/p/", "b.c", 1, 0, 0, 1);
  Add("/p/", "c.c", 5, 0, 0, 0);
  SetUrlOpener([](const std::string&) { return true; });
  view->ColumnMenuClick(rcNominal, false);
  view->ReportGrid()->selectionModel()->select(view->ReportGrid()->model()->index(1, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
  const TExportGrid all = view->ExportGrid(false);
  EXPECT_EQ(all.Columns.size(), static_cast<size_t>(rcColumnCount - 1));
  EXPECT_EQ(std::count(all.Columns.begin(), all.Columns.end(), rcNominal), 0);
  EXPECT_EQ(all.RowCount(), 3);
  const TExportGrid selected = view->ExportGrid(true);
  EXPECT_EQ(selected.Rows, std::vector<int>{1});
  Dialogs.Files = {Root("w.docx")};
  TfrmReport::RunDialog = [](QDialog& d) { return Press(d, "rb0", "btnSaveToFile"); };
  Trigger("ExportReport");
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Root("w.docx"))));
  // The Word export used the selection and clears it.
  EXPECT_FALSE(view->ReportGrid()->selectionModel()->hasSelection());
}
