#include "CommentsEditor.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "app/qrmt_global.h"
#include "app/qrmt_platform.h"

namespace qrmt {

TfrmCommentsEditor::TfrmCommentsEditor(QWidget* parent) : QDialog(parent) {
  setObjectName("frmCommentsEditor");
  setWindowTitle("Edit comment");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("btnCancel");
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("btnOk");
  ok->setDefault(true);
  FType = new QComboBox(this);
  FType->setObjectName("commentType");
  const auto names = Global ? Global->CommentTypeNames() : CommentTypeNames();
  for (const std::string& n : names) FType->addItem(QString::fromStdString(n));
  FType->setCurrentIndex(0);
  FStart = new QLineEdit(this);
  FStart->setObjectName("commentStart");
  FEnd = new QLineEdit(this);
  FEnd->setObjectName("commentEnd");
  FFixed = new QSpinBox(this);
  FFixed->setObjectName("commentFixedColumn");
  FFixed->setRange(0, 100);
  FFixed->findChild<QLineEdit*>()->setObjectName("Edit3");
  auto* grid = new QGridLayout(this);
  auto label = [this](const char* text, QWidget* buddy) {
    auto* l = new QLabel(text, this);
    l->setBuddy(buddy);
    return l;
  };
  grid->addWidget(label("&Type", FType), 0, 0);
  grid->addWidget(FType, 0, 1, 1, 2);
  grid->addWidget(label("&Start", FStart), 1, 0);
  grid->addWidget(FStart, 1, 1);
  grid->addWidget(label("&End", FEnd), 2, 0);
  grid->addWidget(FEnd, 2, 1);
  grid->addWidget(label("&Fixed column", FFixed), 3, 0);
  grid->addWidget(FFixed, 3, 1);
  grid->setColumnStretch(2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 4, 0, 1, 3);
  setTabOrder(cancel, ok);
  setTabOrder(ok, FType);
  setTabOrder(FType, FStart);
  setTabOrder(FStart, FEnd);
  setTabOrder(FEnd, FFixed);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  setMinimumSize(226, 187);
  resize(sizeHint().expandedTo(QSize(226, 187)));
}

void TfrmCommentsEditor::SetComment(const TComment& comment) {
  FType->setCurrentIndex(comment.CommentType < FType->count() ? comment.CommentType : -1);
  FStart->setText(QString::fromStdString(comment.StartSymbol));
  FEnd->setText(QString::fromStdString(comment.StopSymbol));
  FFixed->setValue(comment.FixedCol);
}

TComment TfrmCommentsEditor::Comment() const {
  TComment c;
  c.CommentType = static_cast<uint8_t>(FType->currentIndex() < 0 ? 2 : FType->currentIndex());
  c.StartSymbol = FStart->text().toStdString();
  c.StopSymbol = FEnd->text().toStdString();
  c.FixedCol = static_cast<uint16_t>(FFixed->value());
  return c;
}

void TfrmCommentsEditor::done(int result) {
  if (result == QDialog::Accepted) {
    const std::string& title = Global ? Global->Title : std::string("Kestrune Quorimeter");
    const char* problem = nullptr;
    if (FType->currentIndex() == 0 && FStart->text().isEmpty()) problem = "Start symbol not defined";
    if (FType->currentIndex() == 1 && (FStart->text().isEmpty() || FEnd->text().isEmpty()))
      problem = "Start or Stop symbol not defined";
    if (problem) {
      Dialogs().MessageBox(problem, title, TMsgIcon::Error, TMsgButtons::OK);
      return;  // stays open
    }
  }
  QDialog::done(result);
}

}  // namespace qrmt
