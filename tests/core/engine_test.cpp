#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/qrmt_const.h"
#include "core/qrmt_engine.h"

using namespace qrmt;
namespace fs = std::filesystem;

namespace {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qrmt-engine-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    LoadDefaultFileTypes(types_);
    // Sizes vary a lot so that workers finish out of order.
    for (int i = 0; i < 300; ++i) {
      std::string name = (dir_ / ("f" + std::to_string(i) + (i % 3 == 0 ? ".py" : ".c"))).string();
      std::ofstream f(name, std::ios::binary);
      const int lines = (i % 17 == 0) ? 40000 : i % 7;
      for (int k = 0; k < lines; ++k) f << (i % 3 == 0 ? "# c\n" : "x; // c\n");
      files_.push_back(name);
      lines_.push_back(lines);
    }
    files_.push_back((dir_ / "missing.c").string());
    lines_.push_back(0);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<TCountJob> Jobs() const {
    std::vector<TCountJob> jobs;
    TCommentSnapshot snapshot;
    for (const auto& f : files_) jobs.push_back({f, snapshot.Get(FindCommentList(types_, ExtractFileExt(f)))});
    return jobs;
  }

  fs::path dir_;
  TFileTypeList types_;
  std::vector<std::string> files_;
  std::vector<int> lines_;
};

}  // namespace

TEST_F(EngineTest, HandsResultsOverInQueueOrder) {
  for (unsigned threads : {1u, 2u, 5u}) {
    SCOPED_TRACE(threads);
    TCountEngine engine(threads);
    std::vector<std::string> failures;
    engine.SetFailureHook([&](const std::string& m, const std::string&) { failures.push_back(m); });
    engine.Start(Jobs());
    TCountResult r;
    size_t i = 0;
    while (engine.Next(r)) {
      ASSERT_LT(i, files_.size());
      EXPECT_EQ(r.Path + r.FileName, i + 1 == files_.size() ? "File open error! " + files_[i] : files_[i]);
      EXPECT_EQ(r.Nominal, lines_[i]);
      // .py lines are comments, .c lines mixed: the right format reached each file.
      EXPECT_EQ(i % 3 == 0 ? r.Comment : r.Mixed, lines_[i]) << files_[i];
      ++i;
    }
    EXPECT_EQ(i, files_.size());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("missing.c"), std::string::npos);
  }
}

TEST_F(EngineTest, AbortStopsBeforeTheNextUntakenFile) {
  TCountEngine engine(2);
  engine.Start(Jobs());
  TCountResult r;
  ASSERT_TRUE(engine.Next(r));
  ASSERT_TRUE(engine.Next(r));
  EXPECT_EQ(r.FileName, "f1.c");
  engine.Abort();
  EXPECT_FALSE(engine.Next(r));
  EXPECT_EQ(engine.TryNext(r, std::chrono::milliseconds(0)), TCountEngine::TWait::Done);
  EXPECT_EQ(engine.Taken(), 2u);
  // A new run after an abort counts normally.
  engine.Start(Jobs());
  size_t n = 0;
  while (engine.Next(r)) ++n;
  EXPECT_EQ(n, files_.size());
}

TEST_F(EngineTest, EmptyQueueAndDestructionMidRun) {
  TCountEngine engine;
  engine.Start({});
  TCountResult r;
  EXPECT_FALSE(engine.Next(r));
  {
    TCountEngine early(2);
    early.Start(Jobs());
    ASSERT_TRUE(early.Next(r));
  }  // leaves with files still queued: must join cleanly
}

TEST_F(EngineTest, JobsAddedWhileCountingKeepTheirOrder) {
  // The walk feeds the engine in runs while the first results are taken:
  // the feeder holds the rest back until the first result has arrived.
  TCountEngine engine(2);
  engine.Begin();
  std::vector<TCountJob> all = Jobs();
  std::atomic<bool> firstTaken{false};
  std::atomic<bool> tookBeforeTheRest{false};
  std::thread feeder([&] {
    std::vector<TCountJob> run;
    for (size_t i = 0; i < all.size(); ++i) {
      run.push_back(std::move(all[i]));
      if (run.size() == 7 || i + 1 == all.size()) engine.Add(run);
      if (i == 6) {
        for (int wait = 0; wait < 10000 && !firstTaken; ++wait)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        tookBeforeTheRest = firstTaken.load();
      }
    }
    engine.Finish();
  });
  TCountResult r;
  size_t i = 0;
  while (engine.Next(r)) {
    if (i == 0) firstTaken = true;
    ASSERT_LT(i, files_.size());
    EXPECT_EQ(r.Nominal, lines_[i]) << i;
    ++i;
  }
  feeder.join();
  EXPECT_EQ(i, files_.size());
  EXPECT_TRUE(tookBeforeTheRest);
  EXPECT_EQ(engine.Count(), files_.size());
  // A run that finishes empty ends at once.
  engine.Begin();
  engine.Finish();
  EXPECT_FALSE(engine.Next(r));
}

TEST_F(EngineTest, ASlowTakerHoldsTheWorkersBackWithoutLosingResults) {
  // More files than the engine reads ahead: the workers must wait for room
  // and be woken again as results are taken.
  constexpr size_t n = 12000;
  std::vector<TCountJob> jobs;
  TCommentSnapshot snapshot;
  for (size_t i = 0; i < n; ++i) {
    const std::string& f = files_[i % 40];
    jobs.push_back({f, snapshot.Get(FindCommentList(types_, ExtractFileExt(f)))});
  }
  TCountEngine engine(2);
  engine.Start(std::move(jobs));
  TCountResult r;
  size_t i = 0;
  while (engine.Next(r)) {
    ASSERT_EQ(r.Path + r.FileName, files_[i % 40]) << i;
    ASSERT_EQ(r.Nominal, lines_[i % 40]) << i;
    if (i % 1000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ++i;
  }
  EXPECT_EQ(i, n);
}

TEST_F(EngineTest, SnapshotsAreCopiesThatOutliveTheFormats) {
  TCommentSnapshot snapshot;
  std::shared_ptr<const TCommentList> c, again;
  {
    TFileTypeList types;
    LoadDefaultFileTypes(types);
    const TCommentList* original = FindCommentList(types, ".c");
    c = snapshot.Get(original);
    again = snapshot.Get(original);
    const_cast<TComment&>((*original)[0]).StartSymbol = "changed";
    EXPECT_EQ(snapshot.Get(nullptr), nullptr);
  }                     // the formats are gone
  EXPECT_EQ(c, again);  // one copy per list
  ASSERT_EQ(c->Count(), 2);
  EXPECT_EQ((*c)[0].StartSymbol, "//");
  EXPECT_EQ((*c)[1].StartSymbol, "/*");
  EXPECT_EQ((*c)[1].StopSymbol, "*/");
}
