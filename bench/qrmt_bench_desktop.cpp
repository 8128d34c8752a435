// The desktop program's count through the real main window, offscreen:
// Count Files over a tree with the report shown, then sorting by every
// column, and Select All with Copy to Clipboard. Usage:
//   qrmt_bench_desktop TREE

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTableView>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/qrmt_global.h"
#include "bench_util.h"
#include "components/qrmt_queuegrid.h"
#include "components/qrmt_reportgrid.h"
#include "views/FileSelection.h"
#include "views/Main.h"
#include "views/Report.h"

using namespace qrmt;
namespace fs = std::filesystem;
using namespace qrmt::bench;

static void InitResources() {
  Q_INIT_RESOURCE(resources);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qrmt_bench_desktop TREE\n");
    return 2;
  }
  const fs::path program = PrepareRun("desktop");
  QApplication app(argc, argv);
  InitResources();
  int status = 0;
  {
    auto global = std::make_unique<TqrmtGlobal>();
    global->Settings.Application.appAutoUpdate.Value = false;
    TKestruneCountQRMT::AutoUpdateDelayMs = 24 * 3600 * 1000;
    auto window = std::make_unique<TKestruneCountQRMT>();
    window->resize(1280, 800);
    window->show();
    window->ShowMode(2);
    for (const auto& e : fs::recursive_directory_iterator(argv[1])) {
      if (!e.is_regular_file() || e.is_symlink()) continue;
      {
        auto item = std::make_unique<TCountQueueItem>();
        item->Path = e.path().parent_path().string() + "/";
        item->FileName = e.path().filename().string();
        window->SelectionView()->Queue()->Append(std::move(item));
      }
    }
    const int files = window->SelectionView()->Queue()->Count();
    auto t0 = Clock::now();
    window->findChild<QAction*>("CountFiles")->trigger();
    const double run = Seconds(t0);
    QApplication::processEvents();
    TReportTableModel* table = window->ReportView()->StatTable();
    std::printf("files %d rows %d\n", files, table->rowCount());
    std::printf("count run through the window: %.3f s\n", run);
    std::printf("peak memory after the run: %ld MB\n", PeakMb());
    double slowest = 0;
    int slowestColumn = 0;
    for (int c = 0; c < rcColumnCount; ++c) {
      t0 = Clock::now();
      table->ClickTitle(c);
      QApplication::processEvents();
      const double s = Seconds(t0);
      if (s > slowest) {
        slowest = s;
        slowestColumn = c;
      }
    }
    std::printf("slowest sort: %.0f ms (%s)\n", slowest * 1000,
                TReportTableModel::ColumnTitle(slowestColumn).toUtf8().constData());
    t0 = Clock::now();
    window->ReportView()->findChild<QAction*>("SelectAll")->trigger();
    window->ReportView()->findChild<QAction*>("CopyToClipboard")->trigger();
    const double copy = Seconds(t0);
    std::printf("select all and copy: %.3f s (%lld characters of text)\n", copy,
                static_cast<long long>(QApplication::clipboard()->text().size()));
    std::printf("peak memory at the end: %ld MB\n", PeakMb());
    status = table->rowCount() == files ? 0 : 1;
    window.reset();
  }
  fs::remove_all(program);
  return status;
}
