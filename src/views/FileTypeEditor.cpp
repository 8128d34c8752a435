#include "FileTypeEditor.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <climits>

#include "CommentsEditor.h"
#include "Modal.h"
#include "app/qrmt_global.h"
#include "app/qrmt_platform.h"

namespace qrmt {

namespace {

constexpr const char* MaskPrompt = "Type new extension like *.pas";
constexpr const char* NothingSelected = "Nothing selected";
// A single-format file is a few hundred bytes; anything this large is not one.
constexpr qint64 MaxFormatFileSize = 16 << 20;

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

const std::string& AppTitle() {
  static const std::string fallback = "Kestrune Quorimeter";
  return Global ? Global->Title : fallback;
}

bool PlainKey(const QKeyEvent* key) {
  return (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0;
}

// The in-place editors of the comment grid: a list of the types, text,
// and an unbounded spin box for the fixed column.
class TCommentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (index.column() == 0) {
      auto* box = new QComboBox(parent);
      const auto names = Global ? Global->CommentTypeNames() : CommentTypeNames();
      for (const std::string& n : names) box->addItem(Q(n));
      return box;
    }
    if (index.column() == 3) {
      auto* spin = new QSpinBox(parent);
      spin->setRange(INT_MIN, INT_MAX);
      return spin;
    }
    return QStyledItemDelegate::createEditor(parent, option, index);
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      box->setCurrentIndex(box->findText(index.data().toString()));
    } else if (auto* spin = qobject_cast<QSpinBox*>(editor)) {
      spin->setValue(index.data().toString().toInt());
    } else {
      QStyledItemDelegate::setEditorData(editor, index);
    }
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      model->setData(index, box->currentText());
    } else if (auto* spin = qobject_cast<QSpinBox*>(editor)) {
      spin->interpretText();
      model->setData(index, QString::number(spin->value()));
    } else {
      QStyledItemDelegate::setModelData(editor, model, index);
    }
  }
};

}  // namespace

TfrmFileTypeEditor::TfrmFileTypeEditor(QWidget* parent) : QDialog(parent) {
  setObjectName("frmFileTypeEditor");
  setWindowTitle("File Format Editor");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);

  auto* titleBox = new QGroupBox("  File Format Title  ", this);
  titleBox->setObjectName("GroupBox1");
  auto* titleLabel = new QLabel("Title: ", titleBox);
  titleLabel->setObjectName("Label1");
  FTitle = new QLineEdit(titleBox);
  FTitle->setObjectName("newTitle");
  titleLabel->setBuddy(FTitle);
  auto* titleRow = new QHBoxLayout(titleBox);
  titleRow->addWidget(titleLabel);
  titleRow->addWidget(FTitle, 1);

  auto action = [this](const char* name, const QString& caption, auto slot) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, slot);
    addAction(a);
    return a;
  };
  QAction* addExtension = action("addExtension", "Add", &TfrmFileTypeEditor::addExtensionExecute);
  QAction* removeExtension = action("removeExtension", "Remove", &TfrmFileTypeEditor::removeExtensionExecute);
  QAction* addComment = action("addComment", "Add", &TfrmFileTypeEditor::addCommentExecute);
  QAction* removeComment = action("removeComment", "Remove", &TfrmFileTypeEditor::removeCommentExecute);
  QAction* saveFormat = action("saveFileFormat", "Save File Format ...", &TfrmFileTypeEditor::saveFileFormatExecute);
  QAction* loadFormat = action("loadFileFormat", "Load File Format ...", &TfrmFileTypeEditor::loadFileFormatExecute);
  auto button = [](QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
  };
  auto actionButton = [&](QWidget* parent, const char* name, QAction* a) {
    QPushButton* b = button(parent, name, a->text());
    connect(b, &QPushButton::clicked, a, &QAction::trigger);
    return b;
  };

  auto* maskBox = new QGroupBox("  Extensions  ", this);
  maskBox->setObjectName("GroupBox3");
  FMasks = new QListWidget(maskBox);
  FMasks->setObjectName("newExtensions");
  FMasks->setSelectionMode(QAbstractItemView::SingleSelection);
  FMasks->setMinimumSize(300, 105);
  FMasks->installEventFilter(this);
  QPushButton* addMask = actionButton(maskBox, "btnAddExtension", addExtension);
  QPushButton* editMask = button(maskBox, "btnEditExtension", "Edit");
  connect(editMask, &QPushButton::clicked, this, &TfrmFileTypeEditor::btnEditExtensionClick);
  QPushButton* removeMask = actionButton(maskBox, "btnRemoveExtension", removeExtension);
  auto* maskButtons = new QVBoxLayout;
  for (QPushButton* b : {addMask, editMask, removeMask}) maskButtons->addWidget(b);
  maskButtons->addStretch(1);
  auto* maskRow = new QHBoxLayout(maskBox);
  maskRow->addWidget(FMasks, 1);
  maskRow->addLayout(maskButtons);

  auto* commentBox = new QGroupBox("  Comments  ", this);
  commentBox->setObjectName("GroupBox2");
  FGrid = new QTableWidget(0, 4, commentBox);
  FGrid->setObjectName("newComments");
  FGrid->setHorizontalHeaderLabels({"Type", "Start", "End", "Fixed column"});
  const int widths[] = {120, 90, 90, 90};
  for (int c = 0; c < 4; ++c) FGrid->setColumnWidth(c, widths[c]);
  FGrid->horizontalHeader()->setStretchLastSection(true);
  FGrid->verticalHeader()->hide();
  FGrid->setSelectionMode(QAbstractItemView::SingleSelection);
  FGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  FGrid->setShowGrid(true);
  FGrid->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  FGrid->setItemDelegate(new TCommentDelegate(FGrid));
  FGrid->setMinimumSize(300, 120);
  FGrid->installEventFilter(this);
  connect(FGrid, &QTableWidget::itemChanged, this, &TfrmFileTypeEditor::CellEdited);
  QPushButton* addRow = actionButton(commentBox, "btnAddComment", addComment);
  QPushButton* editRow = button(commentBox, "btnEditComment", "Edit");
  connect(editRow, &QPushButton::clicked, this, &TfrmFileTypeEditor::btnEditCommentClick);
  QPushButton* removeRow = actionButton(commentBox, "btnRemoveComment", removeComment);
  auto* commentButtons = new QVBoxLayout;
  for (QPushButton* b : {addRow, editRow, removeRow}) commentButtons->addWidget(b);
  commentButtons->addStretch(1);
  auto* commentRow = new QHBoxLayout(commentBox);
  commentRow->addWidget(FGrid, 1);
  commentRow->addLayout(commentButtons);

  QPushButton* save = actionButton(this, "Button1", saveFormat);
  QPushButton* load = actionButton(this, "Button2", loadFormat);
  QPushButton* ok = button(this, "btnOk", "OK");
  QPushButton* cancel = button(this, "btnCancel", "Cancel");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(save);
  bottom->addWidget(load);
  bottom->addStretch(1);
  bottom->addWidget(ok);
  bottom->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(titleBox);
  layout->addWidget(maskBox, 1);
  layout->addWidget(commentBox, 2);
  layout->addLayout(bottom);
  setTabOrder(FTitle, FMasks);
  setTabOrder(FMasks, addMask);
  setTabOrder(addMask, editMask);
  setTabOrder(editMask, removeMask);
  setTabOrder(removeMask, FGrid);
  setTabOrder(FGrid, addRow);
  setTabOrder(addRow, editRow);
  setTabOrder(editRow, removeRow);
  setTabOrder(removeRow, save);
  setTabOrder(save, load);
  setTabOrder(load, ok);
  setTabOrder(ok, cancel);
  setMinimumSize(524, 449);
  resize(524, 449);
}

void TfrmFileTypeEditor::Tell(const char* text, int icon) {
  Dialogs().MessageBox(text, AppTitle(), static_cast<TMsgIcon>(icon), TMsgButtons::OK);
}

void TfrmFileTypeEditor::SetTitle(const std::string& title) {
  FTitle->setText(Q(title));
}

std::string TfrmFileTypeEditor::Title() const {
  return FTitle->text().toStdString();
}

void TfrmFileTypeEditor::AddMask(const std::string& value, bool enabled) {
  auto* item = new QListWidgetItem(Q(value), FMasks);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(enabled ? Qt::Checked : Qt::Unchecked);
}

std::vector<std::pair<std::string, bool>> TfrmFileTypeEditor::Masks() const {
  std::vector<std::pair<std::string, bool>> masks;
  for (int i = 0; i < FMasks->count(); ++i)
    masks.emplace_back(FMasks->item(i)->text().toStdString(), FMasks->item(i)->checkState() == Qt::Checked);
  return masks;
}

void TfrmFileTypeEditor::AddComment(const TComment& comment) {
  FComments.push_back(comment);
  FGrid->insertRow(FGrid->rowCount());
  ShowRow(FGrid->rowCount() - 1);
}

void TfrmFileTypeEditor::ShowRow(int row) {
  const TComment& c = FComments[static_cast<size_t>(row)];
  const QString type = c.CommentType == 0 ? "single" : (c.CommentType == 1 ? "multistring" : "...");
  const QString texts[] = {type, Q(c.StartSymbol), Q(c.StopSymbol), QString::number(c.FixedCol)};
  FShowing = true;
  for (int col = 0; col < 4; ++col) {
    QTableWidgetItem* item = FGrid->item(row, col);
    if (!item) {
      item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignCenter);
      FGrid->setItem(row, col, item);
    }
    item->setText(texts[col]);
  }
  FShowing = false;
}

void TfrmFileTypeEditor::CellEdited(QTableWidgetItem* item) {
  if (FShowing || !item) return;
  const int row = item->row();
  if (row < 0 || row >= static_cast<int>(FComments.size())) return;
  TComment& c = FComments[static_cast<size_t>(row)];
  const QString text = item->text();
  switch (item->column()) {
    case 0:
      if (text == "single") c.CommentType = 0;
      if (text == "multistring") c.CommentType = 1;
      break;
    case 1: c.StartSymbol = text.toStdString(); break;
    case 2: c.StopSymbol = text.toStdString(); break;
    case 3: {
      bool ok = false;
      const long long n = text.trimmed().toLongLong(&ok);
      c.FixedCol = static_cast<uint16_t>(ok ? n : 0);  // -1 wraps to 65535, as the field is 16 bits
      break;
    }
    default: break;
  }
  ShowRow(row);
}

int TfrmFileTypeEditor::SelectedComment() const {
  const auto rows = FGrid->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

bool TfrmFileTypeEditor::ValidateFormat() {
  if (FTitle->text().isEmpty()) {
    Tell("File type title not defined", static_cast<int>(TMsgIcon::Warning));
    return false;
  }
  if (FMasks->count() == 0) {
    Tell("Extensions not defined", static_cast<int>(TMsgIcon::Warning));
    return false;
  }
  for (size_t r = 0; r < FComments.size(); ++r) {
    const TComment& c = FComments[r];
    const char* problem = nullptr;
    if (c.CommentType == 0 && c.StartSymbol.empty()) problem = "Start symbol not defined";
    if (c.CommentType == 1 && (c.StartSymbol.empty() || c.StopSymbol.empty()))
      problem = "Start or Stop symbol not defined";
    if (!problem) continue;
    Tell(problem, static_cast<int>(TMsgIcon::Error));
    FGrid->selectRow(static_cast<int>(r));
    FGrid->setCurrentCell(static_cast<int>(r), 0);
    FGrid->setFocus();
    return false;
  }
  return true;
}

void TfrmFileTypeEditor::done(int result) {
  if (result == QDialog::Accepted && !ValidateFormat()) return;
  QDialog::done(result);
}

void TfrmFileTypeEditor::addExtensionExecute() {
  std::string value;
  if (!Dialogs().InputQuery("New Extension", MaskPrompt, value) || value.empty()) return;
  AddMask(value, true);
}

void TfrmFileTypeEditor::btnEditExtensionClick() {
  QListWidgetItem* item = FMasks->currentItem();
  if (!item || !item->isSelected()) {
    Tell(NothingSelected, static_cast<int>(TMsgIcon::Information));
    return;
  }
  std::string value = item->text().toStdString();
  if (!Dialogs().InputQuery("Edit Extension", MaskPrompt, value) || value.empty()) return;
  item->setText(Q(value));
}

void TfrmFileTypeEditor::removeExtensionExecute() {
  QListWidgetItem* item = FMasks->currentItem();
  if (!item || !item->isSelected()) {
    Tell(NothingSelected, static_cast<int>(TMsgIcon::Information));
    return;
  }
  const int row = FMasks->row(item);
  delete FMasks->takeItem(row);
  if (FMasks->count() == 0) return;
  FMasks->setCurrentRow(std::min(row, FMasks->count() - 1), QItemSelectionModel::ClearAndSelect);
}

void TfrmFileTypeEditor::addCommentExecute() {
  TfrmCommentsEditor dialog(this);
  TComment fresh;
  fresh.CommentType = 0;
  dialog.SetComment(fresh);
  if (RunModal(dialog) == QDialog::Accepted) AddComment(dialog.Comment());
}

void TfrmFileTypeEditor::btnEditCommentClick() {
  const int row = SelectedComment();
  if (row < 0) {
    Tell(NothingSelected, static_cast<int>(TMsgIcon::Information));
    return;
  }
  TfrmCommentsEditor dialog(this);
  dialog.SetComment(FComments[static_cast<size_t>(row)]);
  if (RunModal(dialog) != QDialog::Accepted) return;
  FComments[static_cast<size_t>(row)] = dialog.Comment();
  ShowRow(row);
}

void TfrmFileTypeEditor::removeCommentExecute() {
  const int row = SelectedComment();
  if (row < 0) {
    Tell(NothingSelected, static_cast<int>(TMsgIcon::Information));
    return;
  }
  if (Dialogs().MessageBox("Are you sure?", AppTitle(), TMsgIcon::Question, TMsgButtons::YesNo) != mrYes) return;
  FComments.erase(FComments.begin() + row);
  FGrid->removeRow(row);
}

void TfrmFileTypeEditor::saveFileFormatExecute() {
  if (!ValidateFormat()) return;
  const std::string folder = Global ? Global->ProgramFolder : std::string();
  const std::string chosen = Dialogs().SaveFileName("Save File Format", folder, FileFormatFilter);
  if (chosen.empty()) return;
  const QFileInfo info(Q(chosen));
  const QString file = info.dir().filePath(info.completeBaseName() + ".qrmtff");
  if (QFileInfo::exists(file) && Dialogs().MessageBox("File is exists. Overwrite them?", AppTitle(), TMsgIcon::Question,
                                                      TMsgButtons::YesNo) != mrYes)
    return;
  TFileType format;
  format.Title = Title();
  format.Enabled = true;
  for (const auto& [value, enabled] : Masks()) {
    TFileExtension* mask = format.Extensions.Add();
    mask->Value = value;
    mask->Enabled = enabled;
  }
  for (const TComment& c : FComments) *format.Comments.Add() = c;
  const std::string text = format.WriteToText();
  // Written beside and renamed over: a failed save never leaves half a file.
  QSaveFile out(file);
  if (!out.open(QIODevice::WriteOnly) ||
      out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) || !out.commit()) {
    Dialogs().MessageBox(
        "The file format cannot be saved as \"" + file.toStdString() + "\": " + out.errorString().toStdString(),
        AppTitle(), TMsgIcon::Error, TMsgButtons::OK);
  }
}

void TfrmFileTypeEditor::loadFileFormatExecute() {
  const std::string folder = Global ? Global->ProgramFolder : std::string();
  const std::string chosen = Dialogs().OpenFileName("Load File Format", folder, FileFormatFilter);
  if (chosen.empty()) return;
  QFile in(Q(chosen));
  std::string reason;
  if (!in.open(QIODevice::ReadOnly)) {
    reason = in.errorString().toStdString();
  } else if (in.size() > MaxFormatFileSize) {
    reason = "it is " + std::to_string(in.size()) + " bytes long, too long for a file format";
  }
  QByteArray bytes;
  if (reason.empty()) {
    bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) reason = in.errorString().toStdString();
  }
  if (!reason.empty()) {
    Dialogs().MessageBox("The file format \"" + chosen + "\" cannot be read: " + reason, AppTitle(), TMsgIcon::Error,
                         TMsgButtons::OK);
    return;
  }
  TFileType format;
  format.ReadFromText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  SetTitle(format.Title);
  FMasks->clear();
  for (const auto& mask : format.Extensions) AddMask(mask->Value, mask->Enabled);
  FComments.clear();
  FGrid->setRowCount(0);
  for (const auto& c : format.Comments) AddComment(*c);
}

bool TfrmFileTypeEditor::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && (watched == FMasks || watched == FGrid)) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (PlainKey(key)) {  // an open cell editor has the keys itself
      const bool masks = watched == FMasks;
      switch (key->key()) {
        case Qt::Key_Delete: masks ? removeExtensionExecute() : removeCommentExecute(); return true;
        case Qt::Key_Insert: masks ? addExtensionExecute() : addCommentExecute(); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: masks ? btnEditExtensionClick() : btnEditCommentClick(); return true;
        default: break;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace qrmt
