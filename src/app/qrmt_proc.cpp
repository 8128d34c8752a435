#include "qrmt_proc.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSysInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/qrmt_messages.h"
#include "app/qrmt_platform.h"
#include "core/qrmt_classes.h"

namespace qrmt {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

std::string CurrentLogFolder;

// The version block that GetVersionInfoValue finds in an executable: a
// marker, then name and value pairs, each ended by NUL, then an empty name.
#define QRMT_VERSION_MARKER "\x01QRMT-VERSION-BLOCK\x02"
extern "C" {
extern const char QrmtVersionBlock[];
[[gnu::used]] const char QrmtVersionBlock[] = QRMT_VERSION_MARKER
    "CompanyName\0Kestrune Software\0"
    "FileDescription\0Kestrune Quorimeter source line counter\0"
    "FileVersion\0"
    "1.1.12.30\0"
    "InternalName\0quorimeter\0"
    "LegalCopyright\0Copyright (C) Kestrune Software\0"
    "LegalTradeMarks\0\0"
    "OriginalFileName\0quorimeter\0"
    "ProductName\0Kestrune Quorimeter\0"
    "ProductVersion\0"
    "1.1\0"
    "Comments\0\0"
    "\0";
}

// The marker, kept reversed here so that the only plain copy in the
// executable is the block itself.
std::string VersionMarker() {
  static const char reversed[] = "\x02KCOLB-NOISREV-TMRQ\x01";
  return std::string(std::rbegin(reversed) + 1, std::rend(reversed));
}

}  // namespace

int64_t GetFileSizeOf(const std::string& path) {
  QFileInfo info(Q(path));
  return info.exists() ? info.size() : 0;
}

double GetFileDateOf(const std::string& path) {
  QFileInfo info(Q(path));
  if (!info.exists()) return 0;
  const QDateTime local = info.lastModified().toLocalTime();
  return static_cast<double>(QDate(1899, 12, 30).daysTo(local.date())) +
         local.time().msecsSinceStartOfDay() / 86400000.0;
}

std::string FormatKiloBytes(int64_t bytes) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f kB", static_cast<double>(bytes) / 1000.0);
  std::string s = buf;
  const QString point = QLocale().decimalPoint();
  const size_t dot = s.find('.');
  if (dot != std::string::npos && point != ".") s.replace(dot, 1, point.toStdString());
  return s;
}

bool SameExtension(const std::string& fileName, const std::string& extension) {
  return LowerAscii(ExtractFileExt(fileName)) == extension;
}

std::string CreateTempFileIn(const std::string& folder) {
  if (!QDir().mkpath(Q(folder))) return {};
  QTemporaryFile file(QDir(Q(folder)).filePath("tmpXXXXXX.tmp"));
  file.setAutoRemove(false);
  if (!file.open()) return {};
  return QDir::toNativeSeparators(file.fileName()).toStdString();
}

bool ClearFolder(const std::string& folder) {
  // A link in place of the folder is never followed: it could point at
  // anybody's files.
  QString self = Q(folder);
  while (self.size() > 1 && (self.endsWith('/') || self.endsWith(QDir::separator()))) self.chop(1);
  if (QFileInfo(self).isSymLink()) return false;
  QDir dir(Q(folder));
  if (!dir.exists()) return true;
  const auto entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QFileInfo& e : entries) {
    if (e.isDir() && !e.isSymLink()) {
      if (!ClearFolder(e.absoluteFilePath().toStdString())) return false;
      QDir().rmdir(e.absoluteFilePath());
    } else {
      QFile::remove(e.absoluteFilePath());  // one that cannot go is skipped
    }
  }
  return true;
}

int SplitText(std::vector<std::string>& list, const std::string& separator, const std::string& text) {
  list.clear();
  if (separator.empty()) {
    list.push_back(text);
    return 1;
  }
  const std::string s = text + separator;
  size_t start = 0;
  for (size_t p; (p = s.find(separator, start)) != std::string::npos; start = p + separator.size())
    list.push_back(s.substr(start, p - start));
  return static_cast<int>(list.size());
}

std::string LogFolder() {
  return CurrentLogFolder.empty() ? ProgramFolderPath() : CurrentLogFolder;
}
void SetLogFolder(const std::string& folder) {
  CurrentLogFolder = folder;
}

std::string MovedLogName(const std::string& dateTimeText) {
  std::string name = dateTimeText;
  for (char& c : name)
    if (c != ' ' && c != '.' && !(c >= '0' && c <= '9')) c = '-';
  return name + ".log";
}

void WriteLog(const std::string& text) {
  if (!registry::Exists("DebugLog")) {
    registry::WriteInteger("DebugLog", 1);
    return;
  }
  if (registry::ReadInteger("DebugLog").value_or(0) == 0) return;
  const QString folder = Q(LogFolder());
  const QString logName = QDir(folder).filePath("error.log");
  bool ok = true;
  QFileInfo info(logName);
  if (info.exists() && info.size() > 65536) {
    // Date and time as the user writes them, without a time zone name.
    QString timeFormat = QLocale().timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t')).replace("  ", " ");
    const QDateTime now = QDateTime::currentDateTime();
    const std::string stamp = (QLocale().toString(now.date(), QLocale::ShortFormat) + " " +
                               QLocale().toString(now.time(), timeFormat.trimmed()))
                                  .toStdString();
    QString target = QDir(folder).filePath(Q(MovedLogName(stamp)));
    // Never overwrite an older part moved aside in the same second.
    for (int n = 2; QFileInfo::exists(target); ++n)
      target = QDir(folder).filePath(Q(MovedLogName(stamp + " " + std::to_string(n))));
    ok = QFile::rename(logName, target);
  }
  if (ok) {
    QFile log(logName);
    ok = log.open(QIODevice::WriteOnly | QIODevice::Append);
    if (ok) {
      const QByteArray line = QByteArray::fromStdString(text) + "\r\n";
      ok = log.write(line) == line.size();
      log.close();
      ok = ok && log.error() == QFileDevice::NoError;
    }
  }
  if (!ok) Dialogs().MessageBox(text, msg::AppTitle, TMsgIcon::Error, TMsgButtons::OK);
}

std::string GetWindowsName(int platformId, int major, int minor, const std::string& servicePack) {
  std::string name;
  if (platformId == 0) {
    name = "Win 3.1 with Win32s";
  } else if (platformId == 1) {
    name = minor == 0 ? "Windows 95" : "Windows 98";
  } else if (platformId == 2) {
    if (major == 5 && minor == 0)
      name = "Microsoft Windows 2000";
    else if (major == 5 && minor == 1)
      name = "Microsoft Windows XP";
    else if (major == 5 && minor == 2)
      name = "Microsoft Windows Server 2003 family";
    else if (major <= 4)
      name = "Microsoft Windows NT";
  }
  return name + " " + servicePack;
}

std::string GetWindowsName() {
  return QSysInfo::prettyProductName().toStdString();
}

std::string GetBrowserVersion() {
  return {};
}

std::string GetVersionInfoValue(const std::string& fileName, int index) {
  if (index < 1 || index > static_cast<int>(VersionInfoKeys.size())) return {};
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return {};
  const std::string marker = VersionMarker();
  // Scan in pieces, keeping the tail that may hold the start of the block.
  std::string window;
  std::vector<char> buf(1 << 20);
  size_t found = std::string::npos;
  while (found == std::string::npos && in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    window.append(buf.data(), static_cast<size_t>(in.gcount()));
    found = window.find(marker);
    if (found == std::string::npos && window.size() > 4096) window.erase(0, window.size() - 4096);
  }
  if (found == std::string::npos) return {};
  // Make sure the whole block is in the window.
  while (in && window.size() - found < 8192) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    window.append(buf.data(), static_cast<size_t>(in.gcount()));
  }
  size_t p = found + marker.size();
  const std::string wanted = VersionInfoKeys[static_cast<size_t>(index - 1)];
  while (p < window.size()) {
    const size_t nameEnd = window.find('\0', p);
    if (nameEnd == std::string::npos || nameEnd == p) break;
    const size_t valueEnd = window.find('\0', nameEnd + 1);
    if (valueEnd == std::string::npos) break;
    if (CompareTextAscii(window.substr(p, nameEnd - p), wanted) == 0)
      return window.substr(nameEnd + 1, valueEnd - nameEnd - 1);
    p = valueEnd + 1;
  }
  return {};
}

std::array<uint8_t, 4> SplitFileVersion(std::string text) {
  std::array<uint8_t, 4> v{};
  for (int i = 0; i < 3; ++i) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos) {
      v[static_cast<size_t>(i)] = 0;
      continue;
    }
    v[static_cast<size_t>(i)] = static_cast<uint8_t>(ReadNumber(text.substr(0, dot)));
    text.erase(0, dot + 1);
  }
  v[3] = static_cast<uint8_t>(ReadNumber(text));
  return v;
}

std::array<uint8_t, 4> ReadFileVersion(const std::string& fileName) {
  return SplitFileVersion(GetVersionInfoValue(fileName, 3));
}

void EncodeMailText(std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "%0A";
    else
      out += c;
  }
  text.clear();
  for (char c : out) {
    if (c == ' ')
      text += "%20";
    else
      text += c;
  }
}

namespace {
std::string MailHead(const std::string& word, const std::string& title, const std::string& versionText) {
  return std::string("mailto:") + msg::SupportMailbox + "?subject=" + word + " (" + title + " " + versionText + ")";
}
}  // namespace

std::string BuildSupportMailText(const std::string& title, const std::string& versionText,
                                 const std::string& windowsName, const std::string& browserVersion) {
  const std::string rule(48, '-');
  std::string text = MailHead(msg::SupportWord, title, versionText) + "&body=" + msg::SupportBodyIntro + "\n\n\n" +
                     rule + "\n" + msg::SupportBodyInfo + "\n" + title + " " + versionText + "\n" +
                     msg::SupportBodyWindows + windowsName + "\n" + msg::SupportBodyBrowser + browserVersion + "\n" +
                     rule + "\n";
  EncodeMailText(text);
  return text;
}

std::string BuildFeedbackMailText(const std::string& title, const std::string& versionText) {
  std::string text = MailHead(msg::FeedbackWord, title, versionText);
  EncodeMailText(text);
  return text;
}

std::string BuildNewsletterMailText() {
  return std::string("mailto:") + msg::NewsletterMailbox + msg::NewsletterSubject;
}

}  // namespace qrmt
