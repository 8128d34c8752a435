#include "views/FileSelection.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <deque>
#include <functional>

#include "app/app_fixture.h"
#include "app/qrmt_messages.h"
#include "app/qrmt_proc.h"
#include "common/test_formats.h"
#include "components/qrmt_checkcombo.h"
#include "components/qrmt_queuegrid.h"
#include "components/qrmt_shellviews.h"
#include "views/FileTypeEditor.h"
#include "views/Modal.h"

using namespace qrmt;
using namespace qrmt::test;
namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

class FileSelectionTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    g = std::make_unique<TqrmtGlobal>();
    g->EventSliceMs = 0;
    main = std::make_unique<TRecorder>("main", log);
    g->MainWindow = main->Handle;
    view = std::make_unique<TfrmFileSelection>();
    view->resize(846, 479);
    view->show();
  }
  void TearDown() override {
    RunModalHook = nullptr;
    view.reset();
    main.reset();
    g.reset();
    AppTest::TearDown();
  }
  // A small format list: each case of the filter has its own format.
  void UseFormats() {
    g->FileTypes.Clear();
    auto add = [&](const std::string& title, bool enabled, std::vector<std::pair<std::string, bool>> masks) {
      TFileType* t = g->FileTypes.Add();
      t->Title = title;
      t->Enabled = enabled;
      for (auto& [v, e] : masks) {
        TFileExtension* m = t->Extensions.Add();
        m->Value = v;
        m->Enabled = e;
      }
      TComment* c = t->Comments.Add();
      c->CommentType = 0;
      c->StartSymbol = "//";
    };
    add("C", true, {{"*.c", true}, {"*.h", true}, {"*.dis", false}});
    add("Make", true, {{"makefile", true}});
    add("Off", false, {{"*.off", true}});
    add("Pascal", true, {{"Unit1.pas", true}});
    add("Upper", true, {{"*.CPP", true}});
    add("Zip", true, {{"*.zip", true}});
    SendMessage(g->SelectionWindow, UM_SETTINGS_CHANGED);
  }
  // Shows `folder` in the list and waits until it lists `items` items.
  void ShowFolder(const std::string& folder, int items) {
    TShellFolderTree* tree = view->FoldersTree();
    tree->Select(tree->FileSystem()->index(Q(folder)));
    ASSERT_EQ(view->FilesList()->Folder(), Q(folder));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return view->FilesList()->Loaded() && view->FilesList()->Items().size() == items; }, 10000))
        << folder << " lists " << view->FilesList()->Items().size();
    QTest::qWait(20);  // the model sorts after loading
  }
  QStringList Listed() const {
    QStringList names;
    for (const TShellItem& i : view->FilesList()->Items()) names << i.DisplayName;
    names.sort();
    return names;
  }
  QStringList Rows() const {
    QStringList rows;
    TCountQueueModel* q = view->Queue();
    q->Flush();
    for (int r = 0; r < q->rowCount(); ++r) rows << q->index(r, 0).data().toString();
    return rows;
  }
  QStringList SortedRows() const {
    QStringList rows = Rows();
    rows.sort();
    return rows;
  }
  QAction* Act(const char* name) const {
    auto* a = view->findChild<QAction*>(name);
    EXPECT_NE(a, nullptr) << name;
    return a;
  }
  std::string Dir(const std::string& name) const { return Root(name); }
  int Messages(unsigned code) const {
    int n = 0;
    for (const std::string& l : log) n += l.rfind("main " + std::to_string(code) + " ", 0) == 0;
    return n;
  }
  // Answers the view's dialogs in turn.
  void Script(std::function<int(QDialog&)> step) {
    steps.push_back(std::move(step));
    RunModalHook = [this](QDialog& d) {
      if (steps.empty()) return static_cast<int>(QDialog::Rejected);
      auto step = std::move(steps.front());
      steps.pop_front();
      return step(d);
    };
  }
  std::string Zip(const std::string& name, const std::vector<std::pair<std::string, std::string>>& entries,
                  const char* password = nullptr) {
    const std::string file = Root(name);
    fs::create_directories(fs::path(file).parent_path());
    int error = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto& [n, bytes] : entries) {
      keep.push_back(bytes);
      const zip_int64_t i =
          zip_file_add(z, n.c_str(), zip_source_buffer(z, keep.back().data(), keep.back().size(), 0), ZIP_FL_ENC_UTF_8);
      if (password) zip_file_set_encryption(z, static_cast<zip_uint64_t>(i), ZIP_EM_AES_256, password);
    }
    zip_close(z);
    return file;
  }
  // Entries of the temporary folder other than the empty "tmp" files.
  std::vector<std::string> TempLeftovers() const {
    std::vector<std::string> out;
    if (!fs::exists(g->TempFolder)) return out;
    for (const auto& e : fs::recursive_directory_iterator(g->TempFolder))
      if (!(e.is_regular_file() && e.file_size() == 0)) out.push_back(e.path().string());
    return out;
  }

  std::unique_ptr<TqrmtGlobal> g;
  std::vector<std::string> log;
  std::unique_ptr<TRecorder> main;
  std::unique_ptr<TfrmFileSelection> view;
  std::deque<std::function<int(QDialog&)>> steps;
  std::deque<std::string> keep;
};

// Fills the editor and presses OK.
int FillAndOk(QDialog& d, const std::string& title, const std::vector<std::string>& masks) {
  auto& editor = dynamic_cast<TfrmFileTypeEditor&>(d);
  editor.SetTitle(title);
  for (const auto& m : masks) editor.AddMask(m, true);
  TComment c;
  c.CommentType = 0;
  c.StartSymbol = "#";
  editor.AddComment(c);
  editor.findChild<QPushButton*>("btnOk")->click();
  return editor.result();
}

}  // namespace

TEST_F(FileSelectionTest, FilterAdmitsByEnabledMasksOfEnabledFormats) {
  UseFormats();
  const struct {
    const char* name;
    bool zip;
    bool admitted;
  } cases[] = {
      {"a.c", true, true},       {"b.C", true, true},          {"x.dis", true, false}, {"Makefile", true, true},
      {"MAKEFILE", true, true},  {"makefile.am", true, false}, {"x.off", true, false}, {"UNIT1.PAS", true, true},
      {"other.pas", true, true}, {"x.cpp", true, false},       {"x.CPP", true, false}, {"a.zip", true, true},
      {"b.zip", false, false},
  };
  for (const auto& c : cases) {
    g->Settings.FileSelection.zipEnabled.Value = c.zip;
    const std::string file = Write("filter/" + std::string(c.name), "x");
    view->Queue()->Clear();
    view->AddFile(file);
    EXPECT_EQ(view->Queue()->Count(), c.admitted ? 1 : 0) << c.name;
  }
}

TEST_F(FileSelectionTest, RowsShowNameSizeAndDateAndDuplicatesGoByExactName) {
  UseFormats();
  const std::string a = Write("dup/a.c", std::string(1536, 'x'));
  const std::string upper = Write("dup/A.c", "y");
  view->AddFile(a);
  view->AddFile(a);
  view->AddFile(upper);
  EXPECT_EQ(Rows(), (QStringList{Q(a), Q(upper)}));
  EXPECT_EQ(view->Queue()->index(0, 1).data().toString(), "1.54 kB");
  EXPECT_EQ(view->Queue()->index(0, 1).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight, Qt::AlignRight);
  EXPECT_FALSE(view->Queue()->index(0, 2).data().toString().isEmpty());
  // One 0x408 per row added: the duplicate sent none.
  EXPECT_EQ(log, (std::vector<std::string>{"main 1032 1 0", "main 1032 2 0"}));
}

TEST_F(FileSelectionTest, ListShowsWhatTheFilterAndTheSwitchesAdmit) {
  UseFormats();
  Write("list/a.c", "");
  Write("list/b.txt", "");
  Write("list/.hidden.c", "");
  Write("list/arch.zip", "");
  Write("list/sub/x.c", "");
  ShowFolder(Dir("list"), 3);
  EXPECT_EQ(Listed(), (QStringList{"a.c", "arch.zip", "sub"}));
  // Unticking C in the format drop-down hides its files at once.
  TCheckComboBox* types = view->FileTypesBox();
  types->SetChecked(0, false);
  EXPECT_FALSE(g->FileTypes[0].Enabled);
  EXPECT_EQ(Listed(), (QStringList{"arch.zip", "sub"}));
  types->SetChecked(0, true);
  EXPECT_EQ(Listed(), (QStringList{"a.c", "arch.zip", "sub"}));
  // Show Folders off: the archive stays while the zip toggle is down.
  Act("fsShowFolders")->trigger();
  EXPECT_FALSE(g->Settings.FileSelection.ShowFolders.Value);
  EXPECT_EQ(Listed(), (QStringList{"a.c", "arch.zip"}));
  Act("toolBtnZIPAction")->trigger();
  EXPECT_FALSE(g->Settings.FileSelection.zipEnabled.Value);
  EXPECT_EQ(Listed(), (QStringList{"a.c"}));
}

TEST_F(FileSelectionTest, AddAllFilesAndIncludingSubfoldersWithShowFoldersOnAndOff) {
  UseFormats();
  const std::string top = Dir("walk");
  Write("walk/a.c", "");
  Write("walk/.hidden.c", "");
  Write("walk/sub/b.c", "");
  Write("walk/sub/.deep.c", "");
  Write("walk/sub/deeper/c.h", "");
  Write("walk/.hdir/d.c", "");
  ShowFolder(top, 2);
  Act("sfAddAllFiles")->trigger();
  EXPECT_EQ(Rows(), QStringList{Q(top + "/a.c")});
  EXPECT_EQ(log.front(), "main 1029 1 0");
  EXPECT_EQ(log.back(), "main 1029 0 0");
  view->Queue()->Clear();
  Act("sfAddAllFilesWithFolders")->trigger();
  // Hidden items of the list are not walked; hidden files below are added.
  EXPECT_EQ(SortedRows(),
            (QStringList{Q(top + "/a.c"), Q(top + "/sub/.deep.c"), Q(top + "/sub/b.c"), Q(top + "/sub/deeper/c.h")}));
  view->Queue()->Clear();
  Act("fsShowFolders")->trigger();  // off
  Act("sfAddAllFilesWithFolders")->trigger();
  EXPECT_EQ(Rows(), QStringList{Q(top + "/a.c")});
  // Add Selected with nothing selected: nothing, not even a message.
  log.clear();
  view->FilesList()->View()->clearSelection();
  Act("sfAddSelected")->trigger();
  EXPECT_TRUE(log.empty());
}

TEST_F(FileSelectionTest, WalksSkipLinksToFoldersAndAddLinksToFiles) {
  UseFormats();
  const std::string top = Dir("links");
  Write("links/real/a.c", "");
  fs::create_directory_symlink(top + "/real", top + "/loop-to-real");
  fs::create_directory_symlink(top, top + "/real/loop-up");
  fs::create_symlink(top + "/real/a.c", top + "/link.c");
  view->AddFolder(top);
  EXPECT_EQ(SortedRows(), (QStringList{Q(top + "/link.c"), Q(top + "/real/a.c")}));
  // A folder that cannot be read is named in the log, never in a box.
  SetLogFolder(Program());
  registry::WriteInteger("DebugLog", 1);
  view->AddFolder(top + "/gone");
  EXPECT_TRUE(Dialogs.Shown.empty());
  const std::string logged = Read(Program("error.log"));
  EXPECT_NE(logged.find("(f) AddFolder: \"" + top + "/gone\" cannot be read: No such file or directory"),
            std::string::npos)
      << logged;
}

TEST_F(FileSelectionTest, AbortStopsTheAddKeepsItsRowsAndTheNextAddRuns) {
  UseFormats();
  for (int i = 0; i < 60; ++i) Write("many/f" + std::to_string(i) + ".c", "");
  ShowFolder(Dir("many"), 60);
  OnPump = [this] {
    if (Pumps == 20) SendMessage(g->SelectionWindow, UM_ABORT);
  };
  Act("sfAddAllFilesWithFolders")->trigger();
  const int kept = view->Queue()->Count();
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, 60);
  EXPECT_EQ(log.back(), "main 1029 0 0");
  OnPump = nullptr;
  Act("sfAddAllFiles")->trigger();
  EXPECT_EQ(view->Queue()->Count(), 60);
  // The index still knows every row.
  view->AddFile(Dir("many") + "/f0.c");
  EXPECT_EQ(view->Queue()->Count(), 60);
}

TEST_F(FileSelectionTest, ClipboardTextBecomesAUtf16FileThatTheFilterDecides) {
  UseFormats();
  QGuiApplication::clipboard()->setText(QString::fromUtf8("a\r\nb\n\xc3\xa9\r\rend"));
  Act("sfAddFromClipboard")->trigger();
  EXPECT_TRUE(Dialogs.Shown.empty());
  EXPECT_EQ(view->Queue()->Count(), 0);
  std::vector<fs::path> written;
  for (const auto& e : fs::directory_iterator(g->TempFolder))
    if (e.path().extension() == ".tmpcf") written.push_back(e.path());
  ASSERT_EQ(written.size(), 1u);
  const std::string expected = std::string("\xFF\xFE", 2) +
                               std::string("a\0\r\0\n\0b\0\r\0\n\0\xE9\0\r\0\n\0\r\0\n\0", 22) +
                               std::string("e\0n\0d\0\r\0\n\0", 10);
  EXPECT_EQ(Read(written[0].string()), expected);
  // With a mask for it, the same command queues a new file.
  g->FileTypes[0].Extensions.Add()->Value = "*.tmpcf";
  g->FileTypes[0].Extensions[3].Enabled = true;
  Act("sfAddFromClipboard")->trigger();
  ASSERT_EQ(view->Queue()->Count(), 1);
  EXPECT_TRUE(Rows()[0].endsWith(".tmpcf"));
  EXPECT_EQ(view->Queue()->Item(0).Size, static_cast<int64_t>(expected.size()));
  QGuiApplication::clipboard()->clear();
  Act("sfAddFromClipboard")->trigger();
  ASSERT_EQ(Dialogs.Shown.size(), 1u);
  EXPECT_EQ(Dialogs.Shown[0].Text, "Clipboard has not text");
  EXPECT_EQ(Dialogs.Shown[0].Icon, TMsgIcon::Error);
}

TEST_F(FileSelectionTest, ZipArchivesUnpackFlatAndQueueWhatTheFilterAdmits) {
  UseFormats();
  const std::string z =
      Zip("zips/src.zip", {{"a.c", "1"}, {"deep/a.c", "2"}, {"readme.txt", "3"}, {"../../escape.h", "4"}});
  ShowFolder(Dir("zips"), 1);
  // A double-click on the archive unpacks it.
  QListView* list = view->FilesList()->ListView();
  ASSERT_EQ(view->FilesList()->Items().size(), 1);
  list->selectionModel()->select(list->model()->index(0, 0, list->rootIndex()), QItemSelectionModel::Select);
  view->FilesListDblClick();
  QStringList first = SortedRows();
  ASSERT_EQ(first.size(), 3);
  const QString folder = first[0].left(first[0].lastIndexOf('/') + 1);
  EXPECT_TRUE(folder.startsWith(Q(g->TempFolder)));
  EXPECT_EQ(first, (QStringList{folder + "a (2).c", folder + "a.c", folder + "escape.h"}));
  EXPECT_TRUE(fs::exists(folder.toStdString() + "readme.txt"));  // unpacked, not queued
  EXPECT_FALSE(fs::exists(Dir("escape.h")));
  EXPECT_GT(Messages(UM_UNZIP_PROGRESS), 0);
  EXPECT_EQ(log.back().rfind("main 1032", 0), 0u);
  // Opened twice: queued twice, in another folder.
  view->AddZipArchive(z);
  EXPECT_EQ(view->Queue()->Count(), 6);
  EXPECT_TRUE(Dialogs.Shown.empty());
}

TEST_F(FileSelectionTest, BrokenAndEncryptedArchivesTellWhyAndLeaveNothing) {
  UseFormats();
  const std::string text = Write("bad/not.zip", "plain text");
  const std::string locked = Zip("bad/locked.zip", {{"a.c", "int a;"}}, "pw");
  const std::string good = Zip("bad/good.zip", {{"a.c", std::string(3000, 'a')}});
  std::string bytes = Read(good);
  bytes[45] = static_cast<char>(bytes[45] ^ 0x33);
  const std::string damaged = Write("bad/damaged.zip", bytes);
  const struct {
    std::string file;
    const char* reason;
  } cases[] = {{text, "not a zip archive"}, {locked, "encrypted"}, {damaged, "damaged"}};
  for (const auto& c : cases) {
    Dialogs.Shown.clear();
    view->AddZipArchive(c.file);
    ASSERT_EQ(Dialogs.Shown.size(), 1u) << c.file;
    EXPECT_NE(Dialogs.Shown[0].Text.find(c.file), std::string::npos) << Dialogs.Shown[0].Text;
    EXPECT_NE(Dialogs.Shown[0].Text.find(c.reason), std::string::npos) << Dialogs.Shown[0].Text;
    EXPECT_EQ(view->Queue()->Count(), 0);
    EXPECT_TRUE(TempLeftovers().empty());
  }
}

TEST_F(FileSelectionTest, RemovingRowsMovesTheFocusAsUsersExpect) {
  UseFormats();
  for (int i = 0; i < 5; ++i) view->AddFile(Write("rm/" + std::to_string(i) + ".c", ""));
  QTableView* grid = view->QueueGrid();
  auto focus = [&](int row, std::vector<int> selected) {
    grid->selectionModel()->setCurrentIndex(view->Queue()->index(row, 0), QItemSelectionModel::NoUpdate);
    grid->selectionModel()->clearSelection();
    for (int r : selected)
      grid->selectionModel()->select(view->Queue()->index(r, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  };
  // The last row focused and removed: the first becomes focused.
  focus(4, {4});
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_Delete);
  ASSERT_EQ(view->Queue()->Count(), 4);
  EXPECT_EQ(grid->currentIndex().row(), 0);
  EXPECT_TRUE(grid->selectionModel()->isRowSelected(0, {}));
  EXPECT_EQ(log.back(), "main 1032 4 0");
  // Shift+Delete does nothing.
  QTest::keyClick(grid, Qt::Key_Delete, Qt::ShiftModifier);
  EXPECT_EQ(view->Queue()->Count(), 4);
  // The focused row's successor goes too: no row stays focused.
  focus(1, {1, 2});
  Act("cqRemoveSelected")->trigger();
  EXPECT_EQ(Rows(), (QStringList{Q(Dir("rm") + "/0.c"), Q(Dir("rm") + "/3.c")}));
  EXPECT_FALSE(grid->currentIndex().isValid());
  // A middle row: its successor takes the focus.
  view->AddFile(Dir("rm") + "/1.c");
  focus(1, {1});
  Act("cqRemoveSelected")->trigger();
  EXPECT_EQ(view->Queue()->Item(grid->currentIndex().row()).FileName, "1.c");
  Act("cqRemoveAll")->trigger();
  EXPECT_EQ(view->Queue()->Count(), 0);
  EXPECT_EQ(log.back(), "main 1032 0 0");
}

TEST_F(FileSelectionTest, HeaderClicksSortTheQueue) {
  UseFormats();
  view->AddFile(Write("sort/b.c", "333"));
  view->AddFile(Write("sort/A.c", "1"));
  view->AddFile(Write("sort/c.c", "22"));
  QHeaderView* header = view->QueueGrid()->horizontalHeader();
  auto click = [&](int section) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(section) + 5, 5));
  };
  const QString d = Q(Dir("sort") + "/");
  click(1);
  EXPECT_EQ(Rows(), (QStringList{d + "A.c", d + "c.c", d + "b.c"}));
  click(1);
  EXPECT_EQ(Rows(), (QStringList{d + "b.c", d + "c.c", d + "A.c"}));
  click(0);
  EXPECT_EQ(Rows(), (QStringList{d + "A.c", d + "b.c", d + "c.c"}));
  EXPECT_EQ(view->Queue()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(0xF7F7F7));
  // A click with Ctrl does not sort.
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    QPoint(header->sectionViewportPosition(1) + 5, 5));
  EXPECT_EQ(Rows(), (QStringList{d + "A.c", d + "b.c", d + "c.c"}));
}

TEST_F(FileSelectionTest, RememberedFolderIsRestoredToItsDeepestExistingAncestor) {
  const std::string base = Dir("remember");
  fs::create_directories(base + "/x/y");
  QString chain;
  for (const auto& part : fs::path(base)) {
    if (part == "/") continue;
    chain += ">" + Q(part.string());
  }
  // A missing middle part is skipped: the walk goes on among the same children.
  g->Settings.FileSelection.currentFolder.Value = (chain + ">x>gone>y").toStdString();
  SendMessage(g->SelectionWindow, UM_SETTINGS_CHANGED);
  EXPECT_EQ(view->FoldersTree()->SelectedFolder(), Q(base + "/x/y"));
  EXPECT_EQ(Q(g->Settings.FileSelection.currentFolder.Value), chain + ">x>y");
  g->Settings.FileSelection.currentFolder.Value = (chain + ">x>gone").toStdString();
  SendMessage(g->SelectionWindow, UM_SETTINGS_CHANGED);
  EXPECT_EQ(view->FoldersTree()->SelectedFolder(), Q(base + "/x"));
  // A move in the tree is remembered.
  view->FoldersTree()->Select(view->FoldersTree()->FileSystem()->index(Q(base)));
  EXPECT_EQ(Q(g->Settings.FileSelection.currentFolder.Value), chain);
  EXPECT_EQ(view->FolderPath(view->FoldersTree()->TopNode()), "");
}

TEST_F(FileSelectionTest, DropDownsSwitchFormatsAndMasksAndRememberTheCurrentFormat) {
  UseFormats();
  TCheckComboBox* types = view->FileTypesBox();
  TCheckComboBox* exts = view->FileExtBox();
  ASSERT_EQ(types->Count(), 6);
  EXPECT_EQ(types->Current(), 0);
  EXPECT_EQ(exts->Count(), 3);
  EXPECT_EQ(exts->itemText(0), "*.c");
  EXPECT_FALSE(exts->Checked(2));
  types->SetCurrent(3);
  EXPECT_EQ(g->Settings.Application.fsFltrTypeIdx.Value, 3);
  EXPECT_EQ(exts->Count(), 1);
  EXPECT_EQ(exts->itemText(0), "Unit1.pas");
  exts->SetChecked(0, false);
  EXPECT_FALSE(g->FileTypes[3].Extensions[0].Enabled);
  // Select All switches on every format and leaves the last changed current.
  types->SelectAll(true);
  for (const auto& t : g->FileTypes) EXPECT_TRUE(t->Enabled) << t->Title;
  EXPECT_EQ(types->Current(), 2);
  // An index beyond the list: no current format, the masks stay as shown.
  g->Settings.Application.fsFltrTypeIdx.Value = 40;
  SendMessage(g->SelectionWindow, UM_SETTINGS_CHANGED);
  EXPECT_EQ(types->Current(), -1);
  // While the view fills its controls, a change does nothing.
  EXPECT_EQ(types->currentText(), "");
}

TEST_F(FileSelectionTest, NewModifyAndRemoveFormats) {
  UseFormats();
  Write("fmt/a.qq", "");
  ShowFolder(Dir("fmt"), 0);
  EXPECT_TRUE(Listed().isEmpty());
  // New, cancelled: nothing changes.
  Script([](QDialog&) { return static_cast<int>(QDialog::Rejected); });
  Act("newFileType")->trigger();
  EXPECT_EQ(g->FileTypes.Count(), 6);
  // New with OK: last, ticked, current; its files appear.
  Script([](QDialog& d) { return FillAndOk(d, "QQ", {"*.qq"}); });
  Act("newFileType")->trigger();
  ASSERT_EQ(g->FileTypes.Count(), 7);
  EXPECT_EQ(g->FileTypes[6].Title, "QQ");
  EXPECT_TRUE(g->FileTypes[6].Enabled);
  EXPECT_EQ(view->FileTypesBox()->Current(), 6);
  EXPECT_TRUE(view->FileTypesBox()->Checked(6));
  EXPECT_EQ(view->FileExtBox()->itemText(0), "*.qq");
  EXPECT_EQ(Listed(), QStringList{"a.qq"});
  // Modify a disabled format with OK: it stays disabled, in its place.
  view->FileTypesBox()->SetCurrent(2);
  Script([](QDialog& d) {
    auto& e = dynamic_cast<TfrmFileTypeEditor&>(d);
    EXPECT_EQ(e.Title(), "Off");
    EXPECT_EQ(e.Masks().size(), 1u);
    EXPECT_EQ(e.Comments().size(), 1u);
    e.SetTitle("Renamed");
    e.AddMask("*.new", false);
    e.findChild<QPushButton*>("btnOk")->click();
    return e.result();
  });
  Act("modifyFileType")->trigger();
  EXPECT_EQ(g->FileTypes[2].Title, "Renamed");
  EXPECT_FALSE(g->FileTypes[2].Enabled);
  EXPECT_EQ(g->FileTypes[2].Extensions.Count(), 2);
  EXPECT_EQ(view->FileTypesBox()->itemText(2), "Renamed");
  // Modify cancelled.
  Script([](QDialog& d) {
    dynamic_cast<TfrmFileTypeEditor&>(d).SetTitle("Never");
    return static_cast<int>(QDialog::Rejected);
  });
  Act("modifyFileType")->trigger();
  EXPECT_EQ(g->FileTypes[2].Title, "Renamed");
  // Remove: No keeps it; Yes removes, the next one moves into its place.
  Dialogs.Answers = {mrNo};
  Act("removeFileType")->trigger();
  EXPECT_EQ(g->FileTypes.Count(), 7);
  EXPECT_EQ(Dialogs.Shown.back().Text, "Are you sure?");
  Dialogs.Answers = {mrYes};
  Act("removeFileType")->trigger();
  EXPECT_EQ(g->FileTypes.Count(), 6);
  EXPECT_EQ(view->FileTypesBox()->Current(), 2);
  EXPECT_EQ(view->FileTypesBox()->itemText(2), "Pascal");
  // The last one removed: the one before it becomes current.
  view->FileTypesBox()->SetCurrent(5);
  Dialogs.Answers = {mrYes};
  Act("removeFileType")->trigger();
  EXPECT_EQ(view->FileTypesBox()->Current(), 4);
  EXPECT_EQ(Listed(), QStringList{});
}

TEST_F(FileSelectionTest, DropsFromOtherProgramsAndFromTheList) {
  UseFormats();
  const std::string folder = Dir("drop");
  Write("drop/sub/a.c", "");
  const std::string file = Write("drop/b.h", "");
  Write("drop/c.c", "");
  QMimeData outside;
  outside.setUrls({QUrl::fromLocalFile(Q(folder + "/sub")), QUrl::fromLocalFile(Q(file))});
  // Offscreen, Qt delivers no drop: the handler gets what a drop carries.
  view->DropOnQueue(&outside, nullptr);
  EXPECT_EQ(Rows(), (QStringList{Q(folder + "/sub/a.c"), Q(file)}));
  // A drop without names adds nothing.
  QMimeData text;
  text.setText("hello");
  view->DropOnQueue(&text, nullptr);
  EXPECT_EQ(view->Queue()->Count(), 2);
  // From the view's own list: the selected items.
  ShowFolder(folder, 3);
  QListView* list = view->FilesList()->ListView();
  for (int r = 0; r < list->model()->rowCount(list->rootIndex()); ++r) {
    const QModelIndex i = list->model()->index(r, 0, list->rootIndex());
    if (i.data().toString() == "c.c") list->selectionModel()->select(i, QItemSelectionModel::Select);
  }
  view->DropOnQueue(nullptr, list);
  EXPECT_EQ(Rows().back(), Q(folder + "/c.c"));
}

TEST_F(FileSelectionTest, ChangingRowsAndFormatsDuringAnAddLeavesItSound) {
  UseFormats();
  for (int i = 0; i < 40; ++i) Write("ground/d" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".c", "");
  ShowFolder(Dir("ground"), 4);
  OnPump = [this] {
    if (Pumps == 10) Act("cqRemoveAll")->trigger();
    if (Pumps == 15) {
      Dialogs.Answers = {mrYes};
      view->FileTypesBox()->SetCurrent(0);
      Act("removeFileType")->trigger();  // the C format goes: no more .c files
    }
    if (Pumps == 20) {
      g->RestoreDefaultSettings();  // a whole new list under the walk
      g->EventSliceMs = 0;
    }
  };
  Act("sfAddAllFilesWithFolders")->trigger();
  OnPump = nullptr;
  const int rows = view->Queue()->Count();
  EXPECT_LT(rows, 40);
  // The defaults' remembered folder is the root: back to ours.
  ShowFolder(Dir("ground"), 4);
  // Every row is known to the duplicate check, and the rest can be added.
  Act("sfAddAllFilesWithFolders")->trigger();
  EXPECT_EQ(view->Queue()->Count(), 40);
  QStringList all = Rows();
  all.removeDuplicates();
  EXPECT_EQ(all.size(), 40);
}

TEST_F(FileSelectionTest, CountEndedClearsTheQueueOnlyWhenTheSettingSaysSo) {
  UseFormats();
  view->AddFile(Write("end/a.c", ""));
  SendMessage(g->SelectionWindow, UM_COUNT_ENDED);
  EXPECT_EQ(view->Queue()->Count(), 1);
  g->Settings.FileSelection.ClearCountQueue.Value = true;
  SendMessage(g->SelectionWindow, UM_COUNT_ENDED);
  EXPECT_EQ(view->Queue()->Count(), 0);
}

TEST_F(FileSelectionTest, ViewStylesAndSplitterLimits) {
  TShellFileList* list = view->FilesList();
  EXPECT_EQ(list->Style(), TShellFileList::vsList);
  Act("fsViewIcons")->trigger();
  EXPECT_EQ(list->Style(), TShellFileList::vsIcons);
  EXPECT_TRUE(Act("fsViewIcons")->isChecked());
  Act("fsViewReport")->trigger();
  EXPECT_EQ(list->Style(), TShellFileList::vsReport);
  EXPECT_EQ(list->View(), list->DetailView());
  EXPECT_EQ(list->DetailView()->model()->columnCount(), 4);  // name, size, type, date
  Act("sfChangeViewStyle")->trigger();
  EXPECT_EQ(list->Style(), TShellFileList::vsSmallIcons);
  EXPECT_TRUE(Act("fsViewSmallIcons")->isChecked());
  view->resize(1000, 600);
  QApplication::processEvents();
  QWidget* left = view->findChild<QWidget*>("pnlSelectFolder");
  EXPECT_EQ(left->minimumWidth(), 200);
  EXPECT_EQ(left->maximumWidth(), 500);
}
