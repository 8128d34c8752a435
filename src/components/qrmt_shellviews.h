// The folder tree and the file list of the file selection: the machine's
// folders from the file-system root, and the items of one folder in four
// styles, each item shown only when the owner's decision admits it.
// Hidden items are never shown.
#pragma once

#include <QFileInfo>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QWidget>
#include <functional>

class QFileSystemModel;
class QListView;
class QStackedLayout;
class QItemSelectionModel;
class QAbstractItemView;

namespace qrmt {

class TShellFolderTree : public QTreeView {
  Q_OBJECT

 public:
  explicit TShellFolderTree(QWidget* parent = nullptr);
  QFileSystemModel* FileSystem() const { return FModel; }
  // The selected folder's path; empty when none is.
  QString SelectedFolder() const;
  // The top node: the file-system root.
  QModelIndex TopNode() const;
  // The first child folder of `node` named `name` exactly; invalid if none.
  QModelIndex ChildNamed(const QModelIndex& node, const QString& name) const;
  void Select(const QModelIndex& node);
  QString Path(const QModelIndex& node) const;
  QString DisplayName(const QModelIndex& node) const;

 signals:
  void FolderChanged();

 private:
  QFileSystemModel* FModel;
};

// One item of the list: what the owner needs to add it.
struct TShellItem {
  QString DisplayName;
  QString Path;
  bool IsFolder = false;
};

class TShellFileList : public QWidget {
  Q_OBJECT

 public:
  enum TStyle { vsList, vsReport, vsSmallIcons, vsIcons };

  explicit TShellFileList(QWidget* parent = nullptr);
  // Decides for each item whether it is shown.
  void SetDecision(std::function<bool(const QFileInfo&)> decide);
  void SetFolder(const QString& folder);
  QString Folder() const { return FFolder; }
  // Re-reads the decision for every item, keeping the selected item where
  // it can.
  void Refresh();
  void SetStyle(TStyle style);
  TStyle Style() const { return FStyle; }
  // The items shown, in display order; the selected ones.
  QList<TShellItem> Items() const;
  QList<TShellItem> SelectedItems() const;
  // The view in use, for drags and selection.
  QAbstractItemView* View() const;
  QListView* ListView() const { return FList; }
  QTreeView* DetailView() const { return FDetails; }
  QFileSystemModel* FileSystem() const { return FModel; }
  // Whether the current folder has been read.
  bool Loaded() const { return FLoaded; }

 signals:
  void ItemDoubleClicked();
  void FolderLoaded();

 private:
  class TFilter : public QSortFilterProxyModel {
   public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    std::function<bool(const QFileInfo&)> Decide;
    QModelIndex Root;
    void Reread() { invalidateFilter(); }

   protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;
  };
  TShellItem ItemAt(const QModelIndex& proxyIndex) const;
  QModelIndex ProxyRoot() const;

  QFileSystemModel* FModel;
  TFilter* FFilter;
  QStackedLayout* FStack;
  QListView* FList;
  QTreeView* FDetails;
  QItemSelectionModel* FSelection;
  QString FFolder;
  TStyle FStyle = vsList;
  bool FLoaded = false;
  QSet<QString> FRead;  // folders the model has read
};

}  // namespace qrmt
