#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
    for (const auto& f : files_) jobs.push_back({f, FindCommentList(types_, ExtractFileExt(f))});
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
