#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "components/qrmt_sfs.h"

using namespace qrmt;
namespace fs = std::filesystem;

namespace {

const std::string Password = "abcdef";

class SfsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qrmt-sfs-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // A container with two folders and three files.
  std::string MakeSample(const std::string& name = "s.settings") {
    TSingleFileSystem fs;
    fs.Create(Path(name), Password);
    fs.CreateFolder("\\Settings\\FileTypes\\");  // creates the parent too
    fs.WriteFile("\\Settings\\setings.txt", "<Application></Application>");
    fs.WriteFile("\\Settings\\FileTypes\\2.filetype.txt", "two");
    fs.WriteFile("\\Settings\\FileTypes\\1.filetype.txt", "one");
    fs.Close();
    return Path(name);
  }

  static std::string Bytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  TSFSErrorKind OpenError(const std::string& file, const std::string& password = Password,
                          TSFSOpenMode mode = TSFSOpenMode::Exclusive) {
    TSingleFileSystem fs;
    try {
      fs.Open(file, password, mode);
    } catch (const TSFSError& e) {
      last_error_ = e.what();
      return e.Kind;
    }
    last_error_.clear();
    return TSFSErrorKind::Io;  // "no error" is reported as an empty message
  }

  fs::path dir_;
  std::string last_error_;
};

}  // namespace

TEST_F(SfsTest, KeepsFoldersAndFilesAcrossReopening) {
  const std::string file = MakeSample();
  TSingleFileSystem fs;
  fs.Open(file, Password, TSFSOpenMode::Exclusive);
  EXPECT_TRUE(fs.FolderExists("\\Settings\\"));
  EXPECT_TRUE(fs.FolderExists("\\Settings\\FileTypes\\"));
  EXPECT_FALSE(fs.FolderExists("\\Other\\"));
  EXPECT_TRUE(fs.FileExists("\\Settings\\setings.txt"));
  EXPECT_FALSE(fs.FileExists("\\Settings\\"));
  EXPECT_EQ(fs.ReadFile("\\Settings\\FileTypes\\1.filetype.txt"), "one");

  TSFSSearchRec rec;
  std::vector<std::string> found;
  for (bool ok = fs.FindFirst("\\Settings\\FileTypes\\*.FILETYPE.txt", rec); ok; ok = fs.FindNext(rec))
    found.push_back(rec.Name);
  fs.FindClose(rec);
  EXPECT_EQ(found, (std::vector<std::string>{"2.filetype.txt", "1.filetype.txt"}));  // stored order
  EXPECT_FALSE(fs.FindFirst("\\Settings\\FileTypes\\*.xml", rec));
  ASSERT_TRUE(fs.FindFirst("\\Settings\\*", rec));  // folders match too, deeper entries do not
  EXPECT_EQ(rec.Name, "FileTypes");
  EXPECT_TRUE(rec.IsFolder);
  ASSERT_TRUE(fs.FindNext(rec));
  EXPECT_EQ(rec.Name, "setings.txt");
  EXPECT_FALSE(fs.FindNext(rec));

  fs.DeleteFolder("\\Settings\\FileTypes\\");
  EXPECT_FALSE(fs.FileExists("\\Settings\\FileTypes\\1.filetype.txt"));
  EXPECT_FALSE(fs.FolderExists("\\Settings\\FileTypes\\"));
  EXPECT_TRUE(fs.FileExists("\\Settings\\setings.txt"));
  fs.Close();

  fs.Open(file, Password, TSFSOpenMode::ReadOnly);
  EXPECT_FALSE(fs.FolderExists("\\Settings\\FileTypes\\"));
  EXPECT_THROW(fs.WriteFile("\\Settings\\x.txt", "x"), TSFSError);  // read-only
}

TEST_F(SfsTest, StreamsAndErrors) {
  TSingleFileSystem fs;
  fs.Create(Path("c.settings"), Password);
  EXPECT_THROW(fs.WriteFile("\\NoFolder\\a.txt", "x"), TSFSError);
  EXPECT_THROW(fs.ReadFile("\\missing.txt"), TSFSError);
  fs.CreateFolder("\\Settings\\");
  {
    TSFSFileStream out(fs, "\\Settings\\big.txt", TSFSFileStream::fmCreate);
    out.Write("abc", 3);
    out.Write("def", 3);
  }
  TSFSFileStream in(fs, "\\Settings\\big.txt", TSFSFileStream::fmOpenRead);
  EXPECT_EQ(in.Size(), 6);
  char buf[8] = {};
  EXPECT_EQ(in.Read(buf, 4), 4u);
  EXPECT_EQ(in.Read(buf + 4, 4), 2u);
  EXPECT_EQ(std::string(buf), "abcdef");
  // Binary content and an empty file survive the trip.
  const std::string binary("\0\xFF\r\n\x01", 5);
  fs.WriteFile("\\Settings\\bin", binary);
  fs.WriteFile("\\Settings\\empty", "");
  fs.Close();
  fs.Open(Path("c.settings"), Password, TSFSOpenMode::ReadOnly);
  EXPECT_EQ(fs.ReadFile("\\Settings\\bin"), binary);
  EXPECT_EQ(fs.ReadFile("\\Settings\\empty"), "");
}

TEST_F(SfsTest, EmptyContainerIsAValidFile) {
  TSingleFileSystem fs;
  fs.Create(Path("e.settings"), Password);
  fs.Close();
  EXPECT_EQ(fs::file_size(Path("e.settings")), 22u);
  fs.Open(Path("e.settings"), Password, TSFSOpenMode::Exclusive);
  EXPECT_FALSE(fs.FolderExists("\\Settings\\"));
}

TEST_F(SfsTest, RefusesWhatItCannotTrust) {
  const std::string good = MakeSample();
  EXPECT_EQ(OpenError(good, "zzzzzz"), TSFSErrorKind::WrongPassword);
  EXPECT_NE(last_error_.find(good), std::string::npos) << last_error_;
  EXPECT_NE(last_error_.find("another password"), std::string::npos) << last_error_;

  EXPECT_EQ(OpenError(Path("none.settings")), TSFSErrorKind::Missing);
  EXPECT_NE(last_error_.find("does not exist"), std::string::npos);

  std::ofstream(Path("text.settings")) << "just some text, not a container";
  EXPECT_EQ(OpenError(Path("text.settings")), TSFSErrorKind::Damaged);
  EXPECT_NE(last_error_.find("not a settings container"), std::string::npos) << last_error_;

  std::ofstream(Path("zero.settings"));
  EXPECT_EQ(OpenError(Path("zero.settings")), TSFSErrorKind::Damaged);

  const std::string bytes = Bytes(good);
  for (size_t cut : {bytes.size() / 2, bytes.size() - 10}) {
    std::ofstream(Path("cut.settings"), std::ios::binary) << bytes.substr(0, cut);
    EXPECT_EQ(OpenError(Path("cut.settings")), TSFSErrorKind::Damaged) << cut;
  }
  // One flipped byte inside the encrypted data: the authentication fails.
  std::string flipped = bytes;
  const size_t at = flipped.find("Settings/setings.txt") + 20 + 40;
  flipped[at] = static_cast<char>(flipped[at] ^ 0x55);
  std::ofstream(Path("flip.settings"), std::ios::binary) << flipped;
  EXPECT_NE(OpenError(Path("flip.settings")), TSFSErrorKind::Io) << "accepted";

  // A plain zip without encryption is no container of ours.
  {
    int err = 0;
    zip_t* z = zip_open(Path("plain.settings").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    static const char text[] = "hello";
    zip_file_add(z, "Settings/setings.txt", zip_source_buffer(z, text, 5, 0), 0);
    zip_close(z);
  }
  EXPECT_EQ(OpenError(Path("plain.settings")), TSFSErrorKind::WrongPassword);
}

TEST_F(SfsTest, PasswordCheckCollisionIsStillRefused) {
  // Made with another password whose two-byte check matches "qrmtks".
  const std::string fixture = std::string(QRMT_FIXTURES) + "/containers/collision.settings";
  ASSERT_TRUE(fs::exists(fixture)) << "fixture missing: " << fixture;
  EXPECT_EQ(OpenError(fixture, "qrmtks", TSFSOpenMode::ReadOnly), TSFSErrorKind::WrongPassword) << last_error_;
}

TEST_F(SfsTest, LockingBetweenCopies) {
  const std::string file = MakeSample();
  struct Case {
    TSFSOpenMode first, second;
    bool secondOpens;
  } cases[] = {
      {TSFSOpenMode::Exclusive, TSFSOpenMode::Exclusive, false}, {TSFSOpenMode::Exclusive, TSFSOpenMode::Shared, false},
      {TSFSOpenMode::Shared, TSFSOpenMode::Shared, true},        {TSFSOpenMode::Shared, TSFSOpenMode::Exclusive, false},
      {TSFSOpenMode::Exclusive, TSFSOpenMode::ReadOnly, true},
  };
  for (const auto& c : cases) {
    TSingleFileSystem a;
    a.Open(file, Password, c.first);
    TSFSErrorKind kind = OpenError(file, Password, c.second);
    EXPECT_EQ(last_error_.empty(), c.secondOpens) << last_error_;
    if (!c.secondOpens) {
      EXPECT_EQ(kind, TSFSErrorKind::Locked);
      EXPECT_NE(last_error_.find("another running copy"), std::string::npos);
    }
  }
  // Creating over a container another copy holds is refused too.
  TSingleFileSystem holder;
  holder.Open(file, Password, TSFSOpenMode::Exclusive);
  TSingleFileSystem other;
  EXPECT_THROW(other.Create(file, Password), TSFSError);
  holder.Close();
  // No lock file is left behind.
  for (const auto& e : fs::directory_iterator(dir_))
    EXPECT_EQ(e.path().filename().string().find(".lock"), std::string::npos);
}

TEST_F(SfsTest, UnchangedContentsAreNotRewritten) {
  const std::string file = MakeSample();
  const auto inode = [&] {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_ino;
  };
  const auto before = inode();
  TSingleFileSystem fs;
  fs.Open(file, Password, TSFSOpenMode::Exclusive);
  fs.DeleteFolder("\\Settings\\FileTypes\\");
  fs.CreateFolder("\\Settings\\FileTypes\\");
  fs.WriteFile("\\Settings\\FileTypes\\2.filetype.txt", "two");
  fs.WriteFile("\\Settings\\FileTypes\\1.filetype.txt", "one");
  fs.Flush();
  EXPECT_EQ(inode(), before);
  fs.WriteFile("\\Settings\\FileTypes\\1.filetype.txt", "changed");
  fs.Flush();
  EXPECT_NE(inode(), before);
}

namespace {

TSaveStage FaultStage;
bool FaultDies = false;

void Fault(TSaveStage stage) {
  if (stage != FaultStage) return;
  if (FaultDies) ::_exit(7);
  throw std::runtime_error("fault injected");
}

int Temporaries(const fs::path& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir))
    n += e.path().filename().string().find(".tmp-") != std::string::npos;
  return n;
}

}  // namespace

TEST_F(SfsTest, ASaveThatFailsOrDiesAtAnyStageLeavesTheOldOrTheNewContainer) {
  const TSaveStage stages[] = {TSaveStage::TemporaryCreated, TSaveStage::HalfWritten, TSaveStage::BeforeRename,
                               TSaveStage::AfterRename};
  const std::string changed(5000, 'n');
  for (bool dies : {false, true}) {
    for (TSaveStage stage : stages) {
      SCOPED_TRACE(std::to_string(static_cast<int>(stage)) + (dies ? " dies" : " fails"));
      const std::string file = MakeSample("fault.settings");
      const std::string old = Bytes(file);
      FaultStage = stage;
      FaultDies = dies;
      auto save = [&] {
        TSingleFileSystem fs;
        fs.Open(file, Password, TSFSOpenMode::Exclusive);
        fs.WriteFile("\\Settings\\FileTypes\\1.filetype.txt", changed);
        SetSaveFaultHook(Fault);
        try {
          fs.Flush();
        } catch (...) {
          SetSaveFaultHook(nullptr);
          fs.Abandon();
          throw;
        }
        SetSaveFaultHook(nullptr);
      };
      if (dies) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
          try {
            save();
          } catch (...) {
          }
          ::_exit(3);  // the save ran through: the hook was never reached
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 7);
      } else {
        EXPECT_THROW(save(), std::runtime_error);
        EXPECT_EQ(Temporaries(dir_), 0);  // a failed save cleans up at once
      }
      const bool renamed = stage == TSaveStage::AfterRename;
      if (renamed) {
        EXPECT_NE(Bytes(file), old);
      } else {
        EXPECT_EQ(Bytes(file), old);
      }
      // The next holder finds a whole container and no temporary file.
      TSingleFileSystem next;
      ASSERT_NO_THROW(next.Open(file, Password, TSFSOpenMode::Exclusive));
      EXPECT_EQ(next.ReadFile("\\Settings\\FileTypes\\1.filetype.txt"), renamed ? changed : "one");
      EXPECT_EQ(next.ReadFile("\\Settings\\FileTypes\\2.filetype.txt"), "two");
      EXPECT_EQ(Temporaries(dir_), 0);
      next.Close();
      fs::remove(file);
    }
  }
}

TEST_F(SfsTest, OnlyRegularFilesAreRead) {
  // A folder, a FIFO and a device are refused before anything is read:
  // reading a FIFO would wait forever, /dev/zero never ends.
  fs::create_directories(Path("folder.settings"));
  ASSERT_EQ(::mkfifo(Path("fifo.settings").c_str(), 0600), 0);
  for (const std::string& name : {Path("folder.settings"), Path("fifo.settings"), std::string("/dev/zero")}) {
    for (TSFSOpenMode mode : {TSFSOpenMode::ReadOnly, TSFSOpenMode::Exclusive}) {
      EXPECT_EQ(OpenError(name, Password, mode), TSFSErrorKind::NotAFile) << name << ": " << last_error_;
      EXPECT_NE(last_error_.find(name), std::string::npos) << last_error_;
    }
    TSingleFileSystem fs;
    EXPECT_THROW(fs.Create(name, Password), TSFSError) << name;
  }
  EXPECT_TRUE(fs::is_directory(Path("folder.settings")));
  EXPECT_TRUE(fs::is_fifo(Path("fifo.settings")));
}

TEST_F(SfsTest, SymbolicLinksAreFollowedAndKept) {
  const std::string real = MakeSample("real.settings");
  const std::string link = Path("link.settings");
  fs::create_symlink(real, link);
  {
    TSingleFileSystem fs;
    fs.Open(link, Password, TSFSOpenMode::Exclusive);
    fs.WriteFile("\\Settings\\FileTypes\\1.filetype.txt", "through the link");
    fs.Close();
  }
  EXPECT_TRUE(fs::is_symlink(link));
  TSingleFileSystem check;
  check.Open(real, Password, TSFSOpenMode::ReadOnly);
  EXPECT_EQ(check.ReadFile("\\Settings\\FileTypes\\1.filetype.txt"), "through the link");
  check.Close();
  EXPECT_EQ(Temporaries(dir_), 0);

  // Links that point nowhere or loop are told, and left as they are.
  fs::create_symlink(Path("gone.settings"), Path("dangling.settings"));
  fs::create_symlink(Path("loop-a.settings"), Path("loop-b.settings"));
  fs::create_symlink(Path("loop-b.settings"), Path("loop-a.settings"));
  for (const std::string& name : {Path("dangling.settings"), Path("loop-a.settings")}) {
    EXPECT_EQ(OpenError(name), TSFSErrorKind::BrokenLink) << name << ": " << last_error_;
    TSingleFileSystem fs;
    try {
      fs.Create(name, Password);
      ADD_FAILURE() << "created through " << name;
    } catch (const TSFSError& e) {
      EXPECT_EQ(e.Kind, TSFSErrorKind::BrokenLink);
    }
    EXPECT_TRUE(fs::is_symlink(name));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(Path("gone.settings"))));
}

TEST_F(SfsTest, SavesKeepTheModeAndRefuseAReadOnlyContainer) {
  const std::string file = MakeSample();
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  {
    TSingleFileSystem fs;
    fs.Open(file, Password, TSFSOpenMode::Exclusive);
    fs.WriteFile("\\Settings\\setings.txt", "new");
    fs.Close();
  }
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  // Made read-only by the user: not opened for writing, and a holder that
  // opened it before never overwrites it.
  TSingleFileSystem holder;
  holder.Open(file, Password, TSFSOpenMode::Exclusive);
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
  const std::string before = Bytes(file);
  holder.WriteFile("\\Settings\\setings.txt", "newer");
  try {
    holder.Flush();
    ADD_FAILURE() << "saved into a read-only container";
  } catch (const TSFSError& e) {
    EXPECT_EQ(e.Kind, TSFSErrorKind::NotWritable);
    EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
  }
  holder.Abandon();
  EXPECT_EQ(Bytes(file), before);
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(OpenError(file), TSFSErrorKind::ReadOnlyFile) << last_error_;
  EXPECT_EQ(OpenError(file, Password, TSFSOpenMode::ReadOnly), TSFSErrorKind::Io);  // opens: no error
  EXPECT_TRUE(last_error_.empty()) << last_error_;
}

TEST_F(SfsTest, SizesAreCappedBeforeAnythingLarge) {
  // A file larger than any container is refused without reading it whole.
  {
    std::ofstream(Path("huge.settings"));
    fs::resize_file(Path("huge.settings"), static_cast<uintmax_t>(MaxContainerSize) + 1);
  }
  EXPECT_EQ(OpenError(Path("huge.settings")), TSFSErrorKind::Damaged);
  EXPECT_NE(last_error_.find("too large"), std::string::npos) << last_error_;
  // An entry that unpacks to more than any settings need: a small archive
  // of zeros.
  {
    int err = 0;
    zip_t* z = zip_open(Path("bomb.settings").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(z, nullptr);
    static const std::string zeros(static_cast<size_t>(MaxEntrySize) + 1, '\0');
    const zip_int64_t i =
        zip_file_add(z, "Settings/setings.txt", zip_source_buffer(z, zeros.data(), zeros.size(), 0), 0);
    zip_file_set_encryption(z, static_cast<zip_uint64_t>(i), ZIP_EM_AES_256, Password.c_str());
    ASSERT_EQ(zip_close(z), 0);
  }
  EXPECT_LT(fs::file_size(Path("bomb.settings")), 1024u * 1024u);
  EXPECT_EQ(OpenError(Path("bomb.settings")), TSFSErrorKind::Damaged);
  EXPECT_NE(last_error_.find("more than any settings need"), std::string::npos) << last_error_;
}
