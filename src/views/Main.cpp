#include "Main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWhatsThis>

#include "About.h"
#include "FileSelection.h"
#include "Report.h"
#include "Settings.h"
#include "app/qrmt_global.h"
#include "app/qrmt_messages.h"
#include "components/qrmt_help.h"
#include "components/qrmt_icons.h"
#include "components/qrmt_queuegrid.h"
#include "components/qrmt_updates.h"

namespace qrmt {

namespace {

constexpr const char* SettingsFilter = "Kestrune QRMT Settings files (*.settings)";
constexpr const char* CountRunning =
    "Files are being counted. Wait until the count ends, or press ESC to abort it, and try again.";

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QString Printf(const char* format, long long value) {
  QString text = QString::fromUtf8(format);
  text.replace("%d", QString::number(value));
  text.replace("%%", "%");
  return text;
}

}  // namespace

TKestruneCountQRMT::TKestruneCountQRMT(QWidget* parent) : QMainWindow(parent) {
  setObjectName("KestruneCountQRMT");
  setWindowTitle(Global ? Q(Global->Title + Global->ShortVersion) : QString(msg::AppTitle));
  setWindowIcon(QIcon(":/qrmt/quorimeter.png"));
  setMinimumSize(800, 450);
  resize(800, 450);

  FModes[0] = CommandAction(this, "modeSelectFiles", "File Selection", "folder-open", "File Selection");
  FModes[1] = CommandAction(this, "modeSettings", "Settings", "preferences-system");
  FModes[2] = CommandAction(this, "modeReport", "Report", "x-office-spreadsheet");
  FModeGroup = new QActionGroup(this);
  for (int m = 0; m < 3; ++m) {
    FModes[static_cast<size_t>(m)]->setCheckable(true);
    FModeGroup->addAction(FModes[static_cast<size_t>(m)]);
    connect(FModes[static_cast<size_t>(m)], &QAction::triggered, this, [this, m] { ShowMode(m); });
  }
  QAction* count = CommandAction(this, "CountFiles", "Count Files", "media-playback-start");
  FCount = count;
  connect(count, &QAction::triggered, this, &TKestruneCountQRMT::CountFilesExecute);
  FLoad = CommandAction(this, "settingsLoad", "Load Settings ...", "document-open");
  FSaveAs = CommandAction(this, "settingsSaveAs", "Save Settings As ...", "document-save-as");
  FRestore = CommandAction(this, "settingsRestoreDefault", "Restore Default Settings", "edit-undo");
  connect(FLoad, &QAction::triggered, this, &TKestruneCountQRMT::LoadSettingsExecute);
  connect(FSaveAs, &QAction::triggered, this, &TKestruneCountQRMT::SaveSettingsAsExecute);
  connect(FRestore, &QAction::triggered, this, &TKestruneCountQRMT::RestoreDefaultExecute);
  QAction* removeLogs = CommandAction(this, "removeLogFiles", "Remove Log Files", "edit-delete");
  connect(removeLogs, &QAction::triggered, this, &TKestruneCountQRMT::RemoveLogFilesExecute);
  QAction* exitApp = CommandAction(this, "FileExit", "Exit", "application-exit");
  connect(exitApp, &QAction::triggered, this, &QWidget::close);
  QAction* feedback = CommandAction(this, "contSendFeedback", "Send Feedback", "mail-send");
  QAction* supportMail = CommandAction(this, "contTechnicalSupport", "Technical Support", "help-contents");
  QAction* web = CommandAction(this, "contVisitOurWebSite", "Visit Our WebSite", "web-browser");
  QAction* news = CommandAction(this, "contSubscribeToNewsletter", "Subscribe to Newsletter", "mail-message-new");
  connect(feedback, &QAction::triggered, this, [] { Global->OpenFeedbackMail(); });
  connect(supportMail, &QAction::triggered, this, [] { Global->OpenSupportMail(); });
  connect(web, &QAction::triggered, this, [] { Global->OpenWebSite(); });
  connect(news, &QAction::triggered, this, [] { Global->OpenNewsletterMail(); });
  QAction* helpHelp = CommandAction(this, "helpHelp", "Help", "help-contents");
  helpHelp->setShortcut(QKeySequence::HelpContents);  // F1
  helpHelp->setShortcutContext(Qt::ApplicationShortcut);
  connect(helpHelp, &QAction::triggered, this, &TKestruneCountQRMT::HelpExecute);
  QAction* checkUpdates = CommandAction(this, "helpCheckForUpdates", "Check for Updates", "system-software-update");
  connect(checkUpdates, &QAction::triggered, this, &TKestruneCountQRMT::CheckForUpdatesExecute);
  QAction* about = CommandAction(this, "helpAbout", "About ", "help-about");
  connect(about, &QAction::triggered, this, &TKestruneCountQRMT::AboutExecute);

  auto* countBar = addToolBar("Count");
  countBar->setObjectName("ToolBar1");
  countBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  countBar->setMovable(false);
  countBar->addAction(count);
  auto* modeBar = addToolBar("Modes");
  modeBar->setObjectName("pnlMainToolbar");
  modeBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  modeBar->setMovable(false);
  for (QAction* a : FModes) modeBar->addAction(a);
  // The buttons carry the names the mode commands are known by.
  const char* buttonNames[] = {"tbSelectFiles", "tbSettings", "tbReport"};
  for (int m = 0; m < 3; ++m)
    if (QWidget* b = modeBar->widgetForAction(FModes[static_cast<size_t>(m)])) b->setObjectName(buttonNames[m]);

  QMenu* file = menuBar()->addMenu("File");
  file->setObjectName("mmFile");
  FSettingsMenu = file->addMenu("Settings");
  FSettingsMenu->setObjectName("mmSettings");
  file->addAction(removeLogs);
  file->addSeparator();
  file->addAction(exitApp);
  QMenu* help = menuBar()->addMenu("Help");
  help->setObjectName("mmHelp");
  help->addAction(helpHelp);
  QAction* whatsThis = QWhatsThis::createAction(this);
  whatsThis->setObjectName("WhatsThis1");
  help->addAction(whatsThis);
  help->addAction(checkUpdates);
  QMenu* contact = help->addMenu("Contact Us");
  contact->setObjectName("mmContactUs");
  for (QAction* a : {feedback, supportMail, web, news}) contact->addAction(a);
  help->addAction(about);

  count->setWhatsThis("Counts the files of the count queue and shows the report. Esc aborts a count.");
  FModes[0]->setWhatsThis("Shows the file selection, where files are put into the count queue.");
  FModes[1]->setWhatsThis("Shows the options: clearing the queue and the report, paths, update checks.");
  FModes[2]->setWhatsThis("Shows the report: one row per counted file and the totals.");
  FWorkSpace = new QStackedWidget(this);
  FWorkSpace->setObjectName("pnlWorkSpace");
  setCentralWidget(FWorkSpace);

  const int widths[] = {350, 50, 50, 120, 50};
  for (size_t p = 0; p < FPanels.size(); ++p) {
    auto* label = new QLabel(this);
    label->setObjectName(QString("StBarPanel%1").arg(p));
    label->setMinimumWidth(widths[p]);
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    statusBar()->addWidget(label, p == 0 ? 1 : 0);
    FPanels[p] = label;
  }
  statusBar()->setObjectName("StBar");
  statusBar()->setSizeGripEnabled(true);
  if (Global) SetStatus(4, Q(Global->VersionText));

  try {
    BuildSettingsMenu();
  } catch (...) {
    // The program starts anyway; the submenu may lack items.
  }
  // The update checker: the web site's information file, or the address
  // the registry's "infoFileURL" gives.
  FUpdates = new TUpdateChecker(Global ? Q(Global->VersionNumber) : QString(), this);
  QString address = QString(msg::WebSite) + "//download//qrmt.info";
  if (const auto custom = registry::ReadString("infoFileURL"); custom && !custom->empty()) address = Q(*custom);
  FUpdates->SetAddress(QUrl(address));
  connect(FUpdates, &TUpdateChecker::NoUpdate, this, [this] {
    if (!FSilentCheck) Dialogs().MessageBox("No updates found", Global->Title, TMsgIcon::Information, TMsgButtons::OK);
  });
  connect(FUpdates, &TUpdateChecker::Failed, this, [this](const QString& message) {
    if (!FSilentCheck) Dialogs().MessageBox(message.toStdString(), Global->Title, TMsgIcon::Error, TMsgButtons::OK);
  });
  connect(FUpdates, &TUpdateChecker::UpdateAvailable, this, [](const QString& version, const QUrl& download) {
    const std::string text = "Version " + version.toStdString() + " of " + Global->Title +
                             " is available. Open its download page?\n\n" + download.toString().toStdString();
    if (Dialogs().MessageBox(text, Global->Title, TMsgIcon::Question, TMsgButtons::YesNo) == mrYes)
      OpenUrl(download.toString().toStdString());
  });

  FHandle = RegisterReceiver(this);
  qApp->installEventFilter(this);  // sees every key first, for ESC
}

TKestruneCountQRMT::~TKestruneCountQRMT() {
  qApp->removeEventFilter(this);
  if (Global && Global->MainWindow == FHandle) Global->MainWindow = 0;
  UnregisterReceiver(FHandle);
}

void TKestruneCountQRMT::SetStatus(int panel, const QString& text) {
  FPanels[static_cast<size_t>(panel)]->setText(text);
}

QString TKestruneCountQRMT::StatusText(int panel) const {
  return FPanels.at(static_cast<size_t>(panel))->text();
}

QWidget* TKestruneCountQRMT::CurrentView() const {
  return FWorkSpace->currentWidget();
}

void TKestruneCountQRMT::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FShown) return;
  FShown = true;
  if (!Global) return;
  Global->MainWindow = FHandle;
  ShowMode(0);
  // Each stored coordinate that is not -1 replaces the centred default.
  QRect frame = geometry();
  if (const QScreen* screen = this->screen()) frame.moveCenter(screen->availableGeometry().center());
  const auto& a = Global->Settings.Application;
  if (a.mfLeft.Value != -1) frame.moveLeft(a.mfLeft.Value);
  if (a.mfTop.Value != -1) frame.moveTop(a.mfTop.Value);
  if (a.mfWidth.Value != -1) frame.setWidth(std::max(a.mfWidth.Value, minimumWidth()));
  if (a.mfHeight.Value != -1) frame.setHeight(std::max(a.mfHeight.Value, minimumHeight()));
  setGeometry(frame);
  // The automatic check, in the background, silent unless there is news.
  if (a.appAutoUpdate.Value)
    QTimer::singleShot(AutoUpdateDelayMs, this, [this] {
      if (FUpdates->Busy()) return;
      FSilentCheck = true;
      FUpdates->Check();
    });
}

void TKestruneCountQRMT::HelpExecute() {
  if (!FHelp) FHelp = new THelpWindow(this);
  FHelp->ShowContents();
  FHelp->show();
  FHelp->raise();
}

void TKestruneCountQRMT::CheckForUpdatesExecute() {
  if (FUpdates->Busy()) return;
  FSilentCheck = false;
  FUpdates->Check();
}

void TKestruneCountQRMT::closeEvent(QCloseEvent* event) {
  if (AutomationClients && AutomationClients() > 0 && Global &&
      Dialogs().MessageBox(
          "Programs are still connected to " + Global->Title + " through its automation interface. Close it anyway?",
          Global->Title, TMsgIcon::Warning, TMsgButtons::YesNo) != mrYes) {
    event->ignore();
    return;
  }
  if (Global) {
    const QRect g = geometry();
    auto& a = Global->Settings.Application;
    a.mfLeft.Value = g.left();
    a.mfTop.Value = g.top();
    a.mfWidth.Value = g.width();
    a.mfHeight.Value = g.height();
  }
  if (FReport) FReport->StoreColumnWidths();
  // An add that runs stops at its next look at the events.
  if (Global) SendMessage(Global->SelectionWindow, UM_ABORT);
  event->accept();
}

QEvent::Type TPostedMessage::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

bool TKestruneCountQRMT::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == TPostedMessage::EventType()) {
    const auto* posted = static_cast<TPostedMessage*>(event);
    if (posted->Code == UM_APP_SET_VISIBLE) setVisible(posted->LParam != 0);
    return posted->Code == UM_APP_SET_VISIBLE || posted->Code == UM_APP_QUERY_VISIBLE;  // not passed on
  }
  if (event->type() == QEvent::KeyPress && isActiveWindow()) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape &&
        (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0 &&
        QApplication::mouseButtons() == Qt::NoButton && !key->isAutoRepeat() && Global) {
      if (Dialogs().MessageBox(msg::AbortQuestion, Global->Title, TMsgIcon::Question, TMsgButtons::YesNo) == mrYes)
        Global->AbortCount();
    }
  }
  return QMainWindow::eventFilter(watched, event);  // the key goes on to the focused control
}

void TKestruneCountQRMT::ShowMode(int mode) {
  QWidget* view = nullptr;
  switch (mode) {
    case 0: view = SelectionView(); break;
    case 1:
      if (!FSettings) {
        FSettings = new TfrmSettings(FWorkSpace);
        FWorkSpace->addWidget(FSettings);
      }
      view = FSettings;
      break;
    default:
      if (!FReport) {
        FReport = new TfrmReport(FWorkSpace);
        FWorkSpace->addWidget(FReport);
      }
      view = FReport;
      break;
  }
  FModes[static_cast<size_t>(std::clamp(mode, 0, 2))]->setChecked(true);
  FWorkSpace->setCurrentWidget(view);
}

void TKestruneCountQRMT::OpenPaths(const QStringList& paths) {
  ShowMode(0);
  QStringList absolute;
  for (const QString& p : paths) absolute << QFileInfo(p).absoluteFilePath();
  SelectionView()->AddDropped(absolute);
}

TfrmFileSelection* TKestruneCountQRMT::SelectionView() {
  if (!FSelection) {
    FSelection = new TfrmFileSelection(FWorkSpace);
    FSelection->SetCountAction(FCount);
    FWorkSpace->addWidget(FSelection);
  }
  return FSelection;
}

void TKestruneCountQRMT::CountFilesExecute() {
  if (!Global) return;
  TCountQueueModel* queue = SelectionView()->Queue();
  queue->Flush();
  if (queue->Count() == 0) {
    Dialogs().MessageBox(msg::AddFilesFirst, Global->Title, TMsgIcon::Information, TMsgButtons::OK);
    if (!FModes[0]->isChecked()) ShowMode(0);
    return;
  }
  ShowMode(2);
  try {
    if (!Global->CountFiles(queue->Rows()))
      Dialogs().MessageBox(CountRunning, Global->Title, TMsgIcon::Information, TMsgButtons::OK);
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

void TKestruneCountQRMT::ShowError(const std::exception& e) {
  Dialogs().MessageBox(e.what(), Global ? Global->Title : msg::AppTitle, TMsgIcon::Error, TMsgButtons::OK);
}

bool TKestruneCountQRMT::RefuseWhileCounting() {
  if (!Global || !Global->CountRunning()) return false;
  Dialogs().MessageBox(CountRunning, Global->Title, TMsgIcon::Information, TMsgButtons::OK);
  return true;
}

void TKestruneCountQRMT::BuildSettingsMenu() {
  FSettingsMenu->clear();
  if (!Global) return;
  auto* group = new QActionGroup(FSettingsMenu);
  const std::string inUse = QFileInfo(Q(Global->SettingsFile)).completeBaseName().toStdString();
  const auto names = Global->ListSettingsNames();
  for (const std::string& name : names) {
    QAction* item = FSettingsMenu->addAction(Q(name));
    item->setObjectName(Q("mmSettings_" + name));
    item->setCheckable(true);
    item->setChecked(name == inUse);
    group->addAction(item);
    connect(item, &QAction::triggered, this, [this, name] {
      if (RefuseWhileCounting()) {
        BuildSettingsMenu();  // the check mark goes back
        return;
      }
      try {
        Global->LoadNamedSettings(name);
      } catch (const std::exception& e) {
        ShowError(e);
        BuildSettingsMenu();
      }
    });
  }
  if (!names.empty()) FSettingsMenu->addSeparator();
  FSettingsMenu->addAction(FLoad);
  FSettingsMenu->addAction(FSaveAs);
  FSettingsMenu->addAction(FRestore);
}

void TKestruneCountQRMT::LoadSettingsExecute() {
  if (RefuseWhileCounting()) return;
  const std::string file = Dialogs().OpenFileName("Load Settings", Global->ProgramFolder, SettingsFilter);
  if (file.empty()) return;
  // The container of that name in the program folder, wherever it was picked.
  try {
    Global->LoadNamedSettings(QFileInfo(Q(file)).completeBaseName().toStdString());
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

void TKestruneCountQRMT::SaveSettingsAsExecute() {
  if (RefuseWhileCounting()) return;
  std::string file = Dialogs().SaveFileName("Save Settings As", Global->ProgramFolder, SettingsFilter);
  if (file.empty()) return;
  const QFileInfo info(Q(file));
  file = (info.dir().filePath(info.completeBaseName()) + SettingsExtension).toStdString();
  try {
    Global->SaveSettingsAs(file);
  } catch (const std::exception& e) {
    ShowError(e);
  }
  BuildSettingsMenu();
}

void TKestruneCountQRMT::RestoreDefaultExecute() {
  if (RefuseWhileCounting()) return;
  if (Dialogs().MessageBox(msg::AreYouSure, Global->Title, TMsgIcon::Question, TMsgButtons::YesNo) == mrYes)
    Global->RestoreDefaultSettings();
}

void TKestruneCountQRMT::RemoveLogFilesExecute() {
  QDir dir(Q(Global->ProgramFolder));
  for (const QString& name : dir.entryList({"*.log"}, QDir::Files | QDir::Hidden))
    dir.remove(name);  // one that cannot go stays, silently
}

void TKestruneCountQRMT::AboutExecute() {
  TfrmAbout about(this);
  if (RunDialog) {
    RunDialog(about);
  } else {
    about.exec();
  }
}

intptr_t TKestruneCountQRMT::HandleMessage(unsigned code, uintptr_t wParam, intptr_t lParam) {
  switch (code) {
    case UM_ADDING_FILES: SetStatus(0, wParam == 1 ? QString(msg::AddingFiles) : QString()); break;
    case UM_COUNT_PROGRESS: SetStatus(0, wParam == 1 ? Printf(msg::CountingProgress, lParam) : QString()); break;
    case UM_QUEUE_SIZE: SetStatus(3, Printf(msg::FilesToCount, static_cast<long long>(wParam))); break;
    case UM_EXPORT_PROGRESS: SetStatus(0, wParam == 1 ? Printf(msg::ExportProgress, lParam) : QString()); break;
    case UM_UNZIP_PROGRESS: SetStatus(0, Printf(msg::ExtractProgress, static_cast<long long>(wParam))); break;
    case UM_CHECK_UPDATES: CheckForUpdatesExecute(); break;
    default: break;
  }
  return 0;
}

}  // namespace qrmt
