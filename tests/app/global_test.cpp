#include <QDir>
#include <QSettings>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/qrmt_messages.h"
#include "app/qrmt_proc.h"
#include "app_fixture.h"
#include "common/test_formats.h"

using namespace qrmt;
using namespace qrmt::test;
namespace fs = std::filesystem;

namespace {

class GlobalTest : public AppTest {
 protected:
  // Reads a container as the program stores it.
  void ReadContainer(const std::string& file, TSettings& settings, TFileTypeList& types) {
    TSingleFileSystem store;
    store.Open(file, ContainerPassword(), TSFSOpenMode::ReadOnly);
    ReadSettingsStore(store, settings, types);
  }
  std::string DefaultContainer() const { return Program("default.settings"); }
};

}  // namespace

TEST_F(GlobalTest, StartAndEndOfTheProgram) {
  auto g = std::make_unique<TqrmtGlobal>();
  EXPECT_EQ(Global, g.get());
  EXPECT_EQ(g->Title, "Kestrune Quorimeter");
  EXPECT_EQ(g->VersionText, "Version 1.1.12.30");
  EXPECT_EQ(g->VersionNumber, "1.1.12.30");
  EXPECT_EQ(g->ShortVersion, " 1.1");
  EXPECT_EQ(g->ProgramFolder, Program());
  const std::string temp = Root("tmp") + "/ksqrmt-" + std::to_string(::getuid()) + "/";
  EXPECT_EQ(g->TempFolder, temp);
  EXPECT_TRUE(fs::is_directory(temp));
  EXPECT_EQ(fs::status(temp).permissions() & fs::perms::all, fs::perms::owner_all);  // this user's alone
  EXPECT_EQ(g->SettingsFile, DefaultContainer());
  EXPECT_EQ(g->Settings, DefaultSettings());
  EXPECT_EQ(g->FileTypes.Count(), 41);
  EXPECT_TRUE(fs::exists(DefaultContainer()));
  EXPECT_EQ(registry::ReadInteger("DebugLog"), 1);
  EXPECT_FALSE(fs::exists(Program("error.log")));  // the first log call only switched it on
  EXPECT_TRUE(Dialogs.Shown.empty());

  ASSERT_FALSE(CreateTempFileIn(g->TempFolder).empty());
  g->Settings.Report.ShowPath.Value = false;
  g.reset();
  EXPECT_EQ(Global, nullptr);
  EXPECT_TRUE(fs::exists(temp));
  EXPECT_TRUE(fs::is_empty(temp));
  QSettings ini(QString::fromStdString(Program("quorimeter.ini")), QSettings::IniFormat);
  EXPECT_EQ(ini.value("Settings/datafile").toString().toStdString(), DefaultContainer());

  TSettings s;
  TFileTypeList types;
  ReadContainer(DefaultContainer(), s, types);
  EXPECT_FALSE(s.Report.ShowPath.Value);
  EXPECT_EQ(types.Count(), 41);

  // The second start logs its start line.
  g = std::make_unique<TqrmtGlobal>();
  EXPECT_EQ(Read(Program("error.log")), "Kestrune Quorimeter start ... ok\r\n");
}

TEST_F(GlobalTest, OptionsAndFormatsSurviveARestart) {
  {
    TqrmtGlobal g;
    g.Settings.FileSelection.currentFolder.Value = "/home/user/src/";
    g.Settings.ExportReport.FormatIndex.Value = 6;
    g.FileTypes.Remove(FindTitle(g.FileTypes, "COBOL"));
    TFileType* mine = g.FileTypes.Add();
    mine->Title = "aaa Mine";
    mine->Enabled = true;
    mine->Extensions.Add()->Value = "*.mine";
  }
  TqrmtGlobal g;
  EXPECT_EQ(g.Settings.FileSelection.currentFolder.Value, "/home/user/src/");
  EXPECT_EQ(g.Settings.ExportReport.FormatIndex.Value, 6);
  EXPECT_EQ(g.FileTypes.Count(), 41);
  EXPECT_EQ(FindTitle(g.FileTypes, "COBOL"), nullptr);
  EXPECT_EQ(g.FileTypes[0].Title, "aaa Mine");  // sorted again on load
  EXPECT_EQ(g.FindCommentList(".mine"), &g.FileTypes[0].Comments);
}

TEST_F(GlobalTest, AnEmptyFormatListComesBackAsTheDefaults) {
  {
    TqrmtGlobal g;
    g.FileTypes.Clear();
  }
  TqrmtGlobal g;
  EXPECT_EQ(g.FileTypes.Count(), 41);
}

TEST_F(GlobalTest, AutoupdatePresetActsOnce) {
  registry::WriteInteger("autoupdate", 0);
  {
    TqrmtGlobal g;
    EXPECT_FALSE(g.Settings.Application.appAutoUpdate.Value);
    EXPECT_FALSE(registry::Exists("autoupdate"));
  }
  TqrmtGlobal g;
  EXPECT_FALSE(g.Settings.Application.appAutoUpdate.Value);  // now from the settings text
}

TEST_F(GlobalTest, AContainerThatCannotBeOpenedIsKeptAside) {
  // Another password, damaged, and not a container at all.
  std::string otherPassword;
  {
    TSingleFileSystem other;
    other.Create(Root("other.settings"), "zzzzzz");
    other.CreateFolder("\\Settings\\");
    other.WriteFile("\\Settings\\setings.txt", "x");
    other.Close();
    otherPassword = Read(Root("other.settings"));
  }
  const std::string cases[] = {otherPassword, otherPassword.substr(0, otherPassword.size() / 2),
                               "plain text, no container"};
  for (const std::string& bytes : cases) {
    fs::remove_all(Program());
    fs::create_directories(Program());
    Dialogs.Shown.clear();
    Write("program/default.settings", bytes);
    {
      TqrmtGlobal g;
      EXPECT_EQ(g.Settings, DefaultSettings());
      EXPECT_EQ(g.FileTypes.Count(), 41);
      ASSERT_EQ(Dialogs.Shown.size(), 1u);
      const std::string& text = Dialogs.Shown[0].Text;
      EXPECT_NE(text.find(DefaultContainer()), std::string::npos) << text;
      std::string kept;
      for (const auto& e : fs::directory_iterator(Program()))
        if (e.path().filename().string().rfind("default.settings.unreadable-", 0) == 0) kept = e.path().string();
      ASSERT_FALSE(kept.empty());
      EXPECT_NE(text.find(kept), std::string::npos) << text;
      EXPECT_EQ(Read(kept), bytes);  // untouched
      EXPECT_FALSE(g.SettingsReadOnly());
      g.Settings.Application.mfLeft.Value = 5;
    }
    TSettings s;
    TFileTypeList types;
    ReadContainer(DefaultContainer(), s, types);
    EXPECT_EQ(s.Application.mfLeft.Value, 5);
  }
}

TEST_F(GlobalTest, AContainerHeldByAnotherCopyIsNeverWritten) {
  {
    TqrmtGlobal first;
    first.Settings.Application.mfTop.Value = 42;
  }
  TSingleFileSystem otherCopy;
  otherCopy.Open(DefaultContainer(), ContainerPassword(), TSFSOpenMode::Exclusive);
  const std::string before = Read(DefaultContainer());
  {
    TqrmtGlobal g;
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_NE(Dialogs.Shown[0].Text.find("another running copy"), std::string::npos);
    EXPECT_NE(Dialogs.Shown[0].Text.find(DefaultContainer()), std::string::npos);
    EXPECT_TRUE(g.SettingsReadOnly());
    EXPECT_EQ(g.Settings.Application.mfTop.Value, 42);  // what it could read
    g.Settings.Application.mfTop.Value = 7;
    g.SaveSettings();
  }
  EXPECT_EQ(Read(DefaultContainer()), before);
}

TEST_F(GlobalTest, SwitchingContainers) {
  std::vector<std::string> log;
  TRecorder selection("selection", log), settings("settings", log), report("report", log);
  TqrmtGlobal g;
  g.SelectionWindow = selection.Handle;
  g.SettingsWindow = settings.Handle;
  g.ReportWindow = report.Handle;

  g.Settings.Application.mfLeft.Value = 1;
  g.SaveSettingsAs(Program("other.settings"));
  EXPECT_EQ(g.SettingsFile, Program("other.settings"));
  EXPECT_TRUE(log.empty());  // nothing the views show has changed
  std::vector<std::string> names = g.ListSettingsNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"default", "other"}));

  g.Settings.Application.mfLeft.Value = 2;
  g.LoadNamedSettings("default");
  EXPECT_EQ(g.SettingsFile, DefaultContainer());
  EXPECT_EQ(g.Settings.Application.mfLeft.Value, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"selection 1028 0 0", "settings 1028 0 0", "report 1028 0 0"}));
  g.LoadNamedSettings("other");
  EXPECT_EQ(g.Settings.Application.mfLeft.Value, 2);  // saved there before the switch
  g.LoadNamedSettings("other");                       // the one in use: saved, reopened, read back
  EXPECT_EQ(g.Settings.Application.mfLeft.Value, 2);
  EXPECT_EQ(log.size(), 9u);
}

TEST_F(GlobalTest, AFailedSwitchKeepsThePreviousContainer) {
  TqrmtGlobal g;
  Write("program/broken.settings", "not a container");
  struct Case {
    std::function<void()> act;
    std::string named;
  } cases[] = {
      {[&] { g.LoadNamedSettings("missing"); }, Program("missing.settings")},
      {[&] { g.LoadNamedSettings("broken"); }, Program("broken.settings")},
      {[&] { g.SaveSettingsAs(Root("no/such/folder/x.settings")); }, Root("no/such/folder/x.settings")},
  };
  for (const auto& c : cases) {
    try {
      c.act();
      ADD_FAILURE() << "no error for " << c.named;
    } catch (const TSFSError& e) {
      const std::string text = e.what();
      EXPECT_NE(text.find(c.named), std::string::npos) << text;
      EXPECT_NE(text.find(DefaultContainer()), std::string::npos) << text;
    }
    EXPECT_EQ(g.SettingsFile, DefaultContainer());
    EXPECT_FALSE(g.SettingsReadOnly());
  }
  EXPECT_EQ(Read(Program("broken.settings")), "not a container");
  g.Settings.Application.mfHeight.Value = 99;
  g.SaveSettings();
  TSettings s;
  TFileTypeList types;
  ReadContainer(DefaultContainer(), s, types);
  EXPECT_EQ(s.Application.mfHeight.Value, 99);
}

TEST_F(GlobalTest, RestoringTheDefaultsWritesNothingYet) {
  std::vector<std::string> log;
  TRecorder report("report", log);
  TqrmtGlobal g;
  g.ReportWindow = report.Handle;  // the other views were never shown
  g.Settings.Report.ShowPath.Value = false;
  g.FileTypes.Clear();
  g.SaveSettings();
  const std::string saved = Read(DefaultContainer());
  g.RestoreDefaultSettings();
  EXPECT_EQ(g.Settings, DefaultSettings());
  EXPECT_EQ(g.FileTypes.Count(), 41);
  EXPECT_EQ(g.FileTypes[0].Title, "ADA");
  EXPECT_EQ(log, (std::vector<std::string>{"report 1028 0 0"}));
  EXPECT_EQ(Read(DefaultContainer()), saved);
}

TEST_F(GlobalTest, AnotherDatafileInTheIniIsUsedAndKept) {
  const std::string elsewhere = Root("elsewhere/mine.settings");
  fs::create_directories(Root("elsewhere"));
  {
    QSettings ini(QString::fromStdString(Program("quorimeter.ini")), QSettings::IniFormat);
    ini.setValue("Settings/datafile", QString::fromStdString(elsewhere));
  }
  { TqrmtGlobal g; }
  EXPECT_TRUE(fs::exists(elsewhere));
  EXPECT_FALSE(fs::exists(DefaultContainer()));
  QSettings ini(QString::fromStdString(Program("quorimeter.ini")), QSettings::IniFormat);
  EXPECT_EQ(ini.value("Settings/datafile").toString().toStdString(), elsewhere);
}

// --- the count run -------------------------------------------------------------

namespace {

class CountRunTest : public GlobalTest {
 protected:
  void SetUp() override {
    GlobalTest::SetUp();
    g = std::make_unique<TqrmtGlobal>();
    g->EventSliceMs = 0;
    g->MainWindow = main.Handle;
    g->SelectionWindow = selection.Handle;
    g->ReportWindow = report.Handle;
    g->ReportSwitches = &switches;
    report.OnMessage = [this](unsigned code, uintptr_t, intptr_t lParam) {
      if (code == UM_ADD_RESULT) {
        const TCountResult& r = g->CountResults.at(static_cast<size_t>(lParam));
        rows.push_back(r.FileName + ":" + std::to_string(r.Nominal));
        if (OnRow) OnRow();
      }
    };
  }
  void TearDown() override {
    g.reset();
    GlobalTest::TearDown();
  }

  TCountQueue Files(int n) {
    TCountQueue q;
    for (int i = 0; i < n; ++i) {
      const std::string name = "f" + std::to_string(i) + ".c";
      Write("data/" + name, std::string(static_cast<size_t>(i + 1), '\n'));
      TCountQueueItem* item = q.Add();
      item->Path = Root("data") + "/";
      item->FileName = name;
      item->SizeText = "x kB";
    }
    return q;
  }

  // The messages of the run, without those of the report rows' receivers.
  std::vector<std::string> Log() const { return log; }

  struct TSwitches : TReportSwitches {
    explicit TSwitches(std::vector<std::string>* l) : log(l) {}
    std::vector<std::string>* log;
    void SetTotalsActive(bool on) override { log->push_back(std::string("totals ") + (on ? "on" : "off")); }
    void SetRowRepaint(bool on) override { log->push_back(std::string("repaint ") + (on ? "on" : "off")); }
  };

  std::vector<std::string> log;
  TRecorder main{"main", log}, selection{"selection", log}, report{"report", log};
  TSwitches switches{&log};
  std::unique_ptr<TqrmtGlobal> g;
  std::vector<std::string> rows;
  std::function<void()> OnRow;
};

}  // namespace

TEST_F(CountRunTest, FullRunWithClearBeforeCount) {
  ASSERT_TRUE(g->CountFiles(Files(3)));
  EXPECT_EQ(Log(), (std::vector<std::string>{"report 1026 0 0", "main 1031 1 0", "totals off", "repaint off",
                                             "report 1025 0 0", "main 1031 1 33", "report 1025 0 0", "main 1031 1 66",
                                             "report 1025 0 0", "main 1031 1 100", "report 1042 0 0",
                                             "selection 1027 0 0", "totals on", "repaint on", "main 1031 0 0"}));
  EXPECT_EQ(rows, (std::vector<std::string>{"f0.c:1", "f1.c:2", "f2.c:3"}));
  EXPECT_EQ(g->CountResults.size(), 1u);
  EXPECT_EQ(g->Queue.Count(), 3);
  EXPECT_EQ(g->Queue[1].SizeText, "x kB");
  EXPECT_EQ(g->Queue[1].Size, 0);
}

TEST_F(CountRunTest, ResultsBufferWithoutClearBeforeCount) {
  g->Settings.Report.ClearBeforeCount.Value = false;
  ASSERT_TRUE(g->CountFiles(Files(2)));
  EXPECT_EQ(g->CountResults.size(), 1u);
  log.clear();
  ASSERT_TRUE(g->CountFiles(Files(3)));
  std::vector<std::string> added;
  for (const auto& l : log)
    if (l.rfind("report 1025", 0) == 0) added.push_back(l);
  EXPECT_EQ(added, (std::vector<std::string>{"report 1025 0 1", "report 1025 0 0", "report 1025 0 0"}));
  EXPECT_EQ(g->CountResults.size(), 2u);
  EXPECT_EQ(std::count(log.begin(), log.end(), "report 1026 0 0"), 0);
  // A single file: its row's index is the length the buffer had.
  log.clear();
  ASSERT_TRUE(g->CountFiles(Files(1)));
  EXPECT_EQ(log[0], "main 1031 1 0");
  EXPECT_NE(std::find(log.begin(), log.end(), "report 1025 0 2"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "main 1031 1 100"), log.end());
}

TEST_F(CountRunTest, SevenFilesPercentages) {
  ASSERT_TRUE(g->CountFiles(Files(7)));
  std::vector<std::string> progress;
  for (const auto& l : log)
    if (l.rfind("main 1031 1 ", 0) == 0) progress.push_back(l.substr(12));
  EXPECT_EQ(progress, (std::vector<std::string>{"0", "14", "28", "42", "57", "71", "85", "100"}));
}

TEST_F(CountRunTest, AbortWhileTheSecondOfFiveIsCounted) {
  // The key pressed while the second file is counted is seen in the first
  // round of events after its row.
  OnPump = [&] {
    if (rows.size() == 2 && !g->Aborted) g->AbortCount();
  };
  ASSERT_TRUE(g->CountFiles(Files(5)));
  EXPECT_EQ(rows, (std::vector<std::string>{"f0.c:1", "f1.c:2"}));
  const std::vector<std::string> tail(log.end() - 9, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"report 1025 0 0", "main 1031 1 40", "selection 1030 0 0",
                                            "report 1030 0 0", "report 1042 0 0", "selection 1027 0 0", "totals on",
                                            "repaint on", "main 1031 0 0"}));
  EXPECT_TRUE(g->Aborted);  // kept until the next run starts
  rows.clear();
  OnPump = nullptr;
  ASSERT_TRUE(g->CountFiles(Files(2)));
  EXPECT_EQ(rows.size(), 2u);
  EXPECT_FALSE(g->Aborted);
}

TEST_F(CountRunTest, AnErrorThatEscapesTheLoop) {
  OnRow = [&] {
    if (rows.size() == 2) throw std::runtime_error("boom");
  };
  EXPECT_THROW(g->CountFiles(Files(4)), std::runtime_error);
  EXPECT_EQ(rows.size(), 2u);
  EXPECT_EQ(std::count(log.begin(), log.end(), "report 1042 0 0"), 0);
  EXPECT_EQ(std::count(log.begin(), log.end(), "selection 1027 0 0"), 0);
  const std::vector<std::string> tail(log.end() - 3, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"totals on", "repaint on", "main 1031 0 0"}));
  EXPECT_FALSE(g->CountRunning());
  OnRow = nullptr;
  EXPECT_TRUE(g->CountFiles(Files(1)));  // the next run works
}

TEST_F(CountRunTest, ASecondStartDuringARunIsRefused) {
  TCountQueue other = Files(1);
  bool refused = false;
  OnRow = [&] {
    if (rows.size() == 1) refused = !g->CountFiles(other);
  };
  ASSERT_TRUE(g->CountFiles(Files(3)));
  EXPECT_TRUE(refused);
  EXPECT_EQ(rows.size(), 3u);
  EXPECT_EQ(g->Queue.Count(), 3);
}

TEST_F(CountRunTest, SettingsAreSavedBeforeTheFirstFile) {
  g->Settings.Application.mfWidth.Value = 640;
  bool savedBeforeFirst = false;
  OnRow = [&] {
    if (rows.size() == 1) {
      TSettings s;
      TFileTypeList types;
      ReadContainer(DefaultContainer(), s, types);
      savedBeforeFirst = s.Application.mfWidth.Value == 640;
    }
  };
  ASSERT_TRUE(g->CountFiles(Files(1)));
  EXPECT_TRUE(savedBeforeFirst);
}

TEST_F(CountRunTest, UnreadableFileIsLoggedAndSoundsAndTheRunGoesOn) {
  registry::WriteInteger("DebugLog", 1);
  TCountQueue q = Files(2);
  TCountQueueItem* missing = q.Add();
  missing->Path = Root("data") + "/";
  missing->FileName = "gone.c";
  TCountQueueItem* last = q.Add();
  last->Path = Root("data") + "/";
  last->FileName = "f0.c";
  ASSERT_TRUE(g->CountFiles(q));
  EXPECT_EQ(rows, (std::vector<std::string>{"f0.c:1", "f1.c:2", "gone.c:0", "f0.c:1"}));
  EXPECT_EQ(Sounds, (std::vector<std::string>{Program("Sounds/ding.wav")}));
  const std::string logText = Read(Program("error.log"));
  EXPECT_NE(logText.find("gone.c"), std::string::npos) << logText;
  EXPECT_NE(logText.find(std::strerror(ENOENT)), std::string::npos) << logText;
}

TEST_F(CountRunTest, CommentsComeFromTheFormatOfTheExtension) {
  TCountQueue q;
  for (const char* name : {"a.c", "a.py", "a.unknown"}) {
    Write(std::string("data/") + name, "# x\n// y\n");
    TCountQueueItem* item = q.Add();
    item->Path = Root("data") + "/";
    item->FileName = name;
  }
  std::vector<std::string> classes;
  report.OnMessage = [&](unsigned code, uintptr_t, intptr_t k) {
    if (code != UM_ADD_RESULT) return;
    const TCountResult& r = g->CountResults[static_cast<size_t>(k)];
    classes.push_back(std::to_string(r.SourceCode) + "/" + std::to_string(r.Comment));
  };
  ASSERT_TRUE(g->CountFiles(q));
  EXPECT_EQ(classes, (std::vector<std::string>{"1/1", "1/1", "2/0"}));
}

TEST_F(GlobalTest, MailsAndTheWebSiteGoToTheUrlOpener) {
  std::vector<std::string> opened;
  SetUrlOpener([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  TqrmtGlobal g;
  g.OpenSupportMail();
  g.OpenFeedbackMail();
  g.OpenNewsletterMail();
  g.OpenWebSite();
  SetUrlOpener(nullptr);
  ASSERT_EQ(opened.size(), 4u);
  EXPECT_NE(opened[0].find("Support%20(Kestrune%20Quorimeter%20Version%201.1.12.30)"), std::string::npos);
  EXPECT_NE(opened[0].find("%0AMS%20Windows:%20"), std::string::npos);
  EXPECT_NE(opened[1].find("?subject=Feedback%20("), std::string::npos);
  EXPECT_NE(opened[2].find("?subject=Kestrune%20News"), std::string::npos);
  EXPECT_EQ(opened[3], msg::WebSite);
}

TEST_F(CountRunTest, WithTheShippedEventSliceAnAbortLandsBetweenTwoFiles) {
  g->EventSliceMs = TqrmtGlobal().EventSliceMs;
  ASSERT_GT(g->EventSliceMs, 0);
  constexpr int n = 300;
  size_t abortAt = 0;
  // From row 100 on each row takes a millisecond, so a round of events is
  // due within a slice; it confirms the abort.
  OnRow = [&] {
    if (rows.size() >= 100) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  OnPump = [&] {
    if (rows.size() >= 100 && !g->Aborted) {
      abortAt = rows.size();
      g->AbortCount();
    }
  };
  ASSERT_TRUE(g->CountFiles(Files(n)));
  ASSERT_GE(abortAt, 100u);
  EXPECT_LT(abortAt, static_cast<size_t>(n));
  // The file being counted when the abort came is finished and reported;
  // none after it is started.
  const bool lastFinished = rows.size() == abortAt + 1;
  ASSERT_TRUE(rows.size() == abortAt || lastFinished) << rows.size() << " rows, abort at " << abortAt;
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], "f" + std::to_string(i) + ".c:" + std::to_string(i + 1));
  // The run ended as after a full run, right after the abort.
  const auto abortMsg = std::find(log.begin(), log.end(), "report 1030 0 0");
  ASSERT_NE(abortMsg, log.end());
  std::vector<std::string> end{"report 1042 0 0", "selection 1027 0 0", "totals on", "repaint on", "main 1031 0 0"};
  if (lastFinished) {
    const auto percent = static_cast<long long>(static_cast<double>(rows.size()) * 100.0 / n);
    end.insert(end.begin(), {"report 1025 0 0", "main 1031 1 " + std::to_string(percent)});
  }
  EXPECT_EQ(std::vector<std::string>(abortMsg + 1, log.end()), end);
}

TEST_F(CountRunTest, ChangingTheFormatsDuringARunChangesNothingStillToCome) {
  // With "#" as the C format's only delimiter each file is one comment line;
  // with the defaults it would be one code line.
  struct Case {
    const char* name;
    std::function<void(TqrmtGlobal&)> change;
  } cases[] = {
      {"edit in place",
       [](TqrmtGlobal& g) { const_cast<TComment&>((*g.FindCommentList(".c"))[0]).StartSymbol = "zz"; }},
      {"restore the defaults", [](TqrmtGlobal& g) { g.RestoreDefaultSettings(); }},
      {"empty the list", [](TqrmtGlobal& g) { g.FileTypes.Clear(); }},
  };
  constexpr size_t n = 10000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g->RestoreDefaultSettings();
    TCommentList& cComments = const_cast<TCommentList&>(*g->FindCommentList(".c"));
    cComments.Clear();
    cComments.Add()->StartSymbol = "#";
    (*cComments.begin())->CommentType = 0;
    // More files than are read ahead, so that most are read after the
    // change; two formats in turn, so that every file takes up its list anew.
    Write("data/h.c", "# x\n");
    Write("data/h.py", "# x\n");
    TCountQueue q;
    for (size_t i = 0; i < n; ++i) {
      TCountQueueItem* item = q.Add();
      item->Path = Root("data") + "/";
      item->FileName = i % 2 == 0 ? "h.c" : "h.py";
    }
    std::vector<std::string> classes;
    report.OnMessage = [&](unsigned code, uintptr_t, intptr_t k) {
      if (code != UM_ADD_RESULT) return;
      const TCountResult& r = g->CountResults[static_cast<size_t>(k)];
      classes.push_back(std::to_string(r.SourceCode) + "/" + std::to_string(r.Comment));
      if (classes.size() == 1) c.change(*g);
    };
    ASSERT_TRUE(g->CountFiles(q));
    EXPECT_EQ(classes, std::vector<std::string>(n, "0/1"));
    // The next run reads the formats as they are now.
    classes.clear();
    report.OnMessage = [&](unsigned code, uintptr_t, intptr_t k) {
      if (code == UM_ADD_RESULT) classes.push_back(std::to_string(g->CountResults[static_cast<size_t>(k)].Comment));
    };
    ASSERT_TRUE(g->CountFiles(q));
    ASSERT_EQ(classes.size(), n);
    for (size_t i = 0; i < n; i += 2) ASSERT_EQ(classes[i], "0") << i;  // "#" is no C comment any more
  }
}
