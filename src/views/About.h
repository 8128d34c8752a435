// The about box: logo, title, version, notice of rights, and the buttons
// Update, Support, WebSite and OK.
#pragma once

#include <QDialog>

namespace qrmt {

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmAbout(QWidget* parent = nullptr);
};

}  // namespace qrmt
