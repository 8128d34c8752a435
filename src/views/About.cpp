#include "About.h"

#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qrmt_global.h"
#include "app/qrmt_messages.h"

namespace qrmt {

namespace {

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName("frmAbout");
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);

  auto* logo = new QLabel(this);
  logo->setObjectName("imgLogo");
  logo->setPixmap(QPixmap(":/qrmt/logo.png"));
  logo->setFixedSize(64, 64);
  logo->setAlignment(Qt::AlignCenter);

  auto* title = new QLabel(Global ? QString::fromStdString(Global->Title) : QString(msg::AppTitle), this);
  title->setObjectName("lblAppTitle");
  QFont bold = title->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  title->setFont(bold);
  auto* version = new QLabel(Global ? QString::fromStdString(Global->VersionText) : QString(), this);
  version->setObjectName("lblAppVersion");
  auto* rights = new QLabel(msg::AboutRights, this);
  rights->setObjectName("Label4");
  auto* warning = new QLabel(msg::AboutWarning, this);
  warning->setObjectName("Label5");
  warning->setWordWrap(true);

  QPushButton* update = Button(this, "btnCheckForUpdates", "Update");
  QPushButton* support = Button(this, "btnSupport", "Support");
  QPushButton* web = Button(this, "btnWebSite", "WebSite");
  QPushButton* ok = Button(this, "btnOK", "OK");
  ok->setDefault(true);
  connect(update, &QPushButton::clicked, this, [] {
    if (Global) Global->RequestUpdateCheck();
  });
  connect(support, &QPushButton::clicked, this, [] {
    if (Global) Global->OpenSupportMail();
  });
  connect(web, &QPushButton::clicked, this, [] {
    if (Global) Global->OpenWebSite();
  });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* grid = new QGridLayout(this);
  grid->addWidget(logo, 0, 0, 3, 1, Qt::AlignTop);
  grid->addWidget(title, 0, 1);
  grid->addWidget(version, 1, 1);
  grid->addWidget(rights, 2, 1, Qt::AlignTop);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(update);
  buttons->addStretch(1);
  buttons->addWidget(support);
  buttons->addWidget(web);
  buttons->addSpacing(8);
  buttons->addWidget(ok);
  grid->addLayout(buttons, 0, 2, 4, 1);
  grid->addWidget(warning, 3, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  setMinimumSize(400, 240);
}

}  // namespace qrmt
