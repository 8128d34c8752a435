// Running a modal dialog of a view; tests replace it to answer without
// waiting.
#pragma once

#include <QDialog>
#include <functional>

namespace qrmt {

inline std::function<int(QDialog&)> RunModalHook;

inline int RunModal(QDialog& dialog) {
  return RunModalHook ? RunModalHook(dialog) : dialog.exec();
}

}  // namespace qrmt
