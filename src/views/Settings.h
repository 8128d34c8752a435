// The settings view: four options of the settings record, edited in place.
#pragma once

#include <QWidget>

#include "app/qrmt_platform.h"

class QCheckBox;

namespace qrmt {

class TfrmSettings : public QWidget, public TMessageReceiver {
  Q_OBJECT

 public:
  explicit TfrmSettings(QWidget* parent = nullptr);
  ~TfrmSettings() override;

  intptr_t HandleMessage(unsigned code, uintptr_t wParam, intptr_t lParam) override;
  THandle Handle() const { return FHandle; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();

  THandle FHandle = 0;
  bool FFilled = false;  // the boxes show the options: clicks may write them
  QCheckBox* FClearCountQueue;
  QCheckBox* FShowPath;
  QCheckBox* FClearBeforeCount;
  QCheckBox* FCheckForUpdates;
};

}  // namespace qrmt
