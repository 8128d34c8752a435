// The file selection view: the folder tree, the file list narrowed by the
// file formats, the two filter drop-downs, the format commands, and the
// count queue with every way of filling it.
#pragma once

#include <QElapsedTimer>
#include <QFileInfo>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "app/qrmt_platform.h"

class QAction;
class QActionGroup;
class QGridLayout;
class QLabel;
class QMimeData;
class QSplitter;
class QTableView;
class QToolBar;
class QToolButton;

namespace qrmt {

class TCheckComboBox;
class TCountQueueModel;
class TShellFileList;
class TShellFolderTree;
struct TShellItem;

class TfrmFileSelection : public QWidget, public TMessageReceiver {
  Q_OBJECT

 public:
  explicit TfrmFileSelection(QWidget* parent = nullptr);
  ~TfrmFileSelection() override;

  intptr_t HandleMessage(unsigned code, uintptr_t wParam, intptr_t lParam) override;

  // The count queue.
  bool MatchesFilter(const std::string& fileName) const;
  bool IsQueued(const std::string& fileName) const;
  void AddFile(const std::string& fileName);
  void AddPath(const std::string& path);
  void AddFolder(const std::string& folder);
  void AddZipArchive(const std::string& archive);
  void ZipProgress(int percent);
  void FilesListDblClick();
  // Names dropped from another program, or given on the command line.
  void AddDropped(const QStringList& paths);
  // A drop on the queue: from the file list, or from another program.
  void DropOnQueue(const QMimeData* data, QObject* source);

  void sfAddAllFilesExecute();
  void sfAddAllFilesWithFoldersExecute();
  void sfAddSelectedExecute();
  void sfAddFromClipboardExecute();
  void cqRemoveAllExecute();
  void cqRemoveSelectedExecute();

  // The folder chain of a tree node, and the walk back to one.
  QString FolderPath(const QModelIndex& node) const;
  void OpenFolderPath(const QString& path);

  void newFileTypeExecute();
  void modifyFileTypeExecute();
  void removeFileTypeExecute();

  TCountQueueModel* Queue() const { return FQueue; }
  QTableView* QueueGrid() const { return FGrid; }
  TShellFolderTree* FoldersTree() const { return FTree; }
  TShellFileList* FilesList() const { return FList; }
  TCheckComboBox* FileTypesBox() const { return FTypes; }
  TCheckComboBox* FileExtBox() const { return FExts; }
  // The main window's Count Files command on the Count button.
  void SetCountAction(QAction* count);
  bool Adding() const { return FAdding > 0; }

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void ApplySizes();
  void LayOutAddButtons(bool oneRow);
  void ChangeViewStyle();
  void SetViewStyleFromMenu(int style);
  void ShowFoldersClick(bool checked);
  void ZipClick(bool down);
  void FileTypesCloseUp();
  void FileExtChange();
  void FoldersTreeChange();
  bool FilesListAddFolder(const QFileInfo& info) const;
  bool IsShellFolder(const QFileInfo& info) const;
  void FillFileExt(int type);
  // The list-based add commands: each item to AddPath, or with
  // `filesOnly` the files alone to AddFile; ESC stops between items.
  void AddListItems(const QList<TShellItem>& items, bool filesOnly);
  // Lets events through once a slice has passed; true when aborted.
  bool Pump();
  void QueueSizeChanged();
  void ShowError(const std::string& text);

  THandle FHandle = 0;
  bool FReady = false;
  bool FTreeTracking = false;
  bool FAbort = false;
  int FAdding = 0;  // adding operations running, nested ones included
  int FViewStyle = 0;
  QElapsedTimer FSlice;

  TShellFolderTree* FTree;
  TShellFileList* FList;
  TCheckComboBox* FTypes;
  TCheckComboBox* FExts;
  TCountQueueModel* FQueue;
  QTableView* FGrid;
  QSplitter* FSplitter;
  QWidget* FLeft;
  QToolButton* FCount;
  QWidget* FAddBar;
  QGridLayout* FAddGrid;
  std::vector<QToolButton*> FAddButtons;
  bool FAddOneRow = true;
  QAction* FShowFolders;
  QAction* FZip;
  std::array<QAction*, 4> FStyles{};
};

}  // namespace qrmt
