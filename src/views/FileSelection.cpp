#include "FileSelection.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QSplitter>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>

#include "FileTypeEditor.h"
#include "Modal.h"
#include "app/qrmt_global.h"
#include "app/qrmt_messages.h"
#include "app/qrmt_proc.h"
#include "app/qrmt_queue.h"
#include "components/qrmt_checkcombo.h"
#include "components/qrmt_icons.h"
#include "components/qrmt_queuegrid.h"
#include "components/qrmt_shellviews.h"
#include "components/qrmt_unzip.h"

namespace qrmt {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

std::string S(const QString& s) {
  return s.toStdString();
}

QLabel* Caption(QWidget* parent, const char* name, const char* text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setStyleSheet("QLabel { background: #6d8fb3; color: white; font-weight: bold; padding: 2px; }");
  return label;
}

std::string Joined(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

TfrmFileSelection::TfrmFileSelection(QWidget* parent) : QWidget(parent) {
  setObjectName("frmFileSelection");
  FReady = false;
  FTreeTracking = false;

  // Left: the folder tree.
  FLeft = new QWidget(this);
  FLeft->setObjectName("pnlSelectFolder");
  FTree = new TShellFolderTree(FLeft);
  FTree->setObjectName("FoldersTree");
  auto* left = new QVBoxLayout(FLeft);
  left->setContentsMargins(0, 0, 0, 0);
  left->setSpacing(0);
  left->addWidget(Caption(FLeft, "lblSelectFolder", "  Select Folder"));
  left->addWidget(FTree, 1);

  // Right: the file list above, the queue below.
  auto* right = new QWidget(this);
  right->setObjectName("pnlNonSelectFolder");
  right->setMinimumWidth(200);
  auto* files = new QWidget(right);
  files->setObjectName("pnlSelectFiles");

  auto* tools = new QWidget(files);
  tools->setObjectName("Panel1");
  auto* viewBar = new QToolBar(tools);
  viewBar->setObjectName("ToolBar3");
  viewBar->setIconSize(QSize(16, 16));
  auto* styleMenu = new QMenu(this);
  styleMenu->setObjectName("ppmFileListViewStyle");
  auto* styleGroup = new QActionGroup(this);
  const char* styleNames[] = {"fsViewList", "fsViewReport", "fsViewSmallIcons", "fsViewIcons"};
  const char* styleCaptions[] = {"List", "Report", "Small Icons", "Icons"};
  QAction* change = CommandAction(this, "sfChangeViewStyle", "View", "view-list-icons", "Change view style");
  connect(change, &QAction::triggered, this, &TfrmFileSelection::ChangeViewStyle);
  for (int style = 0; style < 4; ++style) {
    FStyles[static_cast<size_t>(style)] = new QAction(styleCaptions[style], this);
    FStyles[static_cast<size_t>(style)]->setObjectName(styleNames[style]);
    FStyles[static_cast<size_t>(style)]->setCheckable(true);
    styleGroup->addAction(FStyles[static_cast<size_t>(style)]);
    connect(FStyles[static_cast<size_t>(style)], &QAction::triggered, this,
            [this, style] { SetViewStyleFromMenu(style); });
  }
  FStyles[0]->setChecked(true);
  // The menu's order: Icons, List, Report, Small Icons.
  for (int style : {3, 0, 1, 2}) styleMenu->addAction(FStyles[static_cast<size_t>(style)]);
  styleMenu->addSeparator();
  FShowFolders = new QAction("Show Folders", this);
  FShowFolders->setObjectName("fsShowFolders");
  FShowFolders->setCheckable(true);
  FShowFolders->setChecked(true);
  connect(FShowFolders, &QAction::triggered, this, &TfrmFileSelection::ShowFoldersClick);
  styleMenu->addAction(FShowFolders);
  auto* view = new QToolButton(viewBar);
  view->setObjectName("btnView");
  view->setDefaultAction(change);
  view->setMenu(styleMenu);
  view->setPopupMode(QToolButton::MenuButtonPopup);
  viewBar->addWidget(view);

  auto* typePanel = new QWidget(tools);
  typePanel->setObjectName("pnlFilterType");
  FTypes = new TCheckComboBox(typePanel);
  FTypes->setObjectName("cmbFileTypes");
  FTypes->setMinimumWidth(110);
  FTypes->setMinimumContentsLength(16);
  auto* typeRow = new QHBoxLayout(typePanel);
  typeRow->setContentsMargins(0, 0, 0, 0);
  typeRow->addWidget(new QLabel("   File Format:", typePanel));
  typeRow->addWidget(FTypes, 1);
  auto* extPanel = new QWidget(tools);
  extPanel->setObjectName("pnlFileExtensions");
  FExts = new TCheckComboBox(extPanel);
  FExts->setObjectName("cmbFileExt");
  FExts->setMinimumWidth(80);
  FExts->setMinimumContentsLength(8);
  auto* extRow = new QHBoxLayout(extPanel);
  extRow->setContentsMargins(0, 0, 0, 0);
  extRow->addWidget(new QLabel("   File Extensions", extPanel));
  extRow->addWidget(FExts, 1);
  connect(FTypes, &TCheckComboBox::Changed, this, &TfrmFileSelection::FileTypesCloseUp);
  connect(FTypes, &TCheckComboBox::CloseUp, this, &TfrmFileSelection::FileTypesCloseUp);
  connect(FExts, &TCheckComboBox::Changed, this, &TfrmFileSelection::FileExtChange);

  auto* formatBar = new QToolBar(tools);
  formatBar->setObjectName("tbSelectFilesUp");
  formatBar->setIconSize(QSize(16, 16));
  QAction* newType = CommandAction(this, "newFileType", "New ...", "document-new", "New file format|Add file format");
  QAction* modifyType = CommandAction(this, "modifyFileType", "Modify ...", "document-properties",
                                      "Modify file format|Modify file format");
  QAction* removeType =
      CommandAction(this, "removeFileType", "Remove", "list-remove", "Remove file format|Remove file format");
  connect(newType, &QAction::triggered, this, &TfrmFileSelection::newFileTypeExecute);
  connect(modifyType, &QAction::triggered, this, &TfrmFileSelection::modifyFileTypeExecute);
  connect(removeType, &QAction::triggered, this, &TfrmFileSelection::removeFileTypeExecute);
  formatBar->addAction(newType);
  formatBar->addAction(modifyType);
  formatBar->addAction(removeType);
  formatBar->addSeparator();
  FZip = CommandAction(this, "toolBtnZIPAction", "ZIP", "package-x-generic", "Show/add files in .zip archives");
  FZip->setCheckable(true);
  FZip->setChecked(true);
  connect(FZip, &QAction::triggered, this, &TfrmFileSelection::ZipClick);
  formatBar->addAction(FZip);
  if (QWidget* zipButton = formatBar->widgetForAction(FZip)) zipButton->setObjectName("toolBtnZIP");

  auto* toolRow = new QHBoxLayout(tools);
  toolRow->setContentsMargins(0, 0, 0, 0);
  toolRow->setSpacing(2);
  toolRow->addWidget(viewBar);
  toolRow->addWidget(typePanel, 2);
  toolRow->addWidget(extPanel, 1);
  toolRow->addWidget(formatBar);

  FList = new TShellFileList(files);
  FList->setObjectName("FilesList");
  FList->SetDecision([this](const QFileInfo& info) { return FilesListAddFolder(info); });
  connect(FList, &TShellFileList::ItemDoubleClicked, this, &TfrmFileSelection::FilesListDblClick);

  // The add buttons, in one row where the view is wide enough, else two.
  FAddBar = new QWidget(files);
  FAddBar->setObjectName("tbSelectFiles");
  FAddGrid = new QGridLayout(FAddBar);
  FAddGrid->setContentsMargins(2, 2, 2, 2);
  FAddGrid->setSpacing(2);
  QAction* addAll = CommandAction(this, "sfAddAllFiles", "Add &All Files", "list-add");
  QAction* addTree =
      CommandAction(this, "sfAddAllFilesWithFolders", "Add All Files &Including Subfolders", "folder-new");
  QAction* addSelected = CommandAction(this, "sfAddSelected", "Add &Selected Files", "document-import");
  QAction* addClipboard = CommandAction(this, "sfAddFromClipboard", "Add Text From &Clipboard", "edit-paste");
  connect(addAll, &QAction::triggered, this, &TfrmFileSelection::sfAddAllFilesExecute);
  connect(addTree, &QAction::triggered, this, &TfrmFileSelection::sfAddAllFilesWithFoldersExecute);
  connect(addSelected, &QAction::triggered, this, &TfrmFileSelection::sfAddSelectedExecute);
  connect(addClipboard, &QAction::triggered, this, &TfrmFileSelection::sfAddFromClipboardExecute);
  for (QAction* a : {addAll, addTree, addSelected, addClipboard}) {
    auto* b = new QToolButton(FAddBar);
    b->setDefaultAction(a);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    b->setIconSize(QSize(16, 16));
    FAddButtons.push_back(b);
  }
  LayOutAddButtons(true);

  auto* filesLayout = new QVBoxLayout(files);
  filesLayout->setContentsMargins(0, 0, 0, 0);
  filesLayout->setSpacing(0);
  filesLayout->addWidget(Caption(files, "lblSelectFiles", "  Select Files"));
  filesLayout->addWidget(tools);
  filesLayout->addWidget(FList, 1);
  filesLayout->addWidget(FAddBar);

  auto* queuePanel = new QWidget(right);
  queuePanel->setObjectName("pnlCountQueue");
  FQueue = new TCountQueueModel(this);
  FGrid = new QTableView(queuePanel);
  FGrid->setObjectName("CountQueue");
  FGrid->setModel(FQueue);
  FGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  FGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FGrid->setShowGrid(false);
  FGrid->setWordWrap(false);
  FGrid->setTextElideMode(Qt::ElideMiddle);  // a long path keeps its file name in sight
  FGrid->setAcceptDrops(true);
  FGrid->setDragDropMode(QAbstractItemView::DropOnly);
  FGrid->verticalHeader()->hide();
  FGrid->verticalHeader()->setDefaultSectionSize(FGrid->fontMetrics().height() + 6);
  FGrid->horizontalHeader()->setHighlightSections(false);
  FGrid->horizontalHeader()->setSectionsClickable(true);
  FGrid->horizontalHeader()->setStretchLastSection(true);
  FGrid->setColumnWidth(0, 200);
  FGrid->setColumnWidth(1, 131);
  FGrid->setColumnWidth(2, 308);
  FGrid->installEventFilter(this);
  FGrid->viewport()->setAcceptDrops(true);
  FGrid->viewport()->installEventFilter(this);
  connect(FGrid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
    if (QApplication::keyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return;
    FQueue->HeaderClick(column);
    FGrid->horizontalHeader()->setSortIndicatorShown(true);
    FGrid->horizontalHeader()->setSortIndicator(FQueue->SortColumn(), FQueue->SortOrder());
  });
  // A double-click on a column border fits the column.
  FGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  connect(FGrid, &QTableView::doubleClicked, this, &TfrmFileSelection::cqRemoveSelectedExecute);

  QAction* removeAll = CommandAction(this, "cqRemoveAll", "Remove All Files", "edit-clear",
                                     "Remove files from list|Remove all files from count queue");
  QAction* removeSelected = CommandAction(this, "cqRemoveSelected", "Remove Selected Files", "edit-delete");
  connect(removeAll, &QAction::triggered, this, &TfrmFileSelection::cqRemoveAllExecute);
  connect(removeSelected, &QAction::triggered, this, &TfrmFileSelection::cqRemoveSelectedExecute);
  auto* removeBar = new QToolBar(queuePanel);
  removeBar->setObjectName("ToolBar1");
  removeBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  removeBar->setIconSize(QSize(16, 16));
  removeBar->addAction(removeAll);
  removeBar->addAction(removeSelected);
  auto* countBar = new QToolBar(queuePanel);
  countBar->setObjectName("ToolBar2");
  countBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  FCount = new QToolButton(countBar);
  FCount->setObjectName("btnCountFiles");
  FCount->setText("Count");
  FCount->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  countBar->addWidget(FCount);
  auto* bottom = new QHBoxLayout;
  bottom->setContentsMargins(0, 0, 0, 0);
  bottom->addWidget(removeBar);
  bottom->addStretch(1);
  bottom->addWidget(countBar);
  auto* queueLayout = new QVBoxLayout(queuePanel);
  queueLayout->setContentsMargins(0, 0, 0, 0);
  queueLayout->setSpacing(0);
  queueLayout->addWidget(Caption(queuePanel, "lblCountQueue", "  Count Queue"));
  queueLayout->addWidget(FGrid, 1);
  queueLayout->addLayout(bottom);

  // List and queue share the height evenly; their boundary does not move.
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(2);
  rightLayout->addWidget(files, 1);
  rightLayout->addWidget(queuePanel, 1);

  FSplitter = new QSplitter(Qt::Horizontal, this);
  FSplitter->setObjectName("spliterFoldersNonFolders");
  FSplitter->setChildrenCollapsible(false);
  FSplitter->addWidget(FLeft);
  FSplitter->addWidget(right);
  FSplitter->setStretchFactor(1, 1);
  FLeft->setMinimumWidth(200);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FSplitter);
  FSplitter->setSizes({200, 646});

  connect(FTree, &TShellFolderTree::FolderChanged, this, &TfrmFileSelection::FoldersTreeChange);
  // The tree starts on its top node, which is not remembered.
  FTree->Select(FTree->TopNode());
  FTree->expand(FTree->TopNode());
  FHandle = RegisterReceiver(this);
  FReady = true;
}

TfrmFileSelection::~TfrmFileSelection() {
  if (Global && Global->SelectionWindow == FHandle) Global->SelectionWindow = 0;
  UnregisterReceiver(FHandle);
}

void TfrmFileSelection::SetCountAction(QAction* count) {
  FCount->setDefaultAction(count);
  FCount->setText("Count");
}

// --- showing -------------------------------------------------------------------

void TfrmFileSelection::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FormShow();
}

void TfrmFileSelection::FormShow() {
  if (!Global) return;
  FReady = false;
  Global->SelectionWindow = FHandle;
  FTypes->ClearItems();
  for (const auto& type : Global->FileTypes) FTypes->AddItem(Q(type->Title), type->Enabled);
  const auto& options = Global->Settings.FileSelection;
  if (FolderPath(FTree->currentIndex()) != Q(options.currentFolder.Value))
    OpenFolderPath(Q(options.currentFolder.Value));
  FTreeTracking = true;
  FShowFolders->setChecked(options.ShowFolders.Value);
  FReady = true;
  if (FTypes->Count() > 0) FTypes->SetCurrent(Global->Settings.Application.fsFltrTypeIdx.Value);
  FZip->setChecked(Global->Settings.FileSelection.zipEnabled.Value);
  FList->Refresh();
}

void TfrmFileSelection::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ApplySizes();
}

void TfrmFileSelection::ApplySizes() {
  // The folder panel keeps between 200 pixels and half the view's width.
  FLeft->setMinimumWidth(200);
  FLeft->setMaximumWidth(std::max(200, width() / 2));
  int needed = 0;
  for (QToolButton* b : FAddButtons) needed += b->sizeHint().width() + 2;
  LayOutAddButtons(FAddBar->width() >= needed + 8);
}

void TfrmFileSelection::LayOutAddButtons(bool oneRow) {
  if (FAddOneRow == oneRow && FAddGrid->count() == static_cast<int>(FAddButtons.size())) return;
  FAddOneRow = oneRow;
  for (QToolButton* b : FAddButtons) FAddGrid->removeWidget(b);
  for (size_t i = 0; i < FAddButtons.size(); ++i) {
    const int n = static_cast<int>(i);
    FAddGrid->addWidget(FAddButtons[i], oneRow ? 0 : n / 2, oneRow ? n : n % 2, Qt::AlignLeft);
  }
  for (int c = 0; c < 5; ++c) FAddGrid->setColumnStretch(c, 0);
  FAddGrid->setColumnStretch(oneRow ? 4 : 2, 1);
}

// --- the file list ----------------------------------------------------------------

bool TfrmFileSelection::IsShellFolder(const QFileInfo& info) const {
  // Archives are opened like folders, as a desktop shell does.
  return info.isDir() || (info.isFile() && SameExtension(S(info.fileName()), ".zip"));
}

bool TfrmFileSelection::FilesListAddFolder(const QFileInfo& info) const {
  if (!Global) return true;
  const auto& options = Global->Settings.FileSelection;
  if (!IsShellFolder(info)) return MatchesFilter(S(info.filePath()));
  if (!info.isDir()) return options.zipEnabled.Value || options.ShowFolders.Value;
  return options.ShowFolders.Value;
}

void TfrmFileSelection::ChangeViewStyle() {
  FViewStyle = (FViewStyle + 1) % 4;
  FList->SetStyle(static_cast<TShellFileList::TStyle>(FViewStyle));
  FStyles[static_cast<size_t>(FViewStyle)]->setChecked(true);
}

void TfrmFileSelection::SetViewStyleFromMenu(int style) {
  FViewStyle = (style + 3) % 4;
  ChangeViewStyle();
}

void TfrmFileSelection::ShowFoldersClick(bool checked) {
  if (!FReady || !Global) {
    FShowFolders->setChecked(!checked);  // checked by code only
    return;
  }
  Global->Settings.FileSelection.ShowFolders.Value = checked;
  FList->Refresh();
}

void TfrmFileSelection::ZipClick(bool down) {
  if (!Global) return;
  Global->Settings.FileSelection.zipEnabled.Value = down;
  FList->Refresh();
}

void TfrmFileSelection::FillFileExt(int type) {
  FExts->ClearItems();
  const TFileType& format = Global->FileTypes[type];
  for (const auto& mask : format.Extensions) FExts->AddItem(Q(mask->Value), mask->Enabled);
  if (FExts->Count() > 0) FExts->SetCurrent(0);
}

void TfrmFileSelection::FileTypesCloseUp() {
  if (!FReady || !Global) return;
  const int i = FTypes->Current();
  if (i < 0 || i >= Global->FileTypes.Count()) {
    FExts->ClearItems();
  } else {
    Global->FileTypes[i].Enabled = FTypes->Checked(i);
    FReady = false;
    FillFileExt(i);
    FReady = true;
    FList->Refresh();
  }
  Global->Settings.Application.fsFltrTypeIdx.Value = i;
}

void TfrmFileSelection::FileExtChange() {
  if (!FReady || !Global) return;
  const int type = FTypes->Current(), mask = FExts->Current();
  if (type < 0 || mask < 0 || type >= Global->FileTypes.Count()) return;
  TFileType& format = Global->FileTypes[type];
  if (mask >= format.Extensions.Count()) return;
  format.Extensions[mask].Enabled = FExts->Checked(mask);
  FList->Refresh();
}

// --- the remembered folder ----------------------------------------------------------

QString TfrmFileSelection::FolderPath(const QModelIndex& node) const {
  if (!node.isValid() || !node.parent().isValid()) return {};
  return FolderPath(node.parent()) + ">" + FTree->DisplayName(node);
}

void TfrmFileSelection::OpenFolderPath(const QString& path) {
  std::vector<std::string> parts;
  SplitText(parts, ">", S(path));
  FTree->setUpdatesEnabled(false);
  QModelIndex node = FTree->TopNode();
  for (size_t k = 1; k < parts.size(); ++k) {
    const QModelIndex child = FTree->ChildNamed(node, Q(parts[k]));
    if (!child.isValid()) continue;  // a missing part: look for the next among the same children
    node = child;
    FTree->expand(node);
  }
  FTree->setUpdatesEnabled(true);
  FTree->Select(node);
  FTreeTracking = true;
}

void TfrmFileSelection::FoldersTreeChange() {
  FList->SetFolder(FTree->SelectedFolder());
  if (FTreeTracking && Global)
    Global->Settings.FileSelection.currentFolder.Value = S(FolderPath(FTree->currentIndex()));
}

// --- the queue ----------------------------------------------------------------

bool TfrmFileSelection::MatchesFilter(const std::string& fileName) const {
  return Global && qrmt::MatchesFilter(Global->FileTypes, fileName, Global->Settings.FileSelection.zipEnabled.Value);
}

bool TfrmFileSelection::IsQueued(const std::string& fileName) const {
  // An abort request ends the check with "not to be added".
  return FAbort || FQueue->Contains(fileName);
}

bool TfrmFileSelection::Pump() {
  const int slice = Global ? Global->EventSliceMs : 0;
  if (!FSlice.isValid() || slice <= 0 || FSlice.elapsed() >= slice) {
    FQueue->Flush();
    ProcessMessages();
    FSlice.restart();
  }
  return FAbort;
}

void TfrmFileSelection::QueueSizeChanged() {
  if (Global) SendMessage(Global->MainWindow, UM_QUEUE_SIZE, static_cast<uintptr_t>(FQueue->Count()));
}

void TfrmFileSelection::AddFile(const std::string& fileName) {
  if (IsQueued(fileName) || !MatchesFilter(fileName)) return;
  auto item = std::make_unique<TCountQueueItem>();
  try {
    FillQueueItem(*item, fileName);
  } catch (const std::exception& e) {
    WriteLog(std::string(msg::AddFileLogPrefix) + e.what());
  }
  FQueue->Append(std::move(item));
  if (FAdding == 0) FQueue->Flush();  // a single file is shown at once
  QueueSizeChanged();
}

void TfrmFileSelection::AddPath(const std::string& path) {
  const QFileInfo info(Q(path));
  if (info.isFile()) AddFile(path);
  if (info.isDir()) AddFolder(path);
}

void TfrmFileSelection::AddFolder(const std::string& folder) {
  std::vector<TFolderEntry> entries;
  std::string error;
  if (!ReadFolderEntries(folder, entries, error)) {
    WriteLog("(f) AddFolder: \"" + folder + "\" cannot be read: " + error);
    return;
  }
  for (const TFolderEntry& e : entries) {
    if (Pump()) return;
    const std::string full = Joined(folder, e.Name);
    if (e.IsFolder) {
      AddFolder(full);
    } else {
      AddFile(full);
    }
  }
}

void TfrmFileSelection::AddListItems(const QList<TShellItem>& items, bool filesOnly) {
  FAbort = false;
  ++FAdding;
  if (Global) SendMessage(Global->MainWindow, UM_ADDING_FILES, 1);
  FSlice.invalidate();
  for (const TShellItem& item : items) {
    if (Pump()) break;
    if (!filesOnly) {
      AddPath(S(item.Path));
    } else if (!IsShellFolder(QFileInfo(item.Path))) {
      AddFile(S(item.Path));
    }
  }
  FQueue->Flush();
  if (Global) SendMessage(Global->MainWindow, UM_ADDING_FILES, 0);
  --FAdding;
}

void TfrmFileSelection::sfAddAllFilesExecute() {
  AddListItems(FList->Items(), true);
}

void TfrmFileSelection::sfAddAllFilesWithFoldersExecute() {
  AddListItems(FList->Items(), false);
}

void TfrmFileSelection::sfAddSelectedExecute() {
  const QList<TShellItem> selected = FList->SelectedItems();
  if (!selected.isEmpty()) AddListItems(selected, false);
}

void TfrmFileSelection::FilesListDblClick() {
  const QList<TShellItem> selected = FList->SelectedItems();
  if (selected.isEmpty()) return;
  const TShellItem& first = selected.front();
  FAbort = false;
  const bool isFolder = IsShellFolder(QFileInfo(first.Path));
  if (isFolder && !SameExtension(S(first.Path), ".zip")) {
    const QModelIndex child = FTree->ChildNamed(FTree->currentIndex(), first.DisplayName);
    if (child.isValid()) {
      FTree->expand(FTree->currentIndex());
      FTree->Select(child);
    }
    return;
  }
  if (isFolder) {
    AddZipArchive(S(first.Path));
    return;
  }
  ++FAdding;
  FSlice.invalidate();
  for (const TShellItem& item : selected) AddPath(S(item.Path));
  FQueue->Flush();
  --FAdding;
}

void TfrmFileSelection::AddDropped(const QStringList& paths) {
  FAbort = false;
  ++FAdding;
  FSlice.invalidate();
  for (const QString& p : paths) {
    if (FAbort) break;
    AddPath(S(p));
  }
  FQueue->Flush();
  --FAdding;
}

void TfrmFileSelection::DropOnQueue(const QMimeData* data, QObject* source) {
  if (source &&
      (source == static_cast<QObject*>(FList->ListView()) || source == static_cast<QObject*>(FList->DetailView()))) {
    sfAddSelectedExecute();
    return;
  }
  if (!data || !data->hasUrls()) return;
  QStringList paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  AddDropped(paths);
}

void TfrmFileSelection::ZipProgress(int percent) {
  if (Global) SendMessage(Global->MainWindow, UM_UNZIP_PROGRESS, static_cast<uintptr_t>(percent));
  ProcessMessages();
}

void TfrmFileSelection::AddZipArchive(const std::string& archive) {
  if (!Global) return;
  FAbort = false;
  const std::string empty = CreateTempFileIn(Global->TempFolder);
  if (empty.empty()) {
    ShowError("The zip archive \"" + archive + "\" cannot be unpacked: no temporary file can be made in \"" +
              Global->TempFolder + "\".");
    return;
  }
  const std::string folder = S(QFileInfo(Q(empty)).dir().filePath(QFileInfo(Q(empty)).completeBaseName()));
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  int files = 0;
  try {
    if (ec)
      throw EUnzipError("The zip archive \"" + archive + "\" cannot be unpacked: \"" + folder + "\" cannot be made (" +
                        ec.message() + ").");
    files = UnzipFlat(archive, folder, [this](int percent) { ZipProgress(percent); });
  } catch (const std::exception& e) {
    // Nothing of a failed archive is queued or left behind.
    std::filesystem::remove_all(folder, ec);
    std::filesystem::remove(empty, ec);
    ShowError(e.what());
    return;
  }
  if (files == 0) return;
  ++FAdding;
  FSlice.invalidate();
  AddPath(folder);
  FQueue->Flush();
  --FAdding;
}

void TfrmFileSelection::sfAddFromClipboardExecute() {
  if (!Global) return;
  FAbort = false;
  const std::string empty = CreateTempFileIn(Global->TempFolder);
  if (empty.empty()) return;
  const std::string file = S(QFileInfo(Q(empty)).dir().filePath(QFileInfo(Q(empty)).completeBaseName() + ".tmpcf"));
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasText()) {
    Dialogs().MessageBox("Clipboard has not text", Global->Title, TMsgIcon::Error, TMsgButtons::OK);
    return;
  }
  const std::string bytes = ClipboardTextFileBytes(data->text().toStdU16String());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return;  // silently, as an unwritable temporary file is nothing the user can mend here
  AddFile(file);
  FQueue->Flush();
}

void TfrmFileSelection::cqRemoveAllExecute() {
  FQueue->Clear();
  if (Global) SendMessage(Global->MainWindow, UM_QUEUE_SIZE, 0);
}

void TfrmFileSelection::cqRemoveSelectedExecute() {
  FQueue->Flush();
  const QModelIndex focused = FGrid->currentIndex();
  const TCountQueueItem* noted = nullptr;
  if (focused.isValid() && FQueue->Count() > 0) {
    const int next = focused.row() + 1 < FQueue->Count() ? focused.row() + 1 : 0;
    noted = &FQueue->Item(next);
  }
  std::vector<int> rows;
  for (const QModelIndex& i : FGrid->selectionModel()->selectedRows()) rows.push_back(i.row());
  bool notedGoes = false;
  for (int r : rows) notedGoes = notedGoes || &FQueue->Item(r) == noted;
  FQueue->RemoveRows(rows);
  FGrid->selectionModel()->clear();
  if (FQueue->Count() > 0 && noted && !notedGoes) {
    int at = 0;
    while (at < FQueue->Count() && &FQueue->Item(at) != noted) ++at;
    const QModelIndex row = FQueue->index(at, 0);
    FGrid->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    FGrid->scrollTo(row);
  }
  FGrid->setFocus();
  QueueSizeChanged();
}

bool TfrmFileSelection::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FGrid && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete &&
        (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0) {
      cqRemoveSelectedExecute();
      return true;
    }
  }
  if (watched == FGrid->viewport()) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        drag->setDropAction(Qt::LinkAction);
        drag->accept();
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        drop->setDropAction(Qt::LinkAction);
        drop->accept();
        DropOnQueue(drop->mimeData(), drop->source());
        return true;
      }
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// --- messages --------------------------------------------------------------------

intptr_t TfrmFileSelection::HandleMessage(unsigned code, uintptr_t, intptr_t) {
  switch (code) {
    case UM_COUNT_ENDED:
      if (Global && Global->Settings.FileSelection.ClearCountQueue.Value) cqRemoveAllExecute();
      break;
    case UM_SETTINGS_CHANGED: FormShow(); break;
    case UM_ABORT: FAbort = true; break;
    default: break;
  }
  return 0;
}

void TfrmFileSelection::ShowError(const std::string& text) {
  Dialogs().MessageBox(text, Global ? Global->Title : msg::AppTitle, TMsgIcon::Error, TMsgButtons::OK);
}

// --- file formats ------------------------------------------------------------------

void TfrmFileSelection::newFileTypeExecute() {
  if (!Global) return;
  TfrmFileTypeEditor editor(this);
  if (RunModal(editor) != QDialog::Accepted) return;
  auto* type = Global->FileTypes.Add();
  type->Title = editor.Title();
  for (const auto& [value, enabled] : editor.Masks()) {
    TFileExtension* mask = type->Extensions.Add();
    mask->Value = value;
    mask->Enabled = enabled;
  }
  for (const TComment& c : editor.Comments()) *type->Comments.Add() = c;
  const int item = FTypes->AddItem(Q(type->Title), false);
  FTypes->SetChecked(item, true);  // switches the new format on
  FTypes->SetCurrent(item);
}

void TfrmFileSelection::modifyFileTypeExecute() {
  if (!Global) return;
  const int i = FTypes->Current();
  if (i < 0 || i >= Global->FileTypes.Count()) return;
  TfrmFileTypeEditor editor(this);
  {
    const TFileType& type = Global->FileTypes[i];
    editor.SetTitle(type.Title);
    for (const auto& mask : type.Extensions) editor.AddMask(mask->Value, mask->Enabled);
    for (const auto& c : type.Comments) editor.AddComment(*c);
  }
  if (RunModal(editor) != QDialog::Accepted) return;
  // The list may have changed while the dialog was open (another settings
  // file loaded): the format is looked up again.
  if (i >= Global->FileTypes.Count()) return;
  TFileType& type = Global->FileTypes[i];
  type.Title = editor.Title();
  type.Extensions.Clear();
  for (const auto& [value, enabled] : editor.Masks()) {
    TFileExtension* mask = type.Extensions.Add();
    mask->Value = value;
    mask->Enabled = enabled;
  }
  type.Comments.Clear();
  for (const TComment& c : editor.Comments()) *type.Comments.Add() = c;
  FTypes->SetItemText(i, Q(type.Title));
  FTypes->SetCurrent(i);
}

void TfrmFileSelection::removeFileTypeExecute() {
  if (!Global) return;
  if (Dialogs().MessageBox(msg::AreYouSure, Global->Title, TMsgIcon::Question, TMsgButtons::YesNo) == mrNo) return;
  const int i = FTypes->Current();
  if (i < 0 || i >= Global->FileTypes.Count()) return;
  Global->FileTypes.Remove(Global->FileTypes.Items(i));
  FTypes->RemoveItem(i);
  if (FTypes->Count() == 0) {
    FExts->ClearItems();
    FList->Refresh();
    return;
  }
  FTypes->SetCurrent(i < FTypes->Count() ? i : i - 1);
}

}  // namespace qrmt
