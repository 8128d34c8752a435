#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zip.h>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <csignal>
#include <pugixml.hpp>

#include "app/app_fixture.h"
#include "common/test_results.h"
#include "components/qrmt_export.h"
#include "components/qrmt_office.h"
#include "components/qrmt_reportgrid.h"
#include "views/ExportReport.h"

using namespace qrmt;
using namespace qrmt::test;

namespace {

class ExportTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    TCountResult odd = MakeResult("/src/", "a&b <\"q\">,x.c", 6, 2, 1, 1);
    table.AppendRow(MakeResult("/src/", "main.c", 150, 30, 15, 5), true);
    table.AppendRow(odd, true);
    TCountResult failed = MakeResult("File open error! /src/", "gone.c", 0, 0, 0, 0);
    failed.Error = "No such file or directory";
    table.AppendRow(failed, true);
    table.UpdateTotals();
    grid.Table = &table;
    grid.Columns = {rcFileName, rcSourceCode, rcSourceCodePercent, rcTotal};
  }
  static std::string Part(const std::string& file, const std::string& part) {
    int error = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (!z) return {};
    zip_stat_t st;
    std::string data;
    if (zip_stat(z, part.c_str(), 0, &st) == 0) {
      data.resize(st.size);
      zip_file_t* f = zip_fopen(z, part.c_str(), 0);
      zip_fread(f, data.data(), data.size());
      zip_fclose(f);
    }
    zip_discard(z);
    return data;
  }
  std::string Failure(const std::function<void()>& run) {
    try {
      run();
    } catch (const EExportError& e) {
      return e.what();
    }
    return "no failure";
  }
  TReportTableModel table;
  TExportGrid grid;
};

}  // namespace

TEST_F(ExportTest, TextCsvAndXmlBytes) {
  const std::string file = Root("r.txt");
  ExportText(emCreateNew, grid, QString::fromStdString(file));
  EXPECT_EQ(Read(file),
            "File Name\tSource Code Lines\tSource Code Lines (%)\tTotal Lines\r\n"
            "/src/main.c\t150\t75.00 %\t200\r\n"
            "/src/a&b <\"q\">,x.c\t6\t60.00 %\t10\r\n"
            "File open error! /src/gone.c\t0\t0.00 %\t0\r\n"
            "Total:\t156\t74.29 %\t210");
  // Appended right after the last character, each line ended.
  ExportText(emAddToExisting, grid, QString::fromStdString(file));
  const std::string twice = Read(file);
  EXPECT_EQ(twice.find("Total:\t156\t74.29 %\t210File Name\t"), twice.find("Total:"));
  EXPECT_EQ(twice.substr(twice.size() - 24), "Total:\t156\t74.29 %\t210\r\n");

  const std::string csv = Root("r.csv");
  ExportCsv(emCreateNew, grid, QString::fromStdString(csv), ',');
  const std::string expected =
      "\"File Name\",\"Source Code Lines\",\"Source Code Lines (%)\",\"Total Lines\"\r\n"
      "\"/src/main.c\",\"150\",\"75.00 %\",\"200\"\r\n"
      "\"/src/a&b <\"\"q\"\">,x.c\",\"6\",\"60.00 %\",\"10\"\r\n"
      "\"File open error! /src/gone.c\",\"0\",\"0.00 %\",\"0\"\r\n"
      "\"Total:\",\"156\",\"74.29 %\",\"210\"";
  EXPECT_EQ(Read(csv), expected);
  ExportCsv(emAddToExisting, grid, QString::fromStdString(csv), ',');
  EXPECT_EQ(Read(csv), expected + "\r\n" + expected + "\r\n");
  ExportCsv(emCreateNew, grid, QString::fromStdString(csv), '\t');
  EXPECT_EQ(Read(csv).substr(0, 32), "\"File Name\"\t\"Source Code Lines\"\t");

  const std::string xml = Root("r.xml");
  grid.Columns = {rcFileName, rcTotal};
  ExportXml(grid, QString::fromStdString(xml));
  EXPECT_EQ(
      Read(xml),
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><report><header><column num=\"0\">File Name</column>"
      "<column num=\"1\">Total Lines</column></header>"
      "<data><column num=\"0\">/src/main.c</column><column num=\"1\">200</column></data>"
      "<data><column num=\"0\">/src/a&amp;b &lt;&quot;q&quot;&gt;,x.c</column><column num=\"1\">10</column></data>"
      "<data><column num=\"0\">File open error! /src/gone.c</column><column num=\"1\">0</column></data>"
      "<footer><column num=\"0\">Total:</column><column num=\"1\">210</column></footer></report>");
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(xml.c_str()));
}

TEST_F(ExportTest, SortedRowsAndTheGridsColumnOrderAreKept) {
  table.ClickTitle(rcTotal);  // descending
  grid.Columns = {rcTotal, rcFileName};
  const QString text = QString::fromUtf8(TextBytes(grid));
  EXPECT_TRUE(text.startsWith("Total Lines\tFile Name\r\n200\t/src/main.c\r\n10\t")) << text.toStdString();
}

TEST_F(ExportTest, HtmlIsOnePageWithEscapesAndRedUnreadableFiles) {
  const QString html = QString::fromUtf8(HtmlBytes(grid));
  EXPECT_TRUE(html.startsWith("<!DOCTYPE html>"));
  EXPECT_TRUE(html.contains("<td>/src/a&amp;b &lt;&quot;q&quot;&gt;,x.c</td>"));
  EXPECT_TRUE(html.contains("<td class=\"red\">File open error! /src/gone.c</td>"));
  EXPECT_TRUE(html.contains("<td class=\"n\">75.00 %</td>"));
  EXPECT_EQ(html.count("<tr>") + html.count("<tr class="), 5);  // titles, three rows, totals
  EXPECT_TRUE(html.contains("<tr class=\"total\"><td>Total:</td><td>156</td>"));
}

TEST_F(ExportTest, RtfIsATableWithEscapesAndColour) {
  TCountResult wide = MakeResult("/src/", "\xC3\xA9t\xC3\xA9{1}\\.c", 1, 0, 0, 0);
  table.AppendRow(wide, true);
  const QByteArray rtf = RtfBytes(grid);
  EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi"));
  EXPECT_TRUE(rtf.endsWith("}"));
  EXPECT_EQ(rtf.count("\\row"), 6);
  EXPECT_TRUE(rtf.contains("\\u233?t\\u233?\\{1\\}\\\\.c"));
  EXPECT_TRUE(rtf.contains("\\cf2 File open error! /src/gone.c\\cf0"));
  EXPECT_TRUE(rtf.contains("\\trhdr"));
}

TEST_F(ExportTest, PdfHasEveryRowAndPageNumbers) {
  for (int i = 0; i < 150; ++i)
    table.AppendRow(MakeResult("/src/", "file" + std::to_string(i) + ".c", i, 1, 1, 0), true);
  table.UpdateTotals();
  const std::string pdf = Root("r.pdf");
  std::vector<int> told;
  ExportPdf(grid, QString::fromStdString(pdf), [&](int p) { told.push_back(p); });
  EXPECT_EQ(Read(pdf).substr(0, 5), "%PDF-");
  EXPECT_FALSE(told.empty());
  const std::string text = Root("r.txt");
  ASSERT_EQ(std::system(("pdftotext -layout " + pdf + " " + text).c_str()), 0);
  const std::string words = Read(text);
  EXPECT_NE(words.find("file149.c"), std::string::npos);
  EXPECT_NE(words.find("Total:"), std::string::npos);
  EXPECT_NE(words.find("Page 1 of"), std::string::npos);
  // The titles stand on every page.
  const QString all = QString::fromStdString(words);
  const int pages = static_cast<int>(all.count("\f")) + (all.endsWith("\f") ? 0 : 1);
  EXPECT_GT(pages, 1);
  EXPECT_EQ(all.count("File Name"), pages);
}

TEST_F(ExportTest, XlsxNewWorkbookHoldsTheBlockWithNumbersAndStyles) {
  grid.Columns.clear();
  for (int c = 0; c < rcColumnCount; ++c) grid.Columns.push_back(c);
  const std::string file = Root("r.xlsx");
  ExportXlsx(emCreateNew, grid, QString::fromStdString(file));
  pugi::xml_document wb, sheet, styles;
  ASSERT_TRUE(wb.load_string(Part(file, "xl/workbook.xml").c_str()));
  EXPECT_STREQ(wb.select_node("//sheet").node().attribute("name").value(), "Report");
  ASSERT_TRUE(
      sheet.load_string(Part(file, "xl/worksheets/sheet1.xml").c_str(), pugi::parse_default | pugi::parse_ws_pcdata));
  ASSERT_TRUE(styles.load_string(Part(file, "xl/styles.xml").c_str()));
  auto cell = [&](const std::string& ref) { return sheet.select_node(("//c[@r='" + ref + "']").c_str()).node(); };
  EXPECT_STREQ(cell("A1").child("is").child("t").text().get(), " ");
  EXPECT_FALSE(cell("A2"));
  EXPECT_STREQ(cell("A3").child("is").child("t").text().get(), "File Name");
  EXPECT_STREQ(cell("K3").child("is").child("t").text().get(), "Total Lines");
  EXPECT_STREQ(cell("A4").child("is").child("t").text().get(), "/src/main.c");
  // The file name reaches the sheet as it is; numbers are numbers.
  EXPECT_STREQ(cell("A5").child("is").child("t").text().get(), "/src/a&b <\"q\">,x.c");
  EXPECT_STREQ(cell("C4").child("v").text().get(), "150");
  EXPECT_STREQ(cell("D4").child("v").text().get(), "0.75");
  EXPECT_STREQ(cell("A7").child("is").child("t").text().get(), "Total:");
  EXPECT_STREQ(cell("C7").child("v").text().get(), "156");
  EXPECT_FALSE(cell("A8"));
  EXPECT_STREQ(sheet.select_node("//selection").node().attribute("activeCell").value(), "A3");
  // Styles: titles bold, centred and wrapped; every cell of the block ruled;
  // the footer bold; percentages in a percent format.
  auto xf = [&](const std::string& ref) {
    const int s = cell(ref).attribute("s").as_int();
    int i = 0;
    for (pugi::xml_node x : styles.select_node("//cellXfs").node().children())
      if (i++ == s) return x;
    return pugi::xml_node();
  };
  auto bold = [&](pugi::xml_node x) {
    int i = 0;
    for (pugi::xml_node f : styles.select_node("//fonts").node().children())
      if (i++ == x.attribute("fontId").as_int()) return static_cast<bool>(f.child("b"));
    return false;
  };
  auto ruled = [&](pugi::xml_node x) {
    int i = 0;
    for (pugi::xml_node b : styles.select_node("//borders").node().children())
      if (i++ == x.attribute("borderId").as_int())
        return std::string(b.child("left").attribute("style").value()) == "thin" &&
               std::string(b.child("bottom").attribute("style").value()) == "thin";
    return false;
  };
  EXPECT_TRUE(bold(xf("A3")));
  EXPECT_STREQ(xf("A3").child("alignment").attribute("horizontal").value(), "center");
  EXPECT_STREQ(xf("A3").child("alignment").attribute("wrapText").value(), "1");
  EXPECT_FALSE(bold(xf("A4")));
  EXPECT_TRUE(bold(xf("C7")));
  for (const char* ref : {"A3", "K3", "A4", "D5", "A7", "K7"}) EXPECT_TRUE(ruled(xf(ref))) << ref;
  const int percentFormat = xf("D4").attribute("numFmtId").as_int();
  EXPECT_STREQ(styles.select_node(("//numFmt[@numFmtId='" + std::to_string(percentFormat) + "']").c_str())
                   .node()
                   .attribute("formatCode")
                   .value(),
               "0.00%");
  EXPECT_EQ(sheet.select_nodes("//col").size(), 11u);
}

TEST_F(ExportTest, XlsxAddsTwoRowsBelowTheLastUsedRowAndKeepsTheRest) {
  // A workbook of our own first, then its sheet filled down to row 10 by hand.
  const std::string file = Root("book.xlsx");
  ExportXlsx(emCreateNew, grid, QString::fromStdString(file));
  std::string sheet = Part(file, "xl/worksheets/sheet1.xml");
  const size_t begin = sheet.find("<sheetData>") + 11, end = sheet.find("</sheetData>");
  std::string rows;
  for (int r = 1; r <= 10; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"B" + std::to_string(r) + "\"><v>" + std::to_string(r) +
            "</v></c></row>";
  sheet.replace(begin, end - begin, rows);
  {
    int error = 0;
    zip_t* z = zip_open(file.c_str(), 0, &error);
    zip_file_add(z, "xl/worksheets/sheet1.xml", zip_source_buffer(z, sheet.data(), sheet.size(), 0), ZIP_FL_OVERWRITE);
    zip_file_add(z, "custom/keep.bin", zip_source_buffer(z, "\x01\x02\x03", 3, 0), 0);
    ASSERT_EQ(zip_close(z), 0);
  }
  const std::string keptBefore = Part(file, "custom/keep.bin");
  ExportXlsx(emAddToExisting, grid, QString::fromStdString(file));
  const QString stylesPart = QString::fromStdString(Part(file, "xl/styles.xml"));
  EXPECT_EQ(stylesPart.count("<?xml"), 1);  // a second declaration makes readers drop the part
  pugi::xml_document doc;
  ASSERT_TRUE(
      doc.load_string(Part(file, "xl/worksheets/sheet1.xml").c_str(), pugi::parse_default | pugi::parse_ws_pcdata));
  auto cell = [&](const std::string& ref) { return doc.select_node(("//c[@r='" + ref + "']").c_str()).node(); };
  EXPECT_STREQ(cell("A1").child("is").child("t").text().get(), " ");  // A1 was empty
  EXPECT_STREQ(cell("B10").child("v").text().get(), "10");
  EXPECT_FALSE(cell("A11"));
  EXPECT_STREQ(cell("A12").child("is").child("t").text().get(), "File Name");
  EXPECT_STREQ(cell("A16").child("is").child("t").text().get(), "Total:");
  EXPECT_STREQ(doc.select_node("//selection").node().attribute("activeCell").value(), "A12");
  EXPECT_EQ(Part(file, "custom/keep.bin"), keptBefore);
  // Row numbers increase through the sheet, as the format requires.
  int last = 0;
  for (pugi::xpath_node r : doc.select_nodes("//row")) {
    EXPECT_GT(r.node().attribute("r").as_int(), last);
    last = r.node().attribute("r").as_int();
  }
}

TEST_F(ExportTest, DocxPutsTheTableFirstAfterAnEmptyParagraph) {
  const std::string file = Root("r.docx");
  ExportDocx(emCreateNew, grid, QString::fromStdString(file));
  // Old content, then the report added in front of it.
  std::string document = Part(file, "word/document.xml");
  document.replace(document.find("<w:p/><w:sectPr"), 6, "<w:p><w:r><w:t>Old text</w:t></w:r></w:p>");
  {
    int error = 0;
    zip_t* z = zip_open(file.c_str(), 0, &error);
    zip_file_add(z, "word/document.xml", zip_source_buffer(z, document.data(), document.size(), 0), ZIP_FL_OVERWRITE);
    ASSERT_EQ(zip_close(z), 0);
  }
  grid.AllRows = false;
  grid.Rows = {1};
  ExportDocx(emAddToExisting, grid, QString::fromStdString(file));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(Part(file, "word/document.xml").c_str()));
  std::vector<std::string> order;
  for (pugi::xml_node n : doc.child("w:document").child("w:body").children()) {
    std::string kind = n.name();
    if (kind == "w:p")
      kind += n.child("w:r") ? "(" + std::string(n.select_node(".//w:t").node().text().get()) + ")" : "()";
    if (kind == "w:tbl") kind += "(" + std::to_string(n.select_nodes("w:tr").size()) + ")";
    order.push_back(kind);
  }
  // The new table (titles, one row, footer), the first export's table
  // (titles, three rows, footer), then the old text.
  EXPECT_EQ(order, (std::vector<std::string>{"w:p()", "w:tbl(3)", "w:p()", "w:p()", "w:tbl(5)", "w:p()",
                                             "w:p(Old text)", "w:sectPr"}));
  pugi::xml_node first = doc.select_node("//w:tbl").node();
  EXPECT_TRUE(first.select_node("w:tr[1]/w:trPr/w:tblHeader"));
  EXPECT_STREQ(first.select_node("w:tr[1]/w:tc[1]/w:tcPr/w:vAlign").node().attribute("w:val").value(), "center");
  EXPECT_STREQ(first.select_node("w:tr[2]/w:tc[1]//w:t").node().text().get(), "/src/a&b <\"q\">,x.c");
  EXPECT_TRUE(first.select_node("w:tr[3]//w:b"));
}

TEST_F(ExportTest, BadTargetsAreRefusedWithTheFileAndTheReasonAndLeftAlone) {
  const std::string text = Write("not-office.xlsx", "just text");
  const std::string folder = Root("a-folder.xlsx");
  std::filesystem::create_directories(folder);
  const std::string locked = Write("locked.csv", "keep me");
  const std::string lockedXlsx = Write("locked.xlsx", "keep me too");
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
  std::filesystem::permissions(lockedXlsx, std::filesystem::perms::owner_read);
  const bool root = ::geteuid() == 0;  // root writes read-only files anyway; the checks still refuse
  const struct {
    std::function<void()> run;
    std::string file;
    std::string reason;
  } cases[] = {
      {[&] { ExportXlsx(emAddToExisting, grid, QString::fromStdString(text)); }, text, "not an Office Open XML file"},
      {[&] { ExportDocx(emAddToExisting, grid, QString::fromStdString(text)); }, text, "not an Office Open XML file"},
      {[&] { ExportXlsx(emCreateNew, grid, QString::fromStdString(folder)); }, folder, "it is a folder"},
      {[&] { ExportHtml(grid, QString::fromStdString(folder)); }, folder, "it is a folder"},
      {[&] { ExportCsv(emSaveToFile, grid, QString::fromStdString(locked), ','); }, locked, "read-only"},
      {[&] { ExportXlsx(emCreateNew, grid, QString::fromStdString(lockedXlsx)); }, lockedXlsx, "read-only"},
      {[&] { ExportXlsx(emAddToExisting, grid, QString::fromStdString(Root("none.xlsx"))); }, Root("none.xlsx"),
       "no such file"},
  };
  for (const auto& c : cases) {
    if (root && c.reason == "read-only" && QFileInfo(QString::fromStdString(c.file)).isWritable()) continue;
    const std::string message = Failure(c.run);
    EXPECT_NE(message.find("\"" + c.file + "\""), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }
  EXPECT_EQ(Read(text), "just text");
  EXPECT_EQ(Read(locked), "keep me");
  EXPECT_EQ(Read(lockedXlsx), "keep me too");
  // A workbook in which something else was asked for: a Word document.
  const std::string doc = Root("doc.docx");
  ExportDocx(emCreateNew, grid, QString::fromStdString(doc));
  const std::string before = Read(doc);
  EXPECT_NE(
      Failure([&] { ExportXlsx(emAddToExisting, grid, QString::fromStdString(doc)); }).find("not an Excel workbook"),
      std::string::npos);
  EXPECT_EQ(Read(doc), before);
}

TEST_F(ExportTest, AFullDiskLeavesTheOldFileAsItWas) {
  // A file-size limit plays the full disk.
  for (int i = 0; i < 2000; ++i) table.AppendRow(MakeResult("/src/", "f" + std::to_string(i) + ".c", i, 1, 1, 0), true);
  const std::string csv = Write("full.csv", "old,contents\r\n");
  const std::string xlsx = Root("full.xlsx");
  ExportXlsx(emCreateNew, grid, QString::fromStdString(xlsx));
  const std::string book = Read(xlsx);
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 20000;
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string appended = Failure([&] { ExportCsv(emAddToExisting, grid, QString::fromStdString(csv), ','); });
  const std::string replaced = Failure([&] { ExportCsv(emSaveToFile, grid, QString::fromStdString(csv), ','); });
  const std::string added = Failure([&] { ExportXlsx(emAddToExisting, grid, QString::fromStdString(xlsx)); });
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  for (const std::string& m : {appended, replaced, added})
    EXPECT_NE(m.find("cannot be written"), std::string::npos) << m;
  EXPECT_EQ(Read(csv), "old,contents\r\n");
  EXPECT_EQ(Read(xlsx), book);
}

TEST(TimestampFileName, HasTheShapeOfDayMonthYearAndTime) {
  const QString name = TimestampFileName(".xlsx");
  EXPECT_TRUE(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d\\.\\d\\d\\.\\d\\d\\.xlsx$").match(name).hasMatch())
      << name.toStdString();
  EXPECT_TRUE(name.startsWith(QDate::currentDate().toString("dd.MM.")));
  EXPECT_EQ(ColumnLetters(1), "A");
  EXPECT_EQ(ColumnLetters(11), "K");
  EXPECT_EQ(ColumnLetters(28), "AB");
}

TEST_F(ExportTest, WritesEveryFormatForTheOfficeCheck) {
  // With QRMT_CHECK_OUTPUT set the files are kept there for
  // scripts/check-exports.sh, which opens them with LibreOffice; with
  // QRMT_CHECK_INPUT, its base.xlsx and base.docx get the report added.
  const QString out = qEnvironmentVariableIsEmpty("QRMT_CHECK_OUTPUT") ? QString::fromStdString(Root(""))
                                                                       : qEnvironmentVariable("QRMT_CHECK_OUTPUT");
  const QString in = qEnvironmentVariable("QRMT_CHECK_INPUT");
  grid.Columns.clear();
  for (int c = 0; c < rcColumnCount; ++c) grid.Columns.push_back(c);
  const char* names[] = {"report.docx", "report.xlsx", "report.html", "report.txt", "report.rtf",
                         "report.csv",  "report.tsv",  "report.pdf",  "report.xml"};
  for (int f = 0; f < efCount; ++f) {
    const QString file = out + "/" + names[f];
    WriteExport(f, emCreateNew, grid, file);
    EXPECT_GT(QFileInfo(file).size(), 100) << names[f];
  }
  if (in.isEmpty()) return;
  for (const char* base : {"base.xlsx", "base.docx"}) {
    const QString target = out + "/added-" + base;
    QFile::remove(target);
    ASSERT_TRUE(QFile::copy(in + "/" + base, target)) << base;
    WriteExport(QString(base).endsWith("xlsx") ? efExcel : efWord, emAddToExisting, grid, target);
  }
}
