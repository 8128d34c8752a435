#include "qrmt_help.h"

#include <QAction>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "qrmt_icons.h"

namespace qrmt {

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("HelpWindow");
  setWindowTitle("Kestrune Quorimeter Help");
  resize(720, 560);
  FBrowser = new QTextBrowser(this);
  FBrowser->setObjectName("HelpBrowser");
  FBrowser->setOpenExternalLinks(true);
  auto* bar = new QToolBar(this);
  QAction* back = bar->addAction(CommandIcon("go-previous"), "Back");
  QAction* contents = bar->addAction(CommandIcon("go-home"), "Contents");
  back->setObjectName("helpBack");
  contents->setObjectName("helpContents");
  connect(back, &QAction::triggered, FBrowser, &QTextBrowser::backward);
  connect(FBrowser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
  back->setEnabled(false);
  connect(contents, &QAction::triggered, this, &THelpWindow::ShowContents);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(bar);
  layout->addWidget(FBrowser);
  ShowContents();
}

void THelpWindow::ShowContents() {
  FBrowser->setSource(QUrl("qrc:/qrmt/help/index.html"));
}

}  // namespace qrmt
