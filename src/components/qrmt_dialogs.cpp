#include "qrmt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

namespace qrmt {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

int TQtDialogs::MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon, TMsgButtons buttons) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(Q(caption));
  box.setText(Q(text));
  switch (icon) {
    case TMsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case TMsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case TMsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case TMsgIcon::None: break;
  }
  switch (buttons) {
    case TMsgButtons::OK: box.setStandardButtons(QMessageBox::Ok); break;
    case TMsgButtons::OKCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case TMsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::No);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return mrOK;
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Cancel: return mrCancel;
    default: return buttons == TMsgButtons::YesNo ? mrNo : mrCancel;
  }
}

std::string TQtDialogs::OpenFileName(const std::string& caption, const std::string& folder, const std::string& filter) {
  return QFileDialog::getOpenFileName(QApplication::activeWindow(), Q(caption), Q(folder), Q(filter)).toStdString();
}

std::string TQtDialogs::SaveFileName(const std::string& caption, const std::string& folder, const std::string& filter) {
  // Replacing a file needs no question here: the caller decides.
  return QFileDialog::getSaveFileName(QApplication::activeWindow(), Q(caption), Q(folder), Q(filter), nullptr,
                                      QFileDialog::DontConfirmOverwrite)
      .toStdString();
}

bool TQtDialogs::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  bool ok = false;
  const QString answer =
      QInputDialog::getText(QApplication::activeWindow(), Q(caption), Q(prompt), QLineEdit::Normal, Q(value), &ok);
  if (ok) value = answer.toStdString();
  return ok;
}

void PlaySoundFile(const std::string& file) {
  static const QString player = [] {
    for (const char* name : {"paplay", "pw-play", "aplay"}) {
      const QString path = QStandardPaths::findExecutable(name);
      if (!path.isEmpty()) return path;
    }
    return QString();
  }();
  const QString sound = Q(file);
  if (!player.isEmpty() && QFileInfo(sound).isFile() && QProcess::startDetached(player, {sound})) return;
  QApplication::beep();
}

}  // namespace qrmt
