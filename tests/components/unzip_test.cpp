#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "components/qrmt_unzip.h"

using namespace qrmt;
namespace fs = std::filesystem;

namespace {

class UnzipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    root_ = fs::temp_directory_path() / ("qrmt-unzip-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
  }
  void TearDown() override {
    UnzipFreeSpace = nullptr;
    fs::remove_all(root_);
  }
  // An archive of (name, bytes) entries; a name ending in "/" is a folder.
  std::string Archive(const std::vector<std::pair<std::string, std::string>>& entries, const char* password = nullptr) {
    const std::string file = (root_ / ("a" + std::to_string(archives_++) + ".zip")).string();
    int error = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(z, nullptr);
    for (const auto& [name, bytes] : entries) {
      if (!name.empty() && name.back() == '/') {
        zip_dir_add(z, name.c_str(), ZIP_FL_ENC_UTF_8);
        continue;
      }
      keep_.push_back(bytes);
      zip_source_t* src = zip_source_buffer(z, keep_.back().data(), keep_.back().size(), 0);
      const zip_int64_t i = zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
      EXPECT_GE(i, 0) << name;
      if (password) zip_file_set_encryption(z, static_cast<zip_uint64_t>(i), ZIP_EM_AES_256, password);
    }
    EXPECT_EQ(zip_close(z), 0);
    return file;
  }
  std::map<std::string, std::string> Out() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(root_ / "out")) {
      std::ifstream in(e.path(), std::ios::binary);
      files[e.path().filename().string()] = {std::istreambuf_iterator<char>(in), {}};
    }
    return files;
  }
  std::string OutDir() const { return (root_ / "out").string(); }

  fs::path root_;
  int archives_ = 0;
  std::deque<std::string> keep_;  // zip_close reads them: they must not move
};

}  // namespace

TEST_F(UnzipTest, EntriesLandFlatUnderTheirBaseNamesWithNumbersForRepeats) {
  const std::string z = Archive({{"src/", ""},
                                 {"src/a.c", "one"},
                                 {"lib/a.c", "two"},
                                 {"a.c", "three"},
                                 {"doc/readme", "r"},
                                 {"x/readme", "r2"},
                                 {"empty.txt", ""}});
  std::vector<int> percents;
  EXPECT_EQ(UnzipFlat(z, OutDir(), [&](int p) { percents.push_back(p); }), 6);
  const std::map<std::string, std::string> expected = {{"a.c", "one"},  {"a (2).c", "two"},   {"a (3).c", "three"},
                                                       {"readme", "r"}, {"readme (2)", "r2"}, {"empty.txt", ""}};
  EXPECT_EQ(Out(), expected);
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
}

TEST_F(UnzipTest, HostileNamesNeverReachOutsideTheFolder) {
  const std::string z = Archive({{"../evil.c", "1"},
                                 {"../../tmp/evil2.c", "2"},
                                 {"/etc/evil3.c", "3"},
                                 {"a\\..\\..\\evil4.c", "4"},
                                 {"..", "5"},
                                 {"sub/..", "6"}});
  EXPECT_EQ(UnzipFlat(z, OutDir(), {}), 4);
  const std::map<std::string, std::string> expected = {
      {"evil.c", "1"}, {"evil2.c", "2"}, {"evil3.c", "3"}, {"evil4.c", "4"}};
  EXPECT_EQ(Out(), expected);
  // Nothing beside the output folder.
  std::vector<std::string> beside;
  for (const auto& e : fs::directory_iterator(root_)) beside.push_back(e.path().filename().string());
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, (std::vector<std::string>{"a0.zip", "out"}));
}

TEST_F(UnzipTest, UnusableArchivesStopWithTheArchiveAndTheReason) {
  const std::string good = Archive({{"a.c", std::string(5000, 'x')}, {"b.c", "bee"}});
  std::string bytes;
  {
    std::ifstream in(good, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  // The first entry's data flipped: its CRC no longer matches.
  std::string damaged = bytes;
  damaged[40] = static_cast<char>(damaged[40] ^ 0x5A);
  const std::string damagedFile = (root_ / "damaged.zip").string();
  std::ofstream(damagedFile, std::ios::binary) << damaged;
  const std::string truncatedFile = (root_ / "truncated.zip").string();
  std::ofstream(truncatedFile, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  const std::string textFile = (root_ / "text.zip").string();
  std::ofstream(textFile, std::ios::binary) << "just some text, not an archive\n";
  const std::string encrypted = Archive({{"secret.c", "int x;"}}, "pw");
  const struct {
    std::string file;
    std::string reason;
  } cases[] = {
      {damagedFile, "damaged"},
      {truncatedFile, ""},
      {textFile, "it is not a zip archive"},
      {encrypted, "it is encrypted"},
      {(root_ / "missing.zip").string(), ""},
  };
  for (const auto& c : cases) {
    try {
      UnzipFlat(c.file, OutDir(), {});
      ADD_FAILURE() << c.file << " was unpacked";
    } catch (const EUnzipError& e) {
      const std::string text = e.what();
      EXPECT_NE(text.find("\"" + c.file + "\""), std::string::npos) << text;
      EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
  }
  // The encrypted one wrote nothing at all.
  fs::remove_all(root_ / "out");
  fs::create_directories(root_ / "out");
  EXPECT_THROW(UnzipFlat(encrypted, OutDir(), {}), EUnzipError);
  EXPECT_TRUE(Out().empty());
}

TEST_F(UnzipTest, AnArchiveThatDoesNotFitOnTheDiskWritesNothing) {
  const std::string z = Archive({{"a.c", std::string(4000, 'a')}, {"b.c", std::string(4000, 'b')}});
  UnzipFreeSpace = [](const std::string&) -> int64_t { return 5000; };
  try {
    UnzipFlat(z, OutDir(), {});
    ADD_FAILURE();
  } catch (const EUnzipError& e) {
    EXPECT_NE(std::string(e.what()).find("8000 bytes"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(Out().empty());
}

TEST(NumberedName, NumberGoesBeforeTheExtension) {
  EXPECT_EQ(NumberedName("a.c", 2), "a (2).c");
  EXPECT_EQ(NumberedName("a.tar.gz", 3), "a.tar (3).gz");
  EXPECT_EQ(NumberedName("Makefile", 2), "Makefile (2)");
  EXPECT_EQ(NumberedName(".bashrc", 2), ".bashrc (2)");
}
