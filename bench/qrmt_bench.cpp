// Timing of the settings container and of the count run against the bare
// engine. Usage:
//   qrmt_bench settings [ROUNDS]
//   qrmt_bench run TREE [ROUNDS]
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/qrmt_global.h"
#include "app/qrmt_messages.h"
#include "core/qrmt_const.h"
#include "core/qrmt_engine.h"

using namespace qrmt;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int BenchSettings(int rounds) {
  const fs::path dir = fs::temp_directory_path() / ("qrmt-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string file = (dir / "bench.settings").string();
  TFileTypeList types;
  LoadDefaultFileTypes(types);
  TSettings settings = DefaultSettings();
  std::vector<double> saves, loads, unchanged;
  for (int i = 0; i < rounds; ++i) {
    settings.Application.mfLeft.Value = i;  // a real change each round
    TSingleFileSystem store;
    auto t0 = Clock::now();
    if (i == 0)
      store.Create(file, ContainerPassword());
    else
      store.Open(file, ContainerPassword(), TSFSOpenMode::Exclusive);
    WriteSettingsStore(store, settings, types);
    store.Close();
    saves.push_back(Ms(Clock::now() - t0));

    t0 = Clock::now();
    TSingleFileSystem reader;
    reader.Open(file, ContainerPassword(), TSFSOpenMode::Exclusive);
    TSettings s;
    TFileTypeList t;
    ReadSettingsStore(reader, s, t);
    loads.push_back(Ms(Clock::now() - t0));

    // What every count run does when nothing changed.
    t0 = Clock::now();
    WriteSettingsStore(reader, s, t);
    unchanged.push_back(Ms(Clock::now() - t0));
  }
  fs::remove_all(dir);
  std::printf("container with %d formats, %d rounds (median ms)\n", types.Count(), rounds);
  std::printf("  open + save + close:      %8.2f\n", Median(saves));
  std::printf("  open + load:              %8.2f\n", Median(loads));
  std::printf("  save with nothing changed:%8.2f\n", Median(unchanged));
  return 0;
}

// Records what a report view would: the message and a copy of the result.
class TRecordingReport : public TMessageReceiver {
 public:
  intptr_t HandleMessage(unsigned code, uintptr_t, intptr_t lParam) override {
    ++Messages;
    if (code == UM_ADD_RESULT) {
      const TCountResult& r = Global->CountResults[static_cast<size_t>(lParam)];
      Lines += r.Total;
      LastName = r.FileName;
    }
    return 0;
  }
  long long Messages = 0;
  long long Lines = 0;
  std::string LastName;
};

int BenchRun(const std::string& tree, int rounds) {
  const fs::path dir = fs::temp_directory_path() / ("qrmt-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  ::setenv("QRMT_PROGRAM_FOLDER", dir.c_str(), 1);
  TqrmtGlobal g;
  TRecordingReport report, main, selection;
  g.ReportWindow = RegisterReceiver(&report);
  g.MainWindow = RegisterReceiver(&main);
  g.SelectionWindow = RegisterReceiver(&selection);

  TCountQueue queue;
  for (const auto& e : fs::recursive_directory_iterator(tree)) {
    if (!e.is_regular_file() || e.is_symlink()) continue;
    TCountQueueItem* item = queue.Add();
    const std::string name = e.path().string();
    item->Path = std::string(ExtractFilePath(name));
    item->FileName = std::string(ExtractFileName(name));
  }
  std::printf("%d files, %u threads, %d rounds (median s)\n", queue.Count(),
              std::max(1u, std::thread::hardware_concurrency()), rounds);

  std::vector<double> engineTimes, runTimes;
  long long engineLines = 0;
  for (int i = 0; i < rounds; ++i) {
    auto t0 = Clock::now();
    std::vector<TCountJob> jobs;
    TCommentSnapshot snapshot;
    for (const auto& item : queue)
      jobs.push_back(
          {item->Path + item->FileName, snapshot.Get(g.FindCommentList(std::string(ExtractFileExt(item->FileName))))});
    TCountEngine engine;
    engine.Start(std::move(jobs));
    TCountResult r;
    engineLines = 0;
    while (engine.Next(r)) engineLines += r.Total;
    engineTimes.push_back(Ms(Clock::now() - t0) / 1000);

    report.Lines = 0;
    t0 = Clock::now();
    g.CountFiles(queue);
    runTimes.push_back(Ms(Clock::now() - t0) / 1000);
  }
  const double e = Median(engineTimes), r = Median(runTimes);
  std::printf("  engine alone:             %8.3f  (%lld lines)\n", e, engineLines);
  std::printf("  RunCount with receivers:  %8.3f  (%lld lines, %lld messages)\n", r, report.Lines,
              report.Messages + main.Messages + selection.Messages);
  std::printf("  RunCount / engine:        %8.3f x   (goal: at most 1.1)\n", r / e);
  UnregisterReceiver(g.ReportWindow);
  UnregisterReceiver(g.MainWindow);
  UnregisterReceiver(g.SelectionWindow);
  g.ReportWindow = g.MainWindow = g.SelectionWindow = 0;
  fs::remove_all(dir);
  return report.Lines == engineLines ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "settings") return BenchSettings(argc > 2 ? std::atoi(argv[2]) : 50);
  if (mode == "run" && argc > 2) return BenchRun(argv[2], argc > 3 ? std::atoi(argv[3]) : 3);
  std::fprintf(stderr, "usage: qrmt_bench settings [ROUNDS] | run TREE [ROUNDS]\n");
  return 2;
}
