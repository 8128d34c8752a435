// The file format editor: a format's title, its masks and its comment
// delimiters, checked on OK, and the single-format ".qrmtff" file.
#pragma once

#include <QDialog>
#include <string>
#include <utility>
#include <vector>

#include "core/qrmt_classes.h"

class QLineEdit;
class QListWidget;
class QTableWidget;
class QTableWidgetItem;

namespace qrmt {

class TfrmFileTypeEditor : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmFileTypeEditor(QWidget* parent = nullptr);

  // What the calling command writes before and reads after.
  void SetTitle(const std::string& title);
  std::string Title() const;
  void AddMask(const std::string& value, bool enabled);
  std::vector<std::pair<std::string, bool>> Masks() const;
  void AddComment(const TComment& comment);
  const std::vector<TComment>& Comments() const { return FComments; }

  bool ValidateFormat();
  void done(int result) override;

  void addExtensionExecute();
  void btnEditExtensionClick();
  void removeExtensionExecute();
  void addCommentExecute();
  void btnEditCommentClick();
  void removeCommentExecute();
  void saveFileFormatExecute();
  void loadFileFormatExecute();

  QTableWidget* CommentGrid() const { return FGrid; }
  QListWidget* MaskList() const { return FMasks; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowRow(int row);
  void CellEdited(QTableWidgetItem* item);
  int SelectedComment() const;
  void Tell(const char* text, int icon);

  QLineEdit* FTitle;
  QListWidget* FMasks;
  QTableWidget* FGrid;
  std::vector<TComment> FComments;
  bool FShowing = false;
};

// The dialogs' filter of single-format files.
inline constexpr const char* FileFormatFilter = "QRMT File Format (*.qrmtff)";

}  // namespace qrmt
