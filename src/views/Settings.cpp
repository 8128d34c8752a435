#include "Settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include "app/qrmt_global.h"
#include "app/qrmt_messages.h"

namespace qrmt {

namespace {

QCheckBox* Box(QGroupBox* group, const char* name, const char* caption) {
  auto* box = new QCheckBox(caption, group);
  box->setObjectName(name);
  group->layout()->addWidget(box);
  return box;
}

QGroupBox* Group(QWidget* parent, QVBoxLayout* layout, const char* name, const char* caption) {
  auto* group = new QGroupBox(caption, parent);
  group->setObjectName(name);
  group->setLayout(new QVBoxLayout);
  group->setMaximumWidth(420);
  layout->addWidget(group);
  return group;
}

}  // namespace

TfrmSettings::TfrmSettings(QWidget* parent) : QWidget(parent) {
  setObjectName("frmSettings");
  auto* layout = new QVBoxLayout(this);
  QGroupBox* selection = Group(this, layout, "gbFileSelection", "  File Selection  ");
  FClearCountQueue = Box(selection, "cqClearCountQueue", "Clear count queue after count");
  QGroupBox* report = Group(this, layout, "gbReport", "  Report  ");
  FShowPath = Box(report, "rptShowPath", "Show Path");
  FClearBeforeCount = Box(report, "rptClearBeforeCount", "Clear report before new count");
  QGroupBox* counting = Group(this, layout, "gbCounting", "  Counting  ");
  counting->hide();  // a group without options
  QGroupBox* updates = Group(this, layout, "gbCheckForUpdates", "  Check for updates  ");
  FCheckForUpdates = Box(updates, "cbCheckForUpdates", "Check for updates automatically at program start");
  layout->addStretch(1);

  // A click writes the new state into its option at once, once the boxes
  // show the options.
  auto bind = [this](QCheckBox* box, auto option) {
    connect(box, &QCheckBox::toggled, this, [this, option](bool on) {
      if (FFilled && Global) option(*Global).Value = on;
    });
  };
  bind(FClearCountQueue,
       [](TqrmtGlobal& g) -> TSettingsBooleanValue& { return g.Settings.FileSelection.ClearCountQueue; });
  bind(FShowPath, [](TqrmtGlobal& g) -> TSettingsBooleanValue& { return g.Settings.Report.ShowPath; });
  bind(FClearBeforeCount, [](TqrmtGlobal& g) -> TSettingsBooleanValue& { return g.Settings.Report.ClearBeforeCount; });
  bind(FCheckForUpdates, [](TqrmtGlobal& g) -> TSettingsBooleanValue& { return g.Settings.Application.appAutoUpdate; });
  FHandle = RegisterReceiver(this);
}

TfrmSettings::~TfrmSettings() {
  if (Global && Global->SettingsWindow == FHandle) Global->SettingsWindow = 0;
  UnregisterReceiver(FHandle);
}

void TfrmSettings::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FormShow();
}

void TfrmSettings::FormShow() {
  if (!Global) return;
  Global->SettingsWindow = FHandle;
  FFilled = false;
  const TSettings& s = Global->Settings;
  FCheckForUpdates->setChecked(s.Application.appAutoUpdate.Value);
  FClearCountQueue->setChecked(s.FileSelection.ClearCountQueue.Value);
  FShowPath->setChecked(s.Report.ShowPath.Value);
  FClearBeforeCount->setChecked(s.Report.ClearBeforeCount.Value);
  FFilled = true;
}

intptr_t TfrmSettings::HandleMessage(unsigned code, uintptr_t, intptr_t) {
  if (code == UM_SETTINGS_CHANGED) FormShow();  // re-read, nothing written back
  return 0;
}

}  // namespace qrmt
