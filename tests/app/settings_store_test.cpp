// The settings store at start-up, at the end and in between, with files a
// user would never want harmed: folders, links, read-only containers,
// crafted archives, and the shared temporary folder.
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <QSettings>
#include <algorithm>
#include <filesystem>

#include "app/qrmt_proc.h"
#include "app_fixture.h"
#include "core/qrmt_const.h"

using namespace qrmt;
using namespace qrmt::test;
namespace fs = std::filesystem;

namespace {

class StoreTest : public AppTest {
 protected:
  std::string DefaultContainer() const { return Program("default.settings"); }

  void UseDatafile(const std::string& file) {
    QSettings ini(QString::fromStdString(Program("quorimeter.ini")), QSettings::IniFormat);
    ini.setValue("Settings/datafile", QString::fromStdString(file));
  }

  // A container holding the defaults with one option changed.
  void MakeContainer(const std::string& file, int mfLeft) {
    TSettings s = DefaultSettings();
    s.Application.mfLeft.Value = mfLeft;
    TFileTypeList types;
    LoadDefaultFileTypes(types);
    TSingleFileSystem store;
    store.Create(file, ContainerPassword());
    WriteSettingsStore(store, s, types);
    store.Close();
  }

  int StoredLeft(const std::string& file) {
    TSingleFileSystem store;
    store.Open(file, ContainerPassword(), TSFSOpenMode::ReadOnly);
    TSettings s;
    TFileTypeList types;
    ReadSettingsStore(store, s, types);
    return s.Application.mfLeft.Value;
  }

  // A container with the given folder entries and format texts, 1, 2, ...
  void MakeFormats(const std::string& file, const std::vector<std::string>& folders,
                   const std::vector<std::string>& texts) {
    TSingleFileSystem store;
    store.Create(file, ContainerPassword());
    store.CreateFolder(FileTypesFolderPath);
    for (const auto& f : folders) store.CreateFolder(FileTypesFolderPath + f + "\\");
    for (size_t i = 0; i < texts.size(); ++i)
      store.WriteFile(FileTypesFolderPath + std::to_string(i + 1) + ".filetype.txt", texts[i]);
    store.Close();
  }

  std::vector<std::string> Listing(const std::string& dir) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace

TEST_F(StoreTest, WhatIsNoRegularFileIsLeftWhereItIs) {
  // A hand-edited datafile naming a folder, a FIFO or a device: told, left
  // exactly as it is, defaults used, nothing saved over it.
  const std::string project = Root("project");
  Write("project/keep.txt", "the user's work");
  const std::string fifo = Root("pipe.settings");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& datafile : {project, fifo, std::string("/dev/null")}) {
    SCOPED_TRACE(datafile);
    Dialogs.Shown.clear();
    UseDatafile(datafile);
    const auto before = Listing(Root(""));
    {
      TqrmtGlobal g;
      ASSERT_EQ(Dialogs.Shown.size(), 1u);
      EXPECT_NE(Dialogs.Shown[0].Text.find(datafile), std::string::npos) << Dialogs.Shown[0].Text;
      EXPECT_NE(Dialogs.Shown[0].Text.find("will not save"), std::string::npos) << Dialogs.Shown[0].Text;
      EXPECT_EQ(g.Settings, DefaultSettings());
      EXPECT_EQ(g.FileTypes.Count(), 41);
      EXPECT_TRUE(g.SettingsReadOnly());
      g.Settings.Application.mfLeft.Value = 3;
    }
    EXPECT_EQ(Listing(Root("")), before);
    EXPECT_EQ(Read(project + "/keep.txt"), "the user's work");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
  }
}

TEST_F(StoreTest, ALinkIsFollowedAndStaysALink) {
  const std::string real = Root("elsewhere/real.settings");
  fs::create_directories(Root("elsewhere"));
  MakeContainer(real, 11);
  fs::create_symlink(real, DefaultContainer());
  {
    TqrmtGlobal g;
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(g.Settings.Application.mfLeft.Value, 11);
    g.Settings.Application.mfLeft.Value = 12;
  }
  EXPECT_TRUE(fs::is_symlink(DefaultContainer()));
  EXPECT_EQ(StoredLeft(real), 12);
  EXPECT_EQ(Listing(Root("elsewhere")), std::vector<std::string>{"real.settings"});
}

TEST_F(StoreTest, ALinkThatPointsNowhereIsToldNotReplaced) {
  fs::create_symlink(Root("gone.settings"), DefaultContainer());
  {
    TqrmtGlobal g;
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_NE(Dialogs.Shown[0].Text.find("points nowhere"), std::string::npos) << Dialogs.Shown[0].Text;
    EXPECT_EQ(g.FileTypes.Count(), 41);
  }
  EXPECT_TRUE(fs::is_symlink(DefaultContainer()));
  EXPECT_FALSE(fs::exists(Root("gone.settings")));
}

TEST_F(StoreTest, AReadOnlyContainerIsReadAndNeverWritten) {
  MakeContainer(DefaultContainer(), 21);
  fs::permissions(DefaultContainer(), fs::perms::owner_read | fs::perms::group_read);
  const std::string before = Read(DefaultContainer());
  registry::WriteInteger("autoupdate", 0);
  {
    TqrmtGlobal g;
    ASSERT_EQ(Dialogs.Shown.size(), 1u);  // told once
    EXPECT_NE(Dialogs.Shown[0].Text.find("read-only"), std::string::npos) << Dialogs.Shown[0].Text;
    EXPECT_NE(Dialogs.Shown[0].Text.find("Save Settings As"), std::string::npos);
    EXPECT_EQ(g.Settings.Application.mfLeft.Value, 21);
    EXPECT_FALSE(g.Settings.Application.appAutoUpdate.Value);
    g.Settings.Application.mfLeft.Value = 22;
    ASSERT_TRUE(g.CountFiles(TCountQueue()));  // a count saves: nothing happens
    // Save Settings As keeps what is in memory.
    g.SaveSettingsAs(Program("copy.settings"));
  }
  EXPECT_EQ(Dialogs.Shown.size(), 1u);
  EXPECT_EQ(Read(DefaultContainer()), before);
  EXPECT_EQ(fs::status(DefaultContainer()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(StoredLeft(Program("copy.settings")), 22);
  // A copy that did not save its container left the preset for the next.
  EXPECT_TRUE(registry::Exists("autoupdate"));
}

TEST_F(StoreTest, ErrorsThatAreNoDamageNeverMoveAContainerAside) {
  // A container whose entry cannot be read by this libzip: valid perhaps,
  // but not readable here. It must stay where it is, untouched.
  MakeContainer(DefaultContainer(), 31);
  std::string bytes = Read(DefaultContainer());
  // The AES extra field (0x9901) holds the real compression method: make it
  // one libzip does not implement (implode, 6) in every header.
  size_t patched = 0;
  for (size_t p = bytes.find("\x01\x99\x07\x00", 0, 4); p != std::string::npos;
       p = bytes.find("\x01\x99\x07\x00", p + 1, 4)) {
    bytes[p + 9] = 6;
    bytes[p + 10] = 0;
    ++patched;
  }
  ASSERT_GT(patched, 0u);
  Write("program/default.settings", bytes);
  {
    TqrmtGlobal g;
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_NE(Dialogs.Shown[0].Text.find("not moved"), std::string::npos) << Dialogs.Shown[0].Text;
    EXPECT_TRUE(g.SettingsReadOnly());
    g.Settings.Application.mfLeft.Value = 32;
  }
  EXPECT_EQ(Read(DefaultContainer()), bytes);
  EXPECT_EQ(Listing(Program()), (std::vector<std::string>{"default.settings", "quorimeter.ini"}));
}

TEST_F(StoreTest, AnOversizedEntryIsDamageAndTheFileIsKeptAside) {
  {
    int err = 0;
    zip_t* z = zip_open(DefaultContainer().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(z, nullptr);
    static const std::string zeros(static_cast<size_t>(MaxEntrySize) + 1, 'z');
    const zip_int64_t i =
        zip_file_add(z, "Settings/setings.txt", zip_source_buffer(z, zeros.data(), zeros.size(), 0), 0);
    zip_file_set_encryption(z, static_cast<zip_uint64_t>(i), ZIP_EM_AES_256, ContainerPassword().c_str());
    ASSERT_EQ(zip_close(z), 0);
  }
  const std::string bytes = Read(DefaultContainer());
  {
    TqrmtGlobal g;
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_NE(Dialogs.Shown[0].Text.find("more than any settings need"), std::string::npos) << Dialogs.Shown[0].Text;
    EXPECT_FALSE(g.SettingsReadOnly());
  }
  std::string kept;
  for (const auto& name : Listing(Program()))
    if (name.rfind("default.settings.unreadable-", 0) == 0) kept = Program(name);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(Read(kept), bytes);
}

TEST_F(StoreTest, OnlyNamesThatLoadAreListed) {
  MakeContainer(Program("Work.settings"), 1);
  MakeContainer(Program("Home.SETTINGS"), 2);
  fs::create_directories(Program("folder.settings"));
  TqrmtGlobal g;
  auto names = g.ListSettingsNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Work", "default"}));
  for (const auto& n : names) EXPECT_NO_THROW(g.LoadNamedSettings(n)) << n;
}

TEST_F(StoreTest, FoldersNamedLikeFormatsArePassedOver) {
  TFileTypeList types;
  LoadDefaultFileTypes(types);
  MakeFormats(DefaultContainer(), {"0.filetype.txt"}, {types[0].WriteToText(), types[1].WriteToText()});
  TqrmtGlobal g;
  ASSERT_EQ(g.FileTypes.Count(), 2);
  EXPECT_EQ(g.FileTypes[0].Title, types[0].Title);
  EXPECT_EQ(g.FileTypes[1].Title, types[1].Title);

  // A container holding such a folder alone has no formats: the defaults.
  MakeFormats(Program("only.settings"), {"1.filetype.txt"}, {});
  g.LoadNamedSettings("only");
  EXPECT_EQ(g.FileTypes.Count(), 41);
}

TEST_F(StoreTest, OverlongDefinitionTextsAreRefusedAndTold) {
  TFileTypeList types;
  LoadDefaultFileTypes(types);
  std::string malformed = "<filetype title=\"Big\"><extensions>";
  while (malformed.size() < MaxDefinitionTextSize) malformed += "extension";
  MakeFormats(DefaultContainer(), {}, {types[6].WriteToText(), malformed});
  TqrmtGlobal g;
  ASSERT_EQ(g.FileTypes.Count(), 1);
  EXPECT_EQ(g.FileTypes[0].Title, "C");
  ASSERT_EQ(Dialogs.Shown.size(), 1u);
  EXPECT_NE(Dialogs.Shown[0].Text.find("1 file format"), std::string::npos) << Dialogs.Shown[0].Text;
}

TEST_F(StoreTest, ASlowStartTellsWhy) {
  TqrmtGlobal::SlowStartSeconds = 0;  // every start is slow now
  MakeContainer(DefaultContainer(), 0);
  {
    TqrmtGlobal g;
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_NE(Dialogs.Shown[0].Text.find(DefaultContainer()), std::string::npos);
    EXPECT_NE(Dialogs.Shown[0].Text.find("41 file formats"), std::string::npos) << Dialogs.Shown[0].Text;
  }
}

TEST_F(StoreTest, TheTemporaryFolderIsThisUsersAlone) {
  // Another local user planted a link at the folder's name, pointing at the
  // victim's files: they are never emptied, and the program uses a folder
  // of its own.
  const std::string victim = Root("victim");
  Write("victim/precious.txt", "keep me");
  const std::string planted = Root("tmp") + "/ksqrmt-" + std::to_string(::getuid());
  fs::create_directory_symlink(victim, planted);
  std::string temp;
  {
    TqrmtGlobal g;
    temp = g.TempFolder;
    ASSERT_FALSE(temp.empty());
    EXPECT_NE(temp, planted + "/");
    EXPECT_FALSE(fs::is_symlink(temp.substr(0, temp.size() - 1)));
    EXPECT_EQ(fs::status(temp).permissions() & fs::perms::all, fs::perms::owner_all);
    ASSERT_FALSE(CreateTempFileIn(temp).empty());
    // A link inside is removed as a link, never followed.
    fs::create_directory_symlink(victim, temp + "inner");
  }
  EXPECT_EQ(Read(victim + "/precious.txt"), "keep me");
  EXPECT_TRUE(fs::is_symlink(planted));
  EXPECT_TRUE(fs::is_empty(temp));
  // Emptying a link in place of the folder is refused.
  EXPECT_FALSE(ClearFolder(planted + "/"));
  EXPECT_EQ(Read(victim + "/precious.txt"), "keep me");
}

TEST_F(StoreTest, SettingsThatCannotBeSavedAtTheEndGoElsewhere) {
  MakeContainer(DefaultContainer(), 1);
  const std::string before = Read(DefaultContainer());
  {
    TqrmtGlobal g;
    g.Settings.Application.mfLeft.Value = 77;
    // Made read-only while the program runs.
    fs::permissions(DefaultContainer(), fs::perms::owner_read);
  }
  EXPECT_EQ(Read(DefaultContainer()), before);  // never half-written
  ASSERT_EQ(Dialogs.Shown.size(), 1u);
  const std::string& text = Dialogs.Shown[0].Text;
  EXPECT_NE(text.find(DefaultContainer()), std::string::npos) << text;
  EXPECT_NE(text.find("read-only"), std::string::npos) << text;
  std::string rescued;
  for (const auto& name : Listing(Program()))
    if (name.rfind("recovered-", 0) == 0) rescued = Program(name);
  ASSERT_FALSE(rescued.empty());
  EXPECT_NE(text.find(rescued), std::string::npos) << text;
  EXPECT_EQ(StoredLeft(rescued), 77);
}
