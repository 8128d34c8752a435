#include "qrmt_queue.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "app/qrmt_proc.h"

namespace qrmt {

namespace {

// Days from 30 December 1899 to 1 January 1970.
constexpr double UnixEpochDays = 25569.0;

double LocalDays(const struct timespec& t) {
  struct tm local {};
  const time_t seconds = t.tv_sec;
  if (!localtime_r(&seconds, &local)) return 0;
  // The local wall clock as if it were UTC, then in days.
  const double wall = static_cast<double>(timegm(&local)) + t.tv_nsec / 1e9;
  return UnixEpochDays + wall / 86400.0;
}

}  // namespace

void FillQueueItem(TCountQueueItem& item, const std::string& fullName) {
  item.Path = std::string(ExtractFilePath(fullName));
  item.FileName = std::string(ExtractFileName(fullName));
  struct stat st {};
  const bool found = ::stat(fullName.c_str(), &st) == 0;
  item.Size = found ? static_cast<int64_t>(st.st_size) : 0;
  item.SizeText = FormatKiloBytes(item.Size);
  item.Date = found ? LocalDays(st.st_mtim) : 0;
  item.DateText = FormatFileDate(item.Date);
}

std::string FormatFileDate(double date) {
  // The locale's long time format names the zone; the file's date is
  // local time, so the zone is left out.
  static const QString format = [] {
    const QLocale locale;
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(QLatin1Char('t'));
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time.trimmed();
  }();
  const qint64 ms = static_cast<qint64>((date - UnixEpochDays) * 86400000.0 + (date >= UnixEpochDays ? 0.5 : -0.5));
  const QDateTime wall = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
  return QLocale().toString(wall, format).toStdString();
}

bool ReadFolderEntries(const std::string& folder, std::vector<TFolderEntry>& entries, std::string& error) {
  entries.clear();
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    error = std::strerror(errno);
    return false;
  }
  std::string base = folder;
  if (base.empty() || base.back() != '/') base += '/';
  errno = 0;
  while (const dirent* e = ::readdir(dir)) {
    const char* name = e->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    bool isFolder = e->d_type == DT_DIR;
    if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
      struct stat st {};
      const std::string full = base + name;
      if (e->d_type == DT_UNKNOWN && ::lstat(full.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        isFolder = S_ISDIR(st.st_mode);
      } else if (::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        continue;  // a link to a folder is not followed
      }
    }
    entries.push_back({name, isFolder});
    errno = 0;
  }
  const int readError = errno;
  ::closedir(dir);
  if (readError != 0) {
    error = std::strerror(readError);
    return false;
  }
  return true;
}

std::string ClipboardTextFileBytes(std::u16string_view text) {
  std::string out;
  out.reserve(2 + text.size() * 2 + 4);
  out += "\xFF\xFE";
  auto put = [&out](char16_t c) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  };
  size_t i = 0;
  do {
    while (i < text.size() && text[i] != u'\r' && text[i] != u'\n' && text[i] != u'\u2028') put(text[i++]);
    put(u'\r');
    put(u'\n');
    if (i < text.size() && text[i] == u'\r') ++i;
    if (i < text.size() && text[i] == u'\n') ++i;
    if (i < text.size() && text[i] == u'\u2028') ++i;
  } while (i < text.size());
  return out;
}

}  // namespace qrmt
