#include "qrmt_platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>
#include <iostream>
#include <map>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace qrmt {

std::string TUserDialogs::OpenFileName(const std::string&, const std::string&, const std::string&) {
  return {};
}

std::string TUserDialogs::SaveFileName(const std::string&, const std::string&, const std::string&) {
  return {};
}

bool TUserDialogs::InputQuery(const std::string&, const std::string&, std::string&) {
  return false;
}

namespace {

std::map<THandle, TMessageReceiver*>& Receivers() {
  static std::map<THandle, TMessageReceiver*> receivers;
  return receivers;
}
THandle NextHandle = 0;

class TConsoleDialogs : public TUserDialogs {
 public:
  int MessageBox(const std::string& text, const std::string& caption, TMsgIcon, TMsgButtons buttons) override {
    std::cerr << caption << ": " << text << "\n";
    switch (buttons) {
      case TMsgButtons::OK: return mrOK;
      case TMsgButtons::OKCancel: return mrCancel;
      case TMsgButtons::YesNo: return mrNo;
    }
    return mrNone;
  }
};

TConsoleDialogs ConsoleDialogs;
TUserDialogs* CurrentDialogs = nullptr;
std::function<void()> Pump;
std::function<void(const std::string&)> SoundPlayer;
std::function<bool(const std::string&)> UrlOpener;

QSettings Registry() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Kestrune Software", "Quorimeter");
}

std::string WithSeparator(const QString& folder) {
  QString f = QDir::toNativeSeparators(folder);
  if (!f.endsWith(QDir::separator())) f += QDir::separator();
  return f.toStdString();
}

}  // namespace

THandle RegisterReceiver(TMessageReceiver* receiver) {
  THandle h = ++NextHandle;
  Receivers()[h] = receiver;
  return h;
}

void UnregisterReceiver(THandle handle) {
  Receivers().erase(handle);
}

intptr_t SendMessage(THandle handle, unsigned code, uintptr_t wParam, intptr_t lParam) {
  if (handle == 0) return 0;
  auto it = Receivers().find(handle);
  if (it == Receivers().end() || it->second == nullptr) return 0;
  return it->second->HandleMessage(code, wParam, lParam);
}

TUserDialogs& Dialogs() {
  return CurrentDialogs ? *CurrentDialogs : ConsoleDialogs;
}
void SetDialogs(TUserDialogs* dialogs) {
  CurrentDialogs = dialogs;
}

void ProcessMessages() {
  if (Pump) {
    Pump();
  } else if (QCoreApplication::instance() != nullptr) {
    QCoreApplication::processEvents();
  }
}
void SetMessagePump(std::function<void()> pump) {
  Pump = std::move(pump);
}

void PlaySoundAsync(const std::string& file) {
  if (!SoundPlayer) return;
  try {
    SoundPlayer(file);
  } catch (...) {
    // A sound never fails a count.
  }
}
void SetSoundPlayer(std::function<void(const std::string&)> player) {
  SoundPlayer = std::move(player);
}

bool OpenUrl(const std::string& url) {
  return UrlOpener ? UrlOpener(url) : false;
}
void SetUrlOpener(std::function<bool(const std::string&)> opener) {
  UrlOpener = std::move(opener);
}

namespace registry {
bool Exists(const std::string& name) {
  return Registry().contains(QString::fromStdString(name));
}
std::optional<int32_t> ReadInteger(const std::string& name) {
  QSettings r = Registry();
  const QVariant v = r.value(QString::fromStdString(name));
  if (!v.isValid()) return std::nullopt;
  bool ok = false;
  const int value = v.toInt(&ok);
  return ok ? std::optional<int32_t>(value) : std::optional<int32_t>(0);
}
std::optional<std::string> ReadString(const std::string& name) {
  QSettings r = Registry();
  const QVariant v = r.value(QString::fromStdString(name));
  if (!v.isValid()) return std::nullopt;
  return v.toString().toStdString();
}
void WriteInteger(const std::string& name, int32_t value) {
  QSettings r = Registry();
  r.setValue(QString::fromStdString(name), value);
  r.sync();
}
void Remove(const std::string& name) {
  QSettings r = Registry();
  r.remove(QString::fromStdString(name));
  r.sync();
}
}  // namespace registry

std::string ExecutablePath() {
  if (QCoreApplication::instance() != nullptr) return QCoreApplication::applicationFilePath().toStdString();
#ifdef __linux__
  const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  if (!self.isEmpty()) return self.toStdString();
#endif
  return {};
}

std::string ProgramFolderPath() {
  const QByteArray env = qgetenv("QRMT_PROGRAM_FOLDER");
  if (!env.isEmpty()) return WithSeparator(QString::fromLocal8Bit(env));
  const QString exe = QString::fromStdString(ExecutablePath());
  if (!exe.isEmpty()) {
    const QFileInfo dir(QFileInfo(exe).absolutePath());
    // Installed (the desktop entry beside it, as under /usr): never the
    // system's folder, even for root, who may write there.
    const bool installed = QFileInfo::exists(dir.absoluteFilePath() + "/../share/applications/quorimeter.desktop");
    if (dir.isWritable() && !installed) return WithSeparator(dir.absoluteFilePath());
  }
  QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  if (data.isEmpty()) data = QDir::homePath() + "/.local/share/Kestrune Software/Quorimeter";
  return WithSeparator(data);
}

std::string SystemTempFolder() {
  return WithSeparator(QDir::tempPath());
}

std::string PrivateTempFolder(const std::string& base) {
#ifdef _WIN32
  const std::string folder = base + "ksqrmt\\";
  return QDir().mkpath(QString::fromStdString(folder)) ? folder : std::string();
#else
  const uid_t uid = ::getuid();
  const std::string name = base + "ksqrmt-" + std::to_string(uid);
  if (::mkdir(name.c_str(), 0700) == 0) return name + "/";
  struct stat st {};
  if (errno == EEXIST && ::lstat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid) {
    if ((st.st_mode & 077) != 0 && ::chmod(name.c_str(), 0700) != 0) return {};
    return name + "/";
  }
  // Someone else's, or not a folder: never use, follow or empty it.
  std::string unique = name + "-XXXXXX";
  if (::mkdtemp(unique.data()) == nullptr) return {};
  return unique + "/";
#endif
}

}  // namespace qrmt
