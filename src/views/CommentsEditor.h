// The comment dialog: one comment delimiter's type, start and end symbols
// and fixed column.
#pragma once

#include <QDialog>

#include "core/qrmt_classes.h"

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace qrmt {

class TfrmCommentsEditor : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmCommentsEditor(QWidget* parent = nullptr);
  void SetComment(const TComment& comment);
  TComment Comment() const;
  void done(int result) override;

 private:
  QComboBox* FType;
  QLineEdit* FStart;
  QLineEdit* FEnd;
  QSpinBox* FFixed;
};

}  // namespace qrmt
