#include "qrmt_shellviews.h"

#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QStackedLayout>

namespace qrmt {

TShellFolderTree::TShellFolderTree(QWidget* parent) : QTreeView(parent), FModel(new QFileSystemModel(this)) {
  FModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  FModel->setReadOnly(true);
  FModel->setRootPath(QDir::rootPath());
  setModel(FModel);
  for (int c = 1; c < FModel->columnCount(); ++c) hideColumn(c);
  setHeaderHidden(true);
  setIndentation(19);
  setRootIsDecorated(true);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setContextMenuPolicy(Qt::PreventContextMenu);
  // Long names scroll sideways rather than being cut.
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { emit FolderChanged(); });
}

QString TShellFolderTree::SelectedFolder() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? FModel->filePath(current) : QString();
}

QModelIndex TShellFolderTree::TopNode() const {
  return FModel->index(QDir::rootPath());
}

QModelIndex TShellFolderTree::ChildNamed(const QModelIndex& node, const QString& name) const {
  if (!node.isValid() || name.isEmpty() || name.contains('/')) return {};
  QString base = FModel->filePath(node);
  if (!base.endsWith('/')) base += '/';
  const QFileInfo info(base + name);
  // Only what the tree shows: a folder that is not hidden.
  if (!info.isDir() || info.isHidden()) return {};
  return FModel->index(info.filePath());
}

void TShellFolderTree::Select(const QModelIndex& node) {
  if (!node.isValid()) return;
  for (QModelIndex up = node.parent(); up.isValid(); up = up.parent()) expand(up);
  setCurrentIndex(node);
  scrollTo(node);
}

QString TShellFolderTree::Path(const QModelIndex& node) const {
  return FModel->filePath(node);
}

QString TShellFolderTree::DisplayName(const QModelIndex& node) const {
  return FModel->fileName(node);
}

bool TShellFileList::TFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
  // Only the items of the folder shown are decided; its ancestors must
  // stay for the folder to be reachable.
  if (parent != Root) return true;
  const auto* fs = static_cast<QFileSystemModel*>(sourceModel());
  const QModelIndex index = fs->index(row, 0, parent);
  return !Decide || Decide(fs->fileInfo(index));
}

TShellFileList::TShellFileList(QWidget* parent)
    : QWidget(parent), FModel(new QFileSystemModel(this)), FFilter(new TFilter(this)) {
  FModel->setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot);
  FModel->setReadOnly(false);  // names can be edited in place
  FFilter->setSourceModel(FModel);
  FFilter->setDynamicSortFilter(true);
  FStack = new QStackedLayout(this);
  FStack->setContentsMargins(0, 0, 0, 0);
  FList = new QListView(this);
  FList->setObjectName("FilesListItems");
  FDetails = new QTreeView(this);
  FDetails->setObjectName("FilesListDetails");
  FList->setModel(FFilter);
  FDetails->setModel(FFilter);
  FSelection = FList->selectionModel();
  FDetails->setSelectionModel(FSelection);
  for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(FList), static_cast<QAbstractItemView*>(FDetails)}) {
    v->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->setDragEnabled(true);
    v->setDragDropMode(QAbstractItemView::DragOnly);
    v->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    connect(v, &QAbstractItemView::doubleClicked, this, [this] { emit ItemDoubleClicked(); });
    FStack->addWidget(v);
  }
  FDetails->setRootIsDecorated(false);
  FDetails->setItemsExpandable(false);
  FDetails->setUniformRowHeights(true);
  FDetails->header()->resizeSection(0, 260);
  connect(FModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
    FRead.insert(QDir(path).absolutePath());
    if (QDir(path) != QDir(FFolder)) return;
    FLoaded = true;
    emit FolderLoaded();
  });
  SetStyle(vsList);
}

void TShellFileList::SetDecision(std::function<bool(const QFileInfo&)> decide) {
  FFilter->Decide = std::move(decide);
  Refresh();
}

QModelIndex TShellFileList::ProxyRoot() const {
  return FFilter->mapFromSource(FFilter->Root);
}

void TShellFileList::SetFolder(const QString& folder) {
  if (folder == FFolder && FFilter->Root.isValid()) return;
  FFolder = folder;
  FLoaded = false;
  FSelection->clear();
  if (folder.isEmpty()) {
    FFilter->Root = QModelIndex();
    FList->setRootIndex(QModelIndex());
    FDetails->setRootIndex(QModelIndex());
    return;
  }
  FFilter->Root = FModel->setRootPath(folder);
  FModel->sort(0, Qt::AscendingOrder);
  FFilter->Reread();
  const QModelIndex root = ProxyRoot();
  FList->setRootIndex(root);
  FDetails->setRootIndex(root);
  // A folder read before is not read again: tell at once.
  if (FRead.contains(QDir(folder).absolutePath())) {
    FLoaded = true;
    emit FolderLoaded();
  }
}

void TShellFileList::Refresh() {
  const QModelIndex current = FSelection->currentIndex();
  const QString keep = current.isValid() ? FModel->filePath(FFilter->mapToSource(current)) : QString();
  const int keepRow = current.isValid() ? current.row() : -1;
  QStringList selected;
  for (const QModelIndex& i : FSelection->selectedIndexes())
    if (i.column() == 0) selected << FModel->filePath(FFilter->mapToSource(i));
  FFilter->Reread();
  const QModelIndex root = ProxyRoot();
  FList->setRootIndex(root);
  FDetails->setRootIndex(root);
  for (const QString& path : selected) {
    const QModelIndex i = FFilter->mapFromSource(FModel->index(path));
    if (i.isValid()) FSelection->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  QModelIndex again = keep.isEmpty() ? QModelIndex() : FFilter->mapFromSource(FModel->index(keep));
  // The item went: the one at its place, or the last.
  if (!again.isValid() && keepRow >= 0) {
    const int rows = FFilter->rowCount(root);
    if (rows > 0) again = FFilter->index(std::min(keepRow, rows - 1), 0, root);
  }
  if (again.isValid()) {
    FSelection->setCurrentIndex(again, QItemSelectionModel::NoUpdate);
    View()->scrollTo(again);
  }
}

void TShellFileList::SetStyle(TStyle style) {
  FStyle = style;
  switch (style) {
    case vsReport: FStack->setCurrentWidget(FDetails); return;
    case vsList:
      FList->setViewMode(QListView::ListMode);
      FList->setFlow(QListView::TopToBottom);
      FList->setWrapping(true);
      FList->setIconSize(QSize(16, 16));
      FList->setGridSize({});
      break;
    case vsSmallIcons:
      FList->setViewMode(QListView::ListMode);
      FList->setFlow(QListView::LeftToRight);
      FList->setWrapping(true);
      FList->setIconSize(QSize(16, 16));
      FList->setGridSize(QSize(180, 22));
      break;
    case vsIcons:
      FList->setViewMode(QListView::IconMode);
      FList->setIconSize(QSize(32, 32));
      FList->setGridSize(QSize(96, 72));
      FList->setWordWrap(true);
      break;
  }
  FList->setResizeMode(QListView::Adjust);
  FList->setMovement(QListView::Static);
  FList->setDragEnabled(true);
  FList->setDragDropMode(QAbstractItemView::DragOnly);
  // Columns of the list take the width of their longest name.
  FList->setUniformItemSizes(false);
  FStack->setCurrentWidget(FList);
}

QAbstractItemView* TShellFileList::View() const {
  return FStyle == vsReport ? static_cast<QAbstractItemView*>(FDetails) : FList;
}

TShellItem TShellFileList::ItemAt(const QModelIndex& proxyIndex) const {
  const QModelIndex source = FFilter->mapToSource(proxyIndex.siblingAtColumn(0));
  return {FModel->fileName(source), FModel->filePath(source), FModel->isDir(source)};
}

QList<TShellItem> TShellFileList::Items() const {
  QList<TShellItem> items;
  const QModelIndex root = ProxyRoot();
  if (!FFilter->Root.isValid()) return items;
  const int rows = FFilter->rowCount(root);
  items.reserve(rows);
  for (int r = 0; r < rows; ++r) items.push_back(ItemAt(FFilter->index(r, 0, root)));
  return items;
}

QList<TShellItem> TShellFileList::SelectedItems() const {
  // Column 0 of each selected item: the list view selects no other column.
  QModelIndexList rows;
  for (const QModelIndex& i : FSelection->selectedIndexes())
    if (i.column() == 0) rows.push_back(i);
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QList<TShellItem> items;
  for (const QModelIndex& i : rows)
    if (i.parent() == ProxyRoot()) items.push_back(ItemAt(i));
  return items;
}

}  // namespace qrmt
