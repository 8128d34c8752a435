// Filling the count queue through the real file selection view, offscreen:
// Add All Files Including Subfolders on a tree's root, the same again (every
// file a duplicate), and ESC during an add. Usage:
//   qrmt_bench_selection TREE
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string_view>

#include "app/qrmt_global.h"
#include "bench_util.h"
#include "components/qrmt_queuegrid.h"
#include "components/qrmt_shellviews.h"
#include "views/FileSelection.h"
#include "views/Main.h"

using namespace qrmt;
namespace fs = std::filesystem;
using namespace qrmt::bench;

static void InitResources() {
  Q_INIT_RESOURCE(resources);
}

namespace {

// Answers the abort question with Yes, as the user at the keyboard would.
class TYes : public TUserDialogs {
 public:
  int MessageBox(const std::string&, const std::string&, TMsgIcon, TMsgButtons) override { return mrYes; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qrmt_bench_selection TREE\n");
    return 2;
  }
  const fs::path program = PrepareRun("selection");
  QApplication app(argc, argv);
  InitResources();
  TYes yes;
  SetDialogs(&yes);
  int status = 0;
  {
    auto global = std::make_unique<TqrmtGlobal>();
    global->Settings.Application.appAutoUpdate.Value = false;
    TKestruneCountQRMT::AutoUpdateDelayMs = 24 * 3600 * 1000;
    auto window = std::make_unique<TKestruneCountQRMT>();
    window->resize(1280, 800);
    window->show();
    QApplication::setActiveWindow(window.get());
    TfrmFileSelection* view = window->SelectionView();
    TShellFolderTree* tree = view->FoldersTree();
    tree->Select(tree->FileSystem()->index(QString::fromLocal8Bit(argv[1])));
    const auto wait = Clock::now();
    while (!view->FilesList()->Loaded() && Seconds(wait) < 30)
      QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    std::printf("items listed in the root: %lld\n", static_cast<long long>(view->FilesList()->Items().size()));
    QAction* addTree = view->findChild<QAction*>("sfAddAllFilesWithFolders");

    auto t0 = Clock::now();
    addTree->trigger();
    const double first = Seconds(t0);
    QApplication::processEvents();
    const int rows = view->Queue()->Count();
    std::printf("add all files including subfolders: %.3f s for %d files\n", first, rows);
    std::printf("peak memory with the queue: %ld MB\n", PeakMb());
    t0 = Clock::now();
    addTree->trigger();
    const double again = Seconds(t0);
    std::printf("the same again, every file a duplicate: %.3f s (%d rows)\n", again, view->Queue()->Count());

    // ESC 300 ms into an add; the time from the key to the end of the add.
    view->findChild<QAction*>("cqRemoveAll")->trigger();
    Clock::time_point pressed;
    QTimer::singleShot(300, window.get(), [&] {
      pressed = Clock::now();
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(window.get(), &esc);
    });
    const auto started = Clock::now();
    addTree->trigger();
    const double answer = Seconds(pressed);
    // The key waits for the add's next look at the events: from when it
    // was due to the end of the add.
    const double due = Seconds(started) - 0.3;
    std::printf(
        "ESC during the add: the add ended %.0f ms after the key was due (%.0f ms after it was read); "
        "%d rows stay\n",
        due * 1000, answer * 1000, view->Queue()->Count());
    // Every file of the tree: a format whose masks name every extension
    // and every name without one.
    view->findChild<QAction*>("cqRemoveAll")->trigger();
    std::set<std::string> masks;
    for (const auto& e : fs::recursive_directory_iterator(argv[1])) {
      if (!e.is_regular_file() || e.is_symlink()) continue;
      const std::string name = e.path().filename().string();
      const std::string_view ext = ExtractFileExt(name);
      masks.insert(ext.empty() ? LowerAscii(name) : std::string("*").append(LowerAscii(ext)));
    }
    TFileType* every = global->FileTypes.Add();
    every->Title = "Every file";
    every->Enabled = true;
    for (const std::string& m : masks) {
      TFileExtension* mask = every->Extensions.Add();
      mask->Value = m;
      mask->Enabled = true;
    }
    t0 = Clock::now();
    addTree->trigger();
    std::printf("every file of the tree (%zu masks more): %.3f s for %d files\n", masks.size(), Seconds(t0),
                view->Queue()->Count());
    std::printf("peak memory at the end: %ld MB\n", PeakMb());
    status = rows > 0 && view->Queue()->Count() > 0 && view->Queue()->Count() < rows ? 0 : 1;
    window->close();
  }
  SetDialogs(nullptr);
  fs::remove_all(program);
  return status;
}
