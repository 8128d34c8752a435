#include "views/Main.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <memory>

#include "app/app_fixture.h"
#include "app/qrmt_messages.h"
#include "common/test_formats.h"
#include "components/qrmt_checkcombo.h"
#include "components/qrmt_help.h"
#include "components/qrmt_queuegrid.h"
#include "components/qrmt_shellviews.h"
#include "components/qrmt_updates.h"
#include "views/About.h"
#include "views/CommentsEditor.h"
#include "views/FileSelection.h"
#include "views/FileTypeEditor.h"
#include "views/Report.h"
#include "views/Settings.h"

using namespace qrmt;
using namespace qrmt::test;

namespace {

class MainWindowTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    TKestruneCountQRMT::AutoUpdateDelayMs = 24 * 3600 * 1000;  // no automatic check unless a test asks
    g = std::make_unique<TqrmtGlobal>();
  }
  void TearDown() override {
    TKestruneCountQRMT::AutoUpdateDelayMs = 5000;
    TKestruneCountQRMT::RunDialog = nullptr;
    window.reset();
    g.reset();
    AppTest::TearDown();
  }
  TKestruneCountQRMT& Open() {
    window = std::make_unique<TKestruneCountQRMT>();
    window->show();
    QApplication::setActiveWindow(window.get());
    return *window;
  }
  QAction* Find(const char* name) const {
    auto* a = window->findChild<QAction*>(name);
    EXPECT_NE(a, nullptr) << name;
    return a;
  }
  QStringList SettingsMenu() const {
    QStringList items;
    for (QAction* a : window->findChild<QMenu*>("mmSettings")->actions())
      items << (a->isSeparator() ? "-" : a->text() + (a->isChecked() ? " *" : ""));
    return items;
  }
  void Queue(int n) {
    for (int i = 0; i < n; ++i) {
      const std::string name = "f" + std::to_string(i) + ".c";
      Write("data/" + name, std::string(static_cast<size_t>(i + 1), '\n'));
      {
        auto item = std::make_unique<TCountQueueItem>();
        item->Path = Root("data") + "/";
        item->FileName = name;
        window->SelectionView()->Queue()->Append(std::move(item));
      }
    }
  }

  std::unique_ptr<TqrmtGlobal> g;
  std::unique_ptr<TKestruneCountQRMT> window;
};

}  // namespace

TEST_F(MainWindowTest, StartsInFileSelectionWithCaptionSizeAndStatus) {
  Open();
  EXPECT_EQ(window->windowTitle(), "Kestrune Quorimeter 1.1");
  EXPECT_EQ(window->minimumSize(), QSize(800, 450));
  EXPECT_EQ(g->MainWindow != 0, true);
  EXPECT_TRUE(Find("modeSelectFiles")->isChecked());
  EXPECT_EQ(window->CurrentView()->objectName(), "frmFileSelection");
  EXPECT_EQ(window->StatusText(4), "Version 1.1.12.30");
  // The status texts of the messages.
  SendMessage(g->MainWindow, UM_COUNT_PROGRESS, 1, 42);
  EXPECT_EQ(window->StatusText(0), "Counting files (42% done). Press ESC to abort.");
  SendMessage(g->MainWindow, UM_COUNT_PROGRESS, 0, 0);
  EXPECT_EQ(window->StatusText(0), "");
  SendMessage(g->MainWindow, UM_ADDING_FILES, 1);
  EXPECT_EQ(window->StatusText(0), "Adding files. Press ESC to abort.");
  SendMessage(g->MainWindow, UM_ADDING_FILES, 0);
  EXPECT_EQ(window->StatusText(0), "");
  SendMessage(g->MainWindow, UM_QUEUE_SIZE, 17);
  EXPECT_EQ(window->StatusText(3), "17 : file(s) to count");
  SendMessage(g->MainWindow, UM_UNZIP_PROGRESS, 60);
  EXPECT_EQ(window->StatusText(0), "Extract zip file: 60% done");
}

TEST_F(MainWindowTest, ModesMakeTheirViewsOnceAndKeepThem) {
  Open();
  Find("modeReport")->trigger();
  auto* report = window->CurrentView();
  EXPECT_EQ(report->objectName(), "frmReport");
  Find("modeSettings")->trigger();
  EXPECT_EQ(window->CurrentView()->objectName(), "frmSettings");
  Find("modeReport")->trigger();
  EXPECT_EQ(window->CurrentView(), report);
  EXPECT_TRUE(Find("modeReport")->isChecked());
}

TEST_F(MainWindowTest, EscAsksAndAbortsOnYesOnly) {
  Open();
  Dialogs.Answers = {mrNo};
  QTest::keyClick(window.get(), Qt::Key_Escape);
  ASSERT_EQ(Dialogs.Shown.size(), 1u);
  EXPECT_EQ(Dialogs.Shown[0].Text, "Abort current operation?");
  EXPECT_EQ(Dialogs.Shown[0].Buttons, TMsgButtons::YesNo);
  EXPECT_FALSE(g->Aborted);
  Dialogs.Answers = {mrYes};
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_TRUE(g->Aborted);
  // With a modifier it is no abort request.
  QTest::keyClick(window.get(), Qt::Key_Escape, Qt::ShiftModifier);
  EXPECT_EQ(Dialogs.Shown.size(), 2u);
}

TEST_F(MainWindowTest, StoredGeometryIsAppliedPerCoordinateAndStoredOnClose) {
  auto& a = g->Settings.Application;
  a.mfLeft.Value = 100;
  a.mfTop.Value = -1;
  a.mfWidth.Value = 900;
  a.mfHeight.Value = -1;
  Open();
  EXPECT_EQ(window->geometry().left(), 100);
  EXPECT_EQ(window->geometry().width(), 900);
  EXPECT_EQ(window->geometry().height(), 450);  // the default height stays
  window->setGeometry(120, 130, 1000, 600);
  Find("FileExit")->trigger();
  EXPECT_EQ(a.mfLeft.Value, 120);
  EXPECT_EQ(a.mfTop.Value, 130);
  EXPECT_EQ(a.mfWidth.Value, 1000);
  EXPECT_EQ(a.mfHeight.Value, 600);
}

TEST_F(MainWindowTest, TheSettingsSubmenu) {
  Open();
  EXPECT_EQ(SettingsMenu(),
            (QStringList{"default *", "-", "Load Settings ...", "Save Settings As ...", "Restore Default Settings"}));
  // Save Settings As completes the extension and rebuilds the submenu.
  Dialogs.Files = {Program("team.cfg")};
  Find("settingsSaveAs")->trigger();
  EXPECT_EQ(g->SettingsFile, Program("team.settings"));
  QStringList items = SettingsMenu();
  items.sort();
  EXPECT_EQ(items, (QStringList{"-", "Load Settings ...", "Restore Default Settings", "Save Settings As ...", "default",
                                "team *"}));
  // Saved elsewhere: in use, but not listed.
  Dialogs.Files = {Root("backup/mine.settings")};
  std::filesystem::create_directories(Root("backup"));
  Find("settingsSaveAs")->trigger();
  EXPECT_EQ(g->SettingsFile, Root("backup/mine.settings"));
  EXPECT_FALSE(SettingsMenu().join(",").contains("mine"));
  // Load Settings takes the program folder's container of the picked name.
  g->Settings.Application.fsFltrTypeIdx.Value = 3;
  Dialogs.Files = {Root("backup/team.settings")};
  Find("settingsLoad")->trigger();
  EXPECT_EQ(g->SettingsFile, Program("team.settings"));
  // A name that does not load tells why, and the container in use stays.
  Dialogs.Files = {Root("backup/none.settings")};
  Dialogs.Shown.clear();
  Find("settingsLoad")->trigger();
  ASSERT_EQ(Dialogs.Shown.size(), 1u);
  EXPECT_NE(Dialogs.Shown[0].Text.find("none.settings"), std::string::npos) << Dialogs.Shown[0].Text;
  EXPECT_EQ(g->SettingsFile, Program("team.settings"));
  // A radio item loads its container.
  window->findChild<QAction*>("mmSettings_default")->trigger();
  EXPECT_EQ(g->SettingsFile, Program("default.settings"));
}

TEST_F(MainWindowTest, RestoreDefaultsAsksFirstAndKeepsTheWindowWhereItIs) {
  Open();
  g->Settings.Report.ShowPath.Value = false;
  Dialogs.Answers = {mrNo};
  Find("settingsRestoreDefault")->trigger();
  EXPECT_FALSE(g->Settings.Report.ShowPath.Value);
  EXPECT_EQ(Dialogs.Shown.back().Text, "Are you sure?");
  const QRect before = window->geometry();
  Dialogs.Answers = {mrYes};
  Find("settingsRestoreDefault")->trigger();
  EXPECT_TRUE(g->Settings.Report.ShowPath.Value);
  EXPECT_EQ(window->geometry(), before);
}

TEST_F(MainWindowTest, CountFilesNeedsAQueueThenCountsIntoTheReport) {
  Open();
  Find("modeSettings")->trigger();
  Find("CountFiles")->trigger();
  ASSERT_EQ(Dialogs.Shown.size(), 1u);
  EXPECT_EQ(Dialogs.Shown[0].Text, "Add files to Count Queue first!");
  EXPECT_EQ(Dialogs.Shown[0].Icon, TMsgIcon::Information);
  EXPECT_TRUE(Find("modeSelectFiles")->isChecked());  // back to the file selection

  g->EventSliceMs = 0;
  Queue(3);
  Find("CountFiles")->trigger();
  EXPECT_TRUE(Find("modeReport")->isChecked());
  QTableView* grid = window->ReportView()->ReportGrid();
  ASSERT_EQ(grid->model()->rowCount(), 3);
  EXPECT_EQ(window->ReportView()->StatTable()->FooterText(rcTotal), "6");
  EXPECT_EQ(window->StatusText(0), "");  // cleared at the end
}

TEST_F(MainWindowTest, CommandsThatReplaceWhatARunReadsWaitForItsEnd) {
  Open();
  g->EventSliceMs = 0;
  Queue(3);
  int refused = 0;
  OnPump = [&] {
    if (!g->CountRunning() || refused > 0) return;
    ++refused;
    Dialogs.Answers = {mrYes};
    Find("settingsRestoreDefault")->trigger();
    window->findChild<QAction*>("mmSettings_default")->trigger();
  };
  g->Settings.Report.ShowPath.Value = false;
  Find("CountFiles")->trigger();
  EXPECT_EQ(refused, 1);
  EXPECT_FALSE(g->Settings.Report.ShowPath.Value);  // not restored under the run
  int told = 0;
  for (const auto& s : Dialogs.Shown) told += s.Text.find("being counted") != std::string::npos;
  EXPECT_EQ(told, 2);
  EXPECT_EQ(window->ReportView()->ReportGrid()->model()->rowCount(), 3);
}

TEST_F(MainWindowTest, ClosingWithAutomationClientsAsksFirst) {
  Open();
  TKestruneCountQRMT::AutomationClients = [] { return 2; };
  Dialogs.Answers = {mrNo};
  window->close();
  EXPECT_TRUE(window->isVisible());
  ASSERT_EQ(Dialogs.Shown.size(), 1u);
  EXPECT_EQ(Dialogs.Shown[0].Icon, TMsgIcon::Warning);
  EXPECT_NE(Dialogs.Shown[0].Text.find("automation"), std::string::npos);
  Dialogs.Answers = {mrYes};
  window->close();
  EXPECT_FALSE(window->isVisible());
  TKestruneCountQRMT::AutomationClients = [] { return 0; };
  Dialogs.Shown.clear();
  window->show();
  window->close();
  EXPECT_TRUE(Dialogs.Shown.empty());
  TKestruneCountQRMT::AutomationClients = nullptr;
}

TEST_F(MainWindowTest, PathsGivenAtStartAreQueuedAsIfDropped) {
  Open();
  g->EventSliceMs = 0;
  const std::string file = Write("given/one.c", "x\n");
  Write("given/tree/two.h", "");
  Write("given/tree/skip.qq", "");
  const QString cwd = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(Root("given")));
  window->ShowMode(2);
  window->OpenPaths({QString::fromStdString(file), "tree"});
  QDir::setCurrent(cwd);
  EXPECT_TRUE(Find("modeSelectFiles")->isChecked());
  TCountQueueModel* queue = window->SelectionView()->Queue();
  ASSERT_EQ(queue->Count(), 2);
  EXPECT_EQ(queue->Item(0).FullName(), file);
  EXPECT_EQ(queue->Item(1).FullName(), Root("given") + "/tree/two.h");
  EXPECT_EQ(window->StatusText(3), "2 : file(s) to count");
}

TEST_F(MainWindowTest, RemovingRowsAndFormatsDuringARunLeavesTheRunAlone) {
  Open();
  g->EventSliceMs = 0;
  Queue(3);
  TfrmFileSelection* selection = window->SelectionView();
  int c = 0;
  while (g->FileTypes[c].Title != "C") ++c;
  bool done = false;
  OnPump = [&] {
    if (!g->CountRunning() || done) return;
    done = true;
    selection->findChild<QAction*>("cqRemoveAll")->trigger();
    selection->FileTypesBox()->SetCurrent(c);
    Dialogs.Answers = {mrYes};
    selection->findChild<QAction*>("removeFileType")->trigger();
  };
  Find("CountFiles")->trigger();
  ASSERT_TRUE(done);
  EXPECT_EQ(selection->Queue()->Count(), 0);
  EXPECT_EQ(FindTitle(g->FileTypes, "C"), nullptr);
  EXPECT_EQ(window->ReportView()->ReportGrid()->model()->rowCount(), 3);
  EXPECT_EQ(window->ReportView()->StatTable()->FooterText(rcTotal), "6");
}

TEST_F(MainWindowTest, TheSettingsViewReadsAgainOnNotificationWithoutWriting) {
  Open();
  Find("modeSettings")->trigger();
  auto* view = window->findChild<TfrmSettings*>();
  ASSERT_NE(view, nullptr);
  auto* showPath = view->findChild<QCheckBox*>("rptShowPath");
  auto* updates = view->findChild<QCheckBox*>("cbCheckForUpdates");
  auto* clearQueue = view->findChild<QCheckBox*>("cqClearCountQueue");
  auto* clearReport = view->findChild<QCheckBox*>("rptClearBeforeCount");
  showPath->click();  // writes at once
  EXPECT_FALSE(g->Settings.Report.ShowPath.Value);
  clearQueue->click();
  EXPECT_TRUE(g->Settings.FileSelection.ClearCountQueue.Value);
  Dialogs.Answers = {mrYes};
  Find("settingsRestoreDefault")->trigger();  // notifies the views
  EXPECT_TRUE(updates->isChecked());
  EXPECT_FALSE(clearQueue->isChecked());
  EXPECT_TRUE(showPath->isChecked());
  EXPECT_TRUE(clearReport->isChecked());
  EXPECT_EQ(g->Settings, DefaultSettings());  // nothing written back by the re-read
}

TEST_F(MainWindowTest, TheAboutBoxShowsTheProgramAndRoutesItsButtons) {
  Open();
  std::vector<std::string> opened;
  SetUrlOpener([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  QStringList texts;
  TKestruneCountQRMT::RunDialog = [&](QDialog& about) {
    for (const char* name : {"lblAppTitle", "lblAppVersion"}) texts << about.findChild<QLabel*>(name)->text();
    EXPECT_FALSE(about.findChild<QLabel*>("imgLogo")->pixmap().isNull());
    about.findChild<QPushButton*>("btnWebSite")->click();
    about.findChild<QPushButton*>("btnSupport")->click();
    about.findChild<QPushButton*>("btnOK")->click();
    return about.result();
  };
  Find("helpAbout")->trigger();
  EXPECT_EQ(texts, (QStringList{"Kestrune Quorimeter", "Version 1.1.12.30"}));
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], msg::WebSite);
  EXPECT_EQ(opened[1].rfind("mailto:", 0), 0u);
  SetUrlOpener(nullptr);
}

TEST_F(MainWindowTest, TheWindowsDrawAtFullAndAtTheMinimumSize) {
  // The main window with a report of this program's own sources at 1280 by
  // 800 and at the minimum size, the settings view and the about box. With
  // QRMT_CHECK_OUTPUT set the pictures are kept there for a person to look at.
  QTemporaryDir temp;
  const QString out =
      qEnvironmentVariableIsEmpty("QRMT_CHECK_OUTPUT") ? temp.path() : qEnvironmentVariable("QRMT_CHECK_OUTPUT");
  auto save = [&](QWidget& w, const QString& name, QSize size) {
    const QPixmap picture = w.grab();
    EXPECT_EQ(picture.size(), size) << name.toStdString();
    EXPECT_TRUE(picture.save(out + "/" + name)) << name.toStdString();
  };
  Open();
  g->EventSliceMs = 0;
  const std::filesystem::path sources = std::filesystem::path(QRMT_FIXTURES).parent_path().parent_path() / "src";
  for (const auto& e : std::filesystem::recursive_directory_iterator(sources)) {
    if (!e.is_regular_file()) continue;
    {
      auto item = std::make_unique<TCountQueueItem>();
      item->Path = e.path().parent_path().string() + "/";
      item->FileName = e.path().filename().string();
      window->SelectionView()->Queue()->Append(std::move(item));
    }
  }
  {
    auto gone = std::make_unique<TCountQueueItem>();
    gone->Path = sources.string() + "/";
    gone->FileName = "missing.cpp";
    window->SelectionView()->Queue()->Append(std::move(gone));
  }
  Find("CountFiles")->trigger();
  ASSERT_EQ(window->ReportView()->ReportGrid()->model()->rowCount(), window->SelectionView()->Queue()->Count());
  EXPECT_TRUE(window->ReportView()->StatTable()->IsRed(window->SelectionView()->Queue()->Count() - 1, rcFileName));
  for (QSize size : {QSize(1280, 800), QSize(800, 450)}) {
    window->resize(size);
    QApplication::processEvents();
    save(*window, QString("main-report-%1x%2.png").arg(size.width()).arg(size.height()), size);
  }
  window->resize(400, 300);  // no smaller than the minimum
  EXPECT_EQ(window->size(), QSize(800, 450));
  Find("modeSettings")->trigger();
  QApplication::processEvents();
  save(*window, "main-settings.png", window->size());
  window->HelpExecute();
  QApplication::processEvents();
  save(*window->HelpWindow(), "help.png", window->HelpWindow()->size());
  TfrmAbout about(window.get());
  about.show();
  QApplication::processEvents();
  save(about, "about.png", about.size());
  EXPECT_GE(about.width(), 400);
}

TEST_F(MainWindowTest, TheFileSelectionAndTheFormatEditorDrawAtFullAndAtTheMinimumSize) {
  // A folder with a long name, a queue of thousands of rows, and both
  // editor dialogs. With QRMT_CHECK_OUTPUT set the pictures are kept.
  QTemporaryDir temp;
  const QString out =
      qEnvironmentVariableIsEmpty("QRMT_CHECK_OUTPUT") ? temp.path() : qEnvironmentVariable("QRMT_CHECK_OUTPUT");
  auto save = [&](QWidget& w, const QString& name) {
    const QPixmap picture = w.grab();
    EXPECT_FALSE(picture.isNull()) << name.toStdString();
    EXPECT_TRUE(picture.save(out + "/" + name)) << name.toStdString();
  };
  Open();
  g->EventSliceMs = 15;
  const std::string folder = "a folder with a rather long name to see how the tree and the list cope with it";
  for (int i = 0; i < 3000; ++i) Write(folder + "/sub/file" + std::to_string(i) + ".c", "x");
  for (int i = 0; i < 12; ++i) Write(folder + "/unit" + std::to_string(i) + ".pas", "x");
  window->OpenPaths({QString::fromStdString(Root(folder))});
  TfrmFileSelection* view = window->SelectionView();
  ASSERT_EQ(view->Queue()->Count(), 3012);
  view->FoldersTree()->Select(view->FoldersTree()->FileSystem()->index(QString::fromStdString(Root(folder))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return view->FilesList()->Items().size() == 13; }, 10000));
  for (QSize size : {QSize(1280, 800), QSize(800, 450)}) {
    window->resize(size);
    QTest::qWait(50);
    save(*window, QString("main-selection-%1x%2.png").arg(size.width()).arg(size.height()));
    // Every command of the view can be reached at this size.
    for (const char* name : {"sfAddAllFiles", "sfAddAllFilesWithFolders", "sfAddSelected", "sfAddFromClipboard",
                             "cqRemoveAll", "cqRemoveSelected"}) {
      bool shown = false;
      for (QToolButton* b : view->findChildren<QToolButton*>())
        if (b->defaultAction() == view->findChild<QAction*>(name) && b->isVisible())
          shown = shown || view->rect().contains(QRect(b->mapTo(view, QPoint(0, 0)), b->size()));
      EXPECT_TRUE(shown) << name << " at " << size.width();
    }
  }
  TfrmFileTypeEditor editor(window.get());
  editor.SetTitle("Pascal");
  editor.AddMask("*.pas", true);
  editor.AddMask("*.dpr", false);
  TComment c;
  c.CommentType = 1;
  c.StartSymbol = "{";
  c.StopSymbol = "}";
  editor.AddComment(c);
  editor.show();
  QApplication::processEvents();
  save(editor, "format-editor.png");
  TfrmCommentsEditor comment(&editor);
  comment.SetComment(c);
  comment.show();
  QApplication::processEvents();
  save(comment, "comment-editor.png");
}

namespace {

// A local web server that answers every request with `response`.
class TLocalServer {
 public:
  explicit TLocalServer(QByteArray response) : FResponse(std::move(response)) {
    FServer.listen(QHostAddress::LocalHost);
    QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
      QTcpSocket* socket = FServer.nextPendingConnection();
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        socket->readAll();
        socket->write(FResponse);
        socket->disconnectFromHost();
      });
    });
  }
  QString Url(const QString& path) const {
    return QString("http://127.0.0.1:%1%2").arg(FServer.serverPort()).arg(path);
  }

 private:
  QTcpServer FServer;
  QByteArray FResponse;
};

}  // namespace

TEST_F(MainWindowTest, CheckForUpdatesAgainstLocalAddresses) {
  Write("info/newer.info", "# update information\nversion=1.2.0.0\ndownload=https://example.invalid/q-1.2.tar.gz\n");
  Write("info/same.info", "version=1.1.12.30\ndownload=https://example.invalid/q.tar.gz\n");
  Write("info/older-but-longer.info", "version=1.1.9.99\n");
  Write("info/malformed.info", "<html>this is no update information</html>\n");
  auto file = [&](const char* name) { return QUrl::fromLocalFile(QString::fromStdString(Root(name))).toString(); };
  TLocalServer notFound("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  QTcpServer closed;
  closed.listen(QHostAddress::LocalHost);
  const QString refused = QString("http://127.0.0.1:%1/qrmt.info").arg(closed.serverPort());
  closed.close();
  struct Case {
    QString address;
    std::string expect;
  } cases[] = {
      {file("info/newer.info"), "Version 1.2.0.0 of Kestrune Quorimeter is available"},
      {file("info/same.info"), "No updates found"},
      {file("info/older-but-longer.info"), "No updates found"},  // compared as numbers: 9 < 12
      {file("info/malformed.info"), "holds no valid version number"},
      {file("info/none.info"), "Cannot check for updates at"},
      {notFound.Url("/download/qrmt.info"), "Cannot check for updates at"},
      {refused, "Cannot check for updates at"},
  };
  std::vector<std::string> opened;
  SetUrlOpener([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address.toStdString());
    QSettings("Kestrune Software", "Quorimeter").setValue("infoFileURL", c.address);
    Dialogs.Shown.clear();
    Dialogs.Answers = {mrYes};
    Open();
    window->findChild<QAction*>("helpCheckForUpdates")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!Dialogs.Shown.empty(), 10000);
    const std::string& text = Dialogs.Shown[0].Text;
    EXPECT_NE(text.find(c.expect), std::string::npos) << text;
    if (c.expect.rfind("Cannot", 0) == 0) {
      EXPECT_NE(text.find(c.address.toStdString()), std::string::npos) << text;  // names the address
    }
    window.reset();
  }
  EXPECT_EQ(opened, std::vector<std::string>{"https://example.invalid/q-1.2.tar.gz"});
  SetUrlOpener(nullptr);
}

TEST_F(MainWindowTest, TheAutomaticCheckSpeaksOnlyOfNews) {
  TKestruneCountQRMT::AutoUpdateDelayMs = 0;
  Write("info/same.info", "version=1.1.12.30\n");
  Write("info/newer.info", "version=1.1.13\ndownload=https://example.invalid/q.tar.gz\n");
  for (const char* name : {"info/same.info", "info/newer.info"}) {
    QSettings("Kestrune Software", "Quorimeter")
        .setValue("infoFileURL", QUrl::fromLocalFile(QString::fromStdString(Root(name))).toString());
    Dialogs.Shown.clear();
    Dialogs.Answers = {mrNo};
    window = std::make_unique<TKestruneCountQRMT>();
    QSignalSpy none(window->UpdateChecker(), &TUpdateChecker::NoUpdate);
    QSignalSpy news(window->UpdateChecker(), &TUpdateChecker::UpdateAvailable);
    window->show();
    QTRY_VERIFY_WITH_TIMEOUT(none.count() + news.count() == 1, 10000);  // the check has run
    QApplication::processEvents();
    EXPECT_EQ(Dialogs.Shown.size(), std::string(name) == "info/newer.info" ? 1u : 0u) << name;
    window.reset();
  }
  // Off in the settings: no check at all.
  g->Settings.Application.appAutoUpdate.Value = false;
  Dialogs.Shown.clear();
  Open();
  QTest::qWait(300);
  EXPECT_TRUE(Dialogs.Shown.empty());
}

TEST_F(MainWindowTest, HelpOpensTheContentsAndEveryLinkLeadsToAPage) {
  Open();
  QTest::keyClick(window.get(), Qt::Key_F1);
  THelpWindow* help = window->HelpWindow();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  QTextBrowser* browser = help->Browser();
  EXPECT_EQ(browser->source(), QUrl("qrc:/qrmt/help/index.html"));
  EXPECT_TRUE(browser->toPlainText().contains("Kestrune Quorimeter Help"));
  // Every page of the contents exists and has a title of its own.
  const QStringList pages = {"counting", "lines", "formats", "report", "settings", "commandline"};
  for (const QString& page : pages) {
    browser->setSource(QUrl("qrc:/qrmt/help/" + page + ".html"));
    EXPECT_FALSE(browser->documentTitle().isEmpty()) << page.toStdString();
    EXPECT_GT(browser->toPlainText().size(), 100) << page.toStdString();
  }
  help->findChild<QAction*>("helpContents")->trigger();
  EXPECT_EQ(browser->source(), QUrl("qrc:/qrmt/help/index.html"));
  // "What's this?" is offered, and the main controls carry a text for it.
  EXPECT_NE(window->findChild<QAction*>("WhatsThis1"), nullptr);
  EXPECT_FALSE(Find("CountFiles")->whatsThis().isEmpty());
}

TEST_F(MainWindowTest, PostedMessagesShowAndHideTheWindowAndAreSwallowed) {
  Open();
  int reached = 0;
  struct TCounter : QObject {
    int* count;
    explicit TCounter(int* c) : count(c) {}
    bool event(QEvent* e) override {
      if (e->type() == TPostedMessage::EventType()) ++*count;
      return QObject::event(e);
    }
  } counter(&reached);
  QCoreApplication::postEvent(&counter, new TPostedMessage(UM_APP_SET_VISIBLE, 0));
  QApplication::processEvents();
  EXPECT_FALSE(window->isVisible());
  QCoreApplication::postEvent(&counter, new TPostedMessage(UM_APP_SET_VISIBLE, 1));
  QApplication::processEvents();
  EXPECT_TRUE(window->isVisible());
  QCoreApplication::postEvent(&counter, new TPostedMessage(UM_APP_QUERY_VISIBLE, 0));
  QApplication::processEvents();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(reached, 0);  // neither went on to the object it was posted to
  QCoreApplication::postEvent(&counter, new TPostedMessage(0x502, 0));
  QApplication::processEvents();
  EXPECT_EQ(reached, 1);  // any other message goes its normal way
}
