// The help window: the program's own pages, compiled in, with their
// contents page and links.
#pragma once

#include <QWidget>

class QTextBrowser;

namespace qrmt {

class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit THelpWindow(QWidget* parent = nullptr);
  // Shows the contents page.
  void ShowContents();
  QTextBrowser* Browser() const { return FBrowser; }

 private:
  QTextBrowser* FBrowser;
};

}  // namespace qrmt
