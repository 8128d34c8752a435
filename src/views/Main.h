// The main window: the three modes with their lazily made views, the
// count command, the Settings submenu, the status bar, ESC as an abort
// request, and the window's geometry kept in the settings.
#pragma once

#include <QEvent>
#include <QMainWindow>
#include <array>
#include <functional>

#include "app/qrmt_platform.h"
#include "core/qrmt_classes.h"

class QAction;
class QActionGroup;
class QDialog;
class QLabel;
class QMenu;
class QStackedWidget;

namespace qrmt {

class TfrmFileSelection;
class TfrmReport;
class TfrmSettings;
class TUpdateChecker;
class THelpWindow;

// A message posted through the event queue, addressed to the application:
// 0x501 shows (lParam non-zero) or hides the main window, 0x500 is
// swallowed; neither reaches a window.
class TPostedMessage : public QEvent {
 public:
  static QEvent::Type EventType();
  TPostedMessage(unsigned code, intptr_t lParam) : QEvent(EventType()), Code(code), LParam(lParam) {}
  unsigned Code;
  intptr_t LParam;
};

class TKestruneCountQRMT : public QMainWindow, public TMessageReceiver {
  Q_OBJECT

 public:
  explicit TKestruneCountQRMT(QWidget* parent = nullptr);
  ~TKestruneCountQRMT() override;

  intptr_t HandleMessage(unsigned code, uintptr_t wParam, intptr_t lParam) override;

  // Runs a modal dialog; tests replace it to answer without waiting.
  static inline std::function<int(QDialog&)> RunDialog;

  // Files and folders handed over at start (the command line, a file
  // manager's "Open with"): queued as if dropped on the count queue.
  void OpenPaths(const QStringList& paths);
  // The file selection view, made on first need.
  TfrmFileSelection* SelectionView();

  void CountFilesExecute();
  void ShowMode(int mode);  // 0 file selection, 1 settings, 2 report
  void BuildSettingsMenu();
  QString StatusText(int panel) const;
  QWidget* CurrentView() const;
  TfrmReport* ReportView() const { return FReport; }
  TUpdateChecker* UpdateChecker() const { return FUpdates; }
  // Check for Updates: a check whose every answer is told.
  void CheckForUpdatesExecute();
  // Help: the help window on its contents page.
  void HelpExecute();
  THelpWindow* HelpWindow() const { return FHelp; }
  // Clients connected through automation; closing while there are any asks.
  static inline std::function<int()> AutomationClients;
  // Milliseconds after the first show for the automatic check.
  static inline int AutoUpdateDelayMs = 5000;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetStatus(int panel, const QString& text);
  bool RefuseWhileCounting();
  void LoadSettingsExecute();
  void SaveSettingsAsExecute();
  void RestoreDefaultExecute();
  void RemoveLogFilesExecute();
  void AboutExecute();
  void ShowError(const std::exception& e);

  THandle FHandle = 0;
  bool FShown = false;
  QStackedWidget* FWorkSpace;
  TfrmFileSelection* FSelection = nullptr;
  QAction* FCount = nullptr;
  TfrmSettings* FSettings = nullptr;
  TfrmReport* FReport = nullptr;
  std::array<QAction*, 3> FModes{};
  QActionGroup* FModeGroup;
  QMenu* FSettingsMenu;
  QAction* FLoad;
  QAction* FSaveAs;
  QAction* FRestore;
  std::array<QLabel*, 5> FPanels{};
  TUpdateChecker* FUpdates;
  THelpWindow* FHelp = nullptr;
  bool FSilentCheck = false;  // the automatic check tells only of an update
};

}  // namespace qrmt
