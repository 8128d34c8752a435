// The export writers over a report of every file of a tree: the time and
// the memory above the program's own of each format, and adding the report
// to a workbook that already holds it. Each export runs in a child process
// of its own, so that its peak is its own. Usage: qrmt_bench_export TREE
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_util.h"
#include "components/qrmt_export.h"
#include "components/qrmt_reportgrid.h"

using namespace qrmt;
namespace fs = std::filesystem;
using namespace qrmt::bench;

namespace {

long RssKb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long PeakKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// Runs `work` in a child; prints its time and its peak above the memory
// it started with (the program's own).
void Measure(const char* what, long, const std::function<void()>& work) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    // The peak starts again from what the child holds now.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long baseKb = RssKb();
    const auto t0 = Clock::now();
    try {
      work();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", what, e.what());
      _exit(1);
    }
    const double s = Seconds(t0);
    std::printf("%-34s %7.3f s  %5ld MB above the program\n", what, s, (PeakKb() - baseKb) / 1024);
    std::fflush(stdout);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qrmt_bench_export TREE\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  // The rows: every file of the tree, its counts made from its size (the
  // writers' work depends on the texts, not on the numbers).
  TReportTableModel table;
  table.SetRowRepaint(false);
  for (const auto& e : fs::recursive_directory_iterator(argv[1])) {
    if (!e.is_regular_file() || e.is_symlink()) continue;
    const int64_t size = static_cast<int64_t>(e.file_size());
    TCountResult r;
    r.Path = e.path().parent_path().string() + "/";
    r.FileName = e.path().filename().string();
    r.SourceCode = size / 40;
    r.Comment = size / 200;
    r.Blank = size / 300;
    r.Mixed = size / 900;
    r.Nominal = r.Total = r.SourceCode + r.Comment + r.Blank + r.Mixed;
    table.AppendRow(r, true);
  }
  table.SetRowRepaint(true);
  table.UpdateTotals();
  TExportGrid grid;
  grid.Table = &table;
  for (int c = 0; c < rcColumnCount; ++c) grid.Columns.push_back(c);
  const fs::path out = fs::temp_directory_path() / ("qrmt-bench-export-" + std::to_string(::getpid()));
  fs::create_directories(out);
  std::printf("rows %d\n", table.rowCount());
  const long base = RssKb();
  const char* names[] = {"Word (.docx)", "Excel (.xlsx)", "HTML", "text", "RTF", "CSV", "tab-separated", "PDF", "XML"};
  const char* files[] = {"r.docx", "r.xlsx", "r.html", "r.txt", "r.rtf", "r.csv", "r.tsv", "r.pdf", "r.xml"};
  // QRMT_BENCH_FORMATS=1,7 measures those formats alone.
  const QString only = qEnvironmentVariable("QRMT_BENCH_FORMATS");
  for (int f = 0; f < efCount; ++f) {
    if (!only.isEmpty() && !only.split(',').contains(QString::number(f))) continue;
    const QString file = QString::fromStdString((out / files[f]).string());
    Measure(names[f], base, [&] { WriteExport(f, emCreateNew, grid, file); });
    std::printf("%34s %7.1f MB written\n", "", static_cast<double>(QFileInfo(file).size()) / 1e6);
  }
  const QString book = QString::fromStdString((out / "r.xlsx").string());
  Measure("Excel, added to that workbook", base, [&] { WriteExport(efExcel, emAddToExisting, grid, book); });
  std::printf("%34s %7.1f MB written\n", "", static_cast<double>(QFileInfo(book).size()) / 1e6);
  const QString doc = QString::fromStdString((out / "r.docx").string());
  Measure("Word, added to that document", base, [&] { WriteExport(efWord, emAddToExisting, grid, doc); });
  fs::remove_all(out);
  return 0;
}
