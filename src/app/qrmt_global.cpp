#include "qrmt_global.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/qrmt_messages.h"
#include "app/qrmt_proc.h"
#include "core/qrmt_const.h"
#include "core/qrmt_engine.h"

namespace qrmt {

TqrmtGlobal* Global = nullptr;

namespace {

constexpr std::array<const char*, 11> ReportColumnKeys = {"FileName",    "Nominal", "Total",    "SourceCode",
                                                          "SourceCodeP", "Comment", "CommentP", "Balnk",
                                                          "BlankP",      "Mixed",   "MixedP"};

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

std::string Replace(std::string text, const std::string& marker, const std::string& value) {
  const size_t p = text.find(marker);
  if (p != std::string::npos) text.replace(p, marker.size(), value);
  return text;
}

std::string Group(const std::string& name, const std::string& inner) {
  return "<" + name + ">" + inner + "</" + name + ">";
}
std::string Element(const TSettingsIntegerValue& o) {
  return FormatValueElement(o.Key, std::to_string(o.Value));
}
std::string Element(const TSettingsBooleanValue& o) {
  return FormatValueElement(o.Key, o.Value ? "True" : "False");
}
// Folder names may hold what would end an element early ("\"", "/>") or
// look like the start of another ("<"): string values carry those as
// character references. A text written before held a reference only where
// a folder's name spelled one out; every other "&" reads as it did.
std::string EscapeValue(const std::string& v) {
  std::string out;
  out.reserve(v.size());
  for (char c : v) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string UnescapeValue(const std::string& v) {
  static const std::pair<std::string_view, char> refs[] = {
      {"&amp;", '&'}, {"&quot;", '"'}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string out;
  out.reserve(v.size());
  for (size_t i = 0; i < v.size();) {
    bool replaced = false;
    if (v[i] == '&') {
      for (const auto& [ref, c] : refs) {
        if (v.compare(i, ref.size(), ref) == 0) {
          out += c;
          i += ref.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += v[i++];
  }
  return out;
}

std::string Element(const TSettingsStringValue& o) {
  return FormatValueElement(o.Key, EscapeValue(o.Value));
}

void Read(TSettingsIntegerValue& o, const TSettingsIntegerValue& def, std::string& rem) {
  int32_t v = 0;
  o.Value = TryParseInt32(ReadValueElement(o.Key, rem), v) ? v : def.Value;
}
void Read(TSettingsBooleanValue& o, const TSettingsBooleanValue& def, std::string& rem) {
  o.Value = ReadBoolean(ReadValueElement(o.Key, rem), def.Value);
}
void Read(TSettingsStringValue& o, const TSettingsStringValue&, std::string& rem) {
  o.Value = UnescapeValue(ReadValueElement(o.Key, rem));
}

std::string Timestamp() {
  return QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
}

}  // namespace

// --- settings record and text ------------------------------------------------

const TSettings& DefaultSettings() {
  static const TSettings defaults = [] {
    TSettings s;
    s.Application = {"Application",    {"mfLeft", -1},       {"mfTop", -1},          {"mfWidth", -1},
                     {"mfHeight", -1}, {"fsFltrTypeIdx", 0}, {"appAutoUpdate", true}};
    s.FileSelection = {"FileSelection",
                       {"ShowFolders", true},
                       {"ClearCountQueue", false},
                       {"currentFolder", ""},
                       {"zipEnabled", true}};
    s.Report.Name = "Report";
    s.Report.ShowPath = {"ShowPath", true};
    s.Report.ClearBeforeCount = {"ClearBeforeCount", true};
    s.Report.ReportColumns.Name = "ReportColumns";
    s.Report.ReportColumnsWidth.Name = "ReportColumnsWidth";
    for (size_t i = 0; i < ReportColumnKeys.size(); ++i) {
      s.Report.ReportColumns.Items[i] = {ReportColumnKeys[i], true};
      s.Report.ReportColumnsWidth.Items[i] = {ReportColumnKeys[i], -1};
    }
    s.Counting.Name = "Counting";
    s.ExportReport = {"", {"", 0}};
    return s;
  }();
  return defaults;
}

std::string FormatValueElement(const std::string& key, const std::string& valueText) {
  return "<" + key + " value=\"" + valueText + "\" />";
}

std::string ReadGroup(const std::string& name, const std::string& text) {
  return std::string(TextBetween(text, "<" + name + ">", "</" + name + ">"));
}

std::string ReadValueElement(const std::string& key, std::string& remaining) {
  std::string_view rest = remaining;
  const std::string value = GetAttribute("value", TakeElement(rest, "<" + key));
  remaining = std::string(rest);
  return value;
}

std::string BuildSettingsText(const TSettings& s) {
  const auto& a = s.Application;
  const auto& f = s.FileSelection;
  const auto& r = s.Report;
  std::string columns, widths;
  for (const auto& o : r.ReportColumns.Items) columns += Element(o);
  for (const auto& o : r.ReportColumnsWidth.Items) widths += Element(o);
  return Group(a.Name, Element(a.mfLeft) + Element(a.mfTop) + Element(a.mfWidth) + Element(a.mfHeight) +
                           Element(a.fsFltrTypeIdx) + Element(a.appAutoUpdate)) +
         Group(f.Name,
               Element(f.ShowFolders) + Element(f.ClearCountQueue) + Element(f.currentFolder) + Element(f.zipEnabled)) +
         Group(r.Name, Element(r.ShowPath) + Element(r.ClearBeforeCount) + Group(r.ReportColumns.Name, columns) +
                           Group(r.ReportColumnsWidth.Name, widths)) +
         Group(s.Counting.Name, "") + Group(s.ExportReport.Name, Element(s.ExportReport.FormatIndex));
}

void ParseSettingsText(const std::string& text, TSettings& s) {
  const TSettings& d = DefaultSettings();
  std::string rem = ReadGroup(s.Application.Name, text);
  auto& a = s.Application;
  Read(a.mfLeft, d.Application.mfLeft, rem);
  Read(a.mfTop, d.Application.mfTop, rem);
  Read(a.mfWidth, d.Application.mfWidth, rem);
  Read(a.mfHeight, d.Application.mfHeight, rem);
  Read(a.fsFltrTypeIdx, d.Application.fsFltrTypeIdx, rem);
  Read(a.appAutoUpdate, d.Application.appAutoUpdate, rem);

  rem = ReadGroup(s.FileSelection.Name, text);
  auto& f = s.FileSelection;
  Read(f.ShowFolders, d.FileSelection.ShowFolders, rem);
  Read(f.ClearCountQueue, d.FileSelection.ClearCountQueue, rem);
  Read(f.currentFolder, d.FileSelection.currentFolder, rem);
  Read(f.zipEnabled, d.FileSelection.zipEnabled, rem);

  const std::string report = ReadGroup(s.Report.Name, text);
  rem = report;
  auto& r = s.Report;
  Read(r.ShowPath, d.Report.ShowPath, rem);
  Read(r.ClearBeforeCount, d.Report.ClearBeforeCount, rem);
  rem = ReadGroup(r.ReportColumns.Name, report);
  for (size_t i = 0; i < r.ReportColumns.Items.size(); ++i)
    Read(r.ReportColumns.Items[i], d.Report.ReportColumns.Items[i], rem);
  rem = ReadGroup(r.ReportColumnsWidth.Name, report);
  for (size_t i = 0; i < r.ReportColumnsWidth.Items.size(); ++i)
    Read(r.ReportColumnsWidth.Items[i], d.Report.ReportColumnsWidth.Items[i], rem);

  // The counting group carries nothing.
  rem = ReadGroup(s.ExportReport.Name, text);
  Read(s.ExportReport.FormatIndex, d.ExportReport.FormatIndex, rem);
}

// --- container contents -----------------------------------------------------

const std::string& ContainerPassword() {
  static const std::string password = "qrmtks";
  return password;
}

void ReadSettingsStore(const TSingleFileSystem& store, TSettings& settings, TFileTypeList& fileTypes, int* refused) {
  settings = DefaultSettings();
  if (refused) *refused = 0;
  if (store.FileExists(SettingsTextPath)) ParseSettingsText(store.ReadFile(SettingsTextPath), settings);
  // Only files hold formats: a folder that happens to match the mask is
  // passed over, and with no file at all the defaults come back.
  std::vector<std::string> names;
  TSFSSearchRec rec;
  if (store.FindFirst(FileTypesMask, rec)) {
    do {
      if (!rec.IsFolder) names.push_back(rec.Name);
    } while (store.FindNext(rec));
  }
  store.FindClose(rec);
  if (names.empty()) {
    LoadDefaultFileTypes(fileTypes);
    return;
  }
  fileTypes.Clear();
  for (const std::string& name : names) {
    const std::string text = store.ReadFile(FileTypesFolderPath + name);
    if (text.size() >= MaxDefinitionTextSize) {
      if (refused) ++*refused;
      continue;
    }
    fileTypes.Add()->ReadFromText(text);
  }
  if (fileTypes.Empty()) LoadDefaultFileTypes(fileTypes);
  fileTypes.SortByTitle();
}

void WriteSettingsStore(TSingleFileSystem& store, const TSettings& settings, const TFileTypeList& fileTypes) {
  store.DeleteFolder(FileTypesFolderPath);
  store.CreateFolder(SettingsFolderPath);
  store.CreateFolder(FileTypesFolderPath);
  {
    TSFSFileStream text(store, SettingsTextPath, TSFSFileStream::fmCreate);
    const std::string bytes = BuildSettingsText(settings);
    text.Write(bytes.data(), bytes.size());
    text.Commit();
  }
  int n = 0;
  for (const auto& type : fileTypes)
    store.WriteFile(FileTypesFolderPath + std::to_string(++n) + ".filetype.txt", type->WriteToText());
  store.Flush();
}

std::string SettingsFileInUse(const std::string& programFolder) {
  QSettings ini(QDir(Q(programFolder)).filePath(IniFileName), QSettings::IniFormat);
  const QString file = ini.value("Settings/datafile").toString();
  if (!file.isEmpty()) return file.toStdString();
  return programFolder + DefaultSettingsName;
}

// --- TqrmtGlobal ------------------------------------------------------------------

TqrmtGlobal::TqrmtGlobal() {
  Global = this;
  Title = msg::AppTitle;
  const auto v = ReadFileVersion(ExecutablePath());
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
  VersionNumber = buf;
  VersionText = "Version " + VersionNumber;
  std::snprintf(buf, sizeof buf, " %d.%d", v[0], v[1]);
  ShortVersion = buf;
  ProgramFolder = ProgramFolderPath();
  SetLogFolder(ProgramFolder);
  std::string temp = SystemTempFolder();
  if (temp.empty()) temp = ProgramFolder + "temp" + QDir::separator().toLatin1();
  TempFolder = PrivateTempFolder(temp);
  SettingsFile = SettingsFileInUse(ProgramFolder);
  Settings = DefaultSettings();
  CountResults.clear();
  OpenStartupContainer();
  const auto started = std::chrono::steady_clock::now();
  LoadSettings();
  // The time spent reading, not the time a message waited for the user.
  const double seconds =
      FOpenSeconds + std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (seconds > SlowStartSeconds) {
    char took[32];
    std::snprintf(took, sizeof took, "%.1f", seconds);
    Dialogs().MessageBox(Replace(Replace(Replace(msg::SlowContainer, "%1", SettingsFile), "%2", took), "%3",
                                 std::to_string(FileTypes.Count())),
                         Title, TMsgIcon::Information, TMsgButtons::OK);
  }
  WriteLog(Title + msg::StartLogLine);
}

void TqrmtGlobal::OpenStartupContainer() {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(SettingsFile, ec))) {
    try {
      SettingsStore.Create(SettingsFile, ContainerPassword());
      FStoreMode = TSFSOpenMode::Exclusive;
    } catch (const TSFSError& e) {
      Dialogs().MessageBox(e.what(), Title, TMsgIcon::Error, TMsgButtons::OK);
    }
    Settings = DefaultSettings();
    return;
  }
  // The time spent opening, not the time a message waits for the user.
  auto open = [this](TSFSOpenMode mode) {
    struct TAdd {
      double& total;
      std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
      ~TAdd() { total += std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count(); }
    } add{FOpenSeconds};
    SettingsStore.Open(SettingsFile, ContainerPassword(), mode);
  };
  try {
    open(TSFSOpenMode::Exclusive);
    FStoreMode = TSFSOpenMode::Exclusive;
    return;
  } catch (const TSFSError& e) {
    switch (e.Kind) {
      case TSFSErrorKind::Locked:
      case TSFSErrorKind::Io:
      case TSFSErrorKind::ReadOnlyFile: {
        // Another copy owns it, it could not be read for a reason that is
        // not its fault, or the user made it read-only: read what it holds,
        // never write.
        bool read = true;
        try {
          open(TSFSOpenMode::ReadOnly);
        } catch (const TSFSError&) {
          read = false;
        }
        const char* text = !read                                   ? msg::ContainerNotReadNow
                           : e.Kind == TSFSErrorKind::ReadOnlyFile ? msg::ContainerReadOnly
                                                                   : msg::ContainerLocked;
        Dialogs().MessageBox(Replace(text, "%1", e.what()), Title, TMsgIcon::Warning, TMsgButtons::OK);
        return;
      }
      case TSFSErrorKind::Damaged:
      case TSFSErrorKind::WrongPassword: break;
      default:
        // A folder, a device, a FIFO, a link that points nowhere: not ours
        // to move or replace.
        Dialogs().MessageBox(Replace(msg::ContainerLeftAlone, "%1", e.what()), Title, TMsgIcon::Error, TMsgButtons::OK);
        return;
    }
    // A regular file that is no container of ours: keep it as it is under a
    // new name beside it (the link's target, where it is a link) and start
    // afresh in its place.
    std::string target;
    try {
      target = ContainerTarget(SettingsFile);
    } catch (const TSFSError& link) {
      Dialogs().MessageBox(Replace(msg::ContainerLeftAlone, "%1", link.what()), Title, TMsgIcon::Error,
                           TMsgButtons::OK);
      return;
    }
    const std::string aside = target + ".unreadable-" + Timestamp();
    if (!QFile::rename(Q(target), Q(aside))) {
      Dialogs().MessageBox(Replace(Replace(msg::ContainerKeptAsideFailed, "%1", e.what()), "%2",
                                   QFile(Q(target)).errorString().toStdString()),
                           Title, TMsgIcon::Error, TMsgButtons::OK);
      return;
    }
    Dialogs().MessageBox(Replace(Replace(msg::ContainerKeptAside, "%1", e.what()), "%2", aside), Title, TMsgIcon::Error,
                         TMsgButtons::OK);
    try {
      SettingsStore.Create(target, ContainerPassword());
      FStoreMode = TSFSOpenMode::Exclusive;
    } catch (const TSFSError& created) {
      Dialogs().MessageBox(created.what(), Title, TMsgIcon::Error, TMsgButtons::OK);
    }
  }
}

TqrmtGlobal::~TqrmtGlobal() {
  try {
    SaveSettings();
    SettingsStore.Close();
  } catch (const std::exception& e) {
    SettingsStore.Abandon();
    // Nothing is lost: the settings go to a container of their own in the
    // program folder, where the Settings menu lists it.
    const std::string rescue = ProgramFolder + "recovered-" + Timestamp() + SettingsExtension;
    std::string where;
    try {
      TSingleFileSystem store;
      store.Create(rescue, ContainerPassword());
      WriteSettingsStore(store, Settings, FileTypes);
      store.Close();
      where = Replace(msg::SettingsRescued, "%1", rescue);
    } catch (const std::exception& again) {
      where = Replace(msg::SettingsNotRescued, "%1", again.what());
    }
    Dialogs().MessageBox(std::string(e.what()) + "\n\n" + where, Title, TMsgIcon::Error, TMsgButtons::OK);
  }
  if (!TempFolder.empty()) ClearFolder(TempFolder);
  {
    QSettings ini(QDir(Q(ProgramFolder)).filePath(IniFileName), QSettings::IniFormat);
    ini.setValue("Settings/datafile", Q(SettingsFile));
    ini.sync();
  }
  if (Global == this) Global = nullptr;
}

void TqrmtGlobal::EnsureStoreFolder(const std::string& path) {
  if (SettingsReadOnly()) return;
  if (!SettingsStore.FolderExists(path)) SettingsStore.CreateFolder(path);
}

void TqrmtGlobal::LoadSettings() {
  Settings = DefaultSettings();
  EnsureStoreFolder(SettingsFolderPath);
  EnsureStoreFolder(FileTypesFolderPath);
  if (SettingsStore.IsOpen()) {
    int refused = 0;
    ReadSettingsStore(SettingsStore, Settings, FileTypes, &refused);
    if (refused > 0)
      Dialogs().MessageBox(
          Replace(Replace(Replace(msg::FormatsRefused, "%1", std::to_string(refused)), "%2", SettingsStore.FileName()),
                  "%3", std::to_string(MaxDefinitionTextSize)),
          Title, TMsgIcon::Warning, TMsgButtons::OK);
  } else {
    LoadDefaultFileTypes(FileTypes);
  }
  if (registry::Exists("autoupdate")) {
    Settings.Application.appAutoUpdate.Value = registry::ReadInteger("autoupdate").value_or(0) != 0;
    // It acts once: gone once the option lives in a container this copy
    // writes; a copy that never saves leaves it for the next start.
    if (!SettingsReadOnly()) registry::Remove("autoupdate");
  }
}

void TqrmtGlobal::SaveSettings() {
  if (SettingsReadOnly()) return;
  WriteSettingsStore(SettingsStore, Settings, FileTypes);
}

void TqrmtGlobal::ReopenPrevious(const std::string& previousFile, TSFSOpenMode previousMode, const std::string& error) {
  SettingsStore.Abandon();
  SettingsFile = previousFile;
  FStoreMode = previousMode;
  try {
    SettingsStore.Open(previousFile, ContainerPassword(), previousMode);
  } catch (const TSFSError&) {
    // Read what it holds at least; saves then stay off.
    try {
      SettingsStore.Open(previousFile, ContainerPassword(), TSFSOpenMode::ReadOnly);
    } catch (const TSFSError&) {
    }
  }
  throw TSFSError(Replace(Replace(msg::ContainerReopened, "%1", error), "%2", previousFile));
}

void TqrmtGlobal::LoadNamedSettings(const std::string& name) {
  SaveSettings();
  const std::string previous = SettingsFile;
  const TSFSOpenMode previousMode = SettingsStore.IsReadOnly() ? TSFSOpenMode::ReadOnly : FStoreMode;
  SettingsStore.Close();
  SettingsFile = ProgramFolder + name + SettingsExtension;
  std::string readOnly;
  try {
    SettingsStore.Open(SettingsFile, ContainerPassword(), TSFSOpenMode::Shared);
    FStoreMode = TSFSOpenMode::Shared;
  } catch (const TSFSError& e) {
    if (e.Kind != TSFSErrorKind::ReadOnlyFile) ReopenPrevious(previous, previousMode, e.what());
    try {
      SettingsStore.Open(SettingsFile, ContainerPassword(), TSFSOpenMode::ReadOnly);
      readOnly = e.what();
    } catch (const TSFSError& again) {
      ReopenPrevious(previous, previousMode, again.what());
    }
  }
  LoadSettings();
  NotifySettingsChanged();
  if (!readOnly.empty())
    Dialogs().MessageBox(Replace(msg::ContainerReadOnly, "%1", readOnly), Title, TMsgIcon::Warning, TMsgButtons::OK);
}

void TqrmtGlobal::SaveSettingsAs(const std::string& path) {
  SaveSettings();
  const std::string previous = SettingsFile;
  const TSFSOpenMode previousMode = SettingsStore.IsReadOnly() ? TSFSOpenMode::ReadOnly : FStoreMode;
  SettingsStore.Close();
  SettingsFile = path;
  try {
    SettingsStore.Create(path, ContainerPassword());
    FStoreMode = TSFSOpenMode::Exclusive;
    SaveSettings();
  } catch (const TSFSError& e) {
    ReopenPrevious(previous, previousMode, e.what());
  }
}

void TqrmtGlobal::RestoreDefaultSettings() {
  Settings = DefaultSettings();
  LoadDefaultFileTypes(FileTypes);
  NotifySettingsChanged();
}

std::vector<std::string> TqrmtGlobal::ListSettingsNames() const {
  std::vector<std::string> names;
  const QDir dir(Q(ProgramFolder));
  const auto entries = dir.entryInfoList({"*.settings"}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
  for (const QFileInfo& e : entries) {
    const QString name = e.fileName();
#ifndef _WIN32
    // File names have case here: "Work.SETTINGS" is not "Work.settings",
    // which is what choosing "Work" opens.
    if (!name.endsWith(SettingsExtension, Qt::CaseSensitive)) continue;
#endif
    names.push_back(name.left(name.size() - 9).toStdString());
  }
  return names;
}

void TqrmtGlobal::NotifySettingsChanged() {
  SendMessage(SelectionWindow, UM_SETTINGS_CHANGED);
  SendMessage(SettingsWindow, UM_SETTINGS_CHANGED);
  SendMessage(ReportWindow, UM_SETTINGS_CHANGED);
}

intptr_t TqrmtGlobal::RequestUpdateCheck() {
  return SendMessage(MainWindow, UM_CHECK_UPDATES);
}

const TCommentList* TqrmtGlobal::FindCommentList(const std::string& extension) const {
  return qrmt::FindCommentList(FileTypes, extension);
}

std::vector<std::string> TqrmtGlobal::CommentTypeNames() const {
  return qrmt::CommentTypeNames();
}

bool TqrmtGlobal::CountFiles(const TCountQueue& rows) {
  if (FCountRunning) return false;
  Queue.Clear();
  if (Settings.Report.ClearBeforeCount.Value) {
    SendMessage(ReportWindow, UM_CLEAR_REPORT);
    CountResults.clear();
  }
  for (const auto& row : rows) {
    TCountQueueItem* item = Queue.Add();
    item->Path = row->Path;
    item->FileName = row->FileName;
    item->SizeText = row->SizeText;
    item->DateText = row->DateText;
  }
  return RunCount();
}

bool TqrmtGlobal::RunCount() {
  // A second start from inside a run would change Queue under the loop.
  if (FCountRunning) return false;
  struct TRunning {
    bool& flag;
    ~TRunning() { flag = false; }
  } running{FCountRunning = true};

  Aborted = false;
  SendMessage(MainWindow, UM_COUNT_PROGRESS, 1, 0);
  try {
    SaveSettings();
  } catch (...) {
    SendMessage(MainWindow, UM_COUNT_PROGRESS, 0, 0);  // no run: no "Counting" text left behind
    throw;
  }

  // The run reads copies of the comment lists: the window stays usable
  // while it counts, and the formats may be edited or replaced meanwhile.
  TCommentSnapshot snapshot;
  std::vector<TCountJob> jobs;
  jobs.reserve(static_cast<size_t>(Queue.Count()));
  for (const auto& item : Queue)
    jobs.push_back(
        {item->Path + item->FileName, snapshot.Get(FindCommentList(std::string(ExtractFileExt(item->FileName))))});

  TCountEngine engine(CountThreads);
  engine.SetSoundFile(ProgramFolder + "Sounds" + QDir::separator().toLatin1() + "ding.wav");
  engine.SetFailureHook([](const std::string& message, const std::string& sound) {
    WriteLog(message);
    PlaySoundAsync(sound);
  });

  struct TRestore {
    TqrmtGlobal& g;
    ~TRestore() {
      if (g.ReportSwitches) {
        g.ReportSwitches->SetTotalsActive(true);
        g.ReportSwitches->SetRowRepaint(true);
      }
      SendMessage(g.MainWindow, UM_COUNT_PROGRESS, 0, 0);
    }
  } restore{*this};

  if (ReportSwitches) {
    ReportSwitches->SetTotalsActive(false);
    ReportSwitches->SetRowRepaint(false);
  }
  const size_t n = jobs.size();
  engine.Start(std::move(jobs));

  using Clock = std::chrono::steady_clock;
  auto lastPump = Clock::now() - std::chrono::hours(1);
  auto pump = [&](bool always) {
    const auto now = Clock::now();
    if (always || EventSliceMs <= 0 || now - lastPump >= std::chrono::milliseconds(EventSliceMs)) {
      lastPump = now;
      ProcessMessages();
    }
  };
  for (size_t i = 0; i < n; ++i) {
    pump(i == 0);
    if (Aborted) break;
    TCountResult result;
    // The file being counted is always finished and reported; the window
    // stays live while a large one is read.
    while (engine.TryNext(result, std::chrono::milliseconds(20)) == TCountEngine::TWait::Pending) pump(true);
    size_t k = 0;
    if (i == 0) {
      k = CountResults.size();
      CountResults.emplace_back();
    }
    CountResults[k] = std::move(result);
    const auto percent = static_cast<intptr_t>(static_cast<double>(i + 1) * 100.0 / static_cast<double>(n));
    SendMessage(ReportWindow, UM_ADD_RESULT, 0, static_cast<intptr_t>(k));
    SendMessage(MainWindow, UM_COUNT_PROGRESS, 1, percent);
  }
  engine.Abort();
  SendMessage(ReportWindow, UM_REPORT_TOTALS);
  SendMessage(SelectionWindow, UM_COUNT_ENDED);
  return true;
}

void TqrmtGlobal::AbortCount() {
  Aborted = true;
  SendMessage(SelectionWindow, UM_ABORT);
  SendMessage(SettingsWindow, UM_ABORT);
  SendMessage(ReportWindow, UM_ABORT);
}

void TqrmtGlobal::OpenNewsletterMail() {
  OpenUrl(BuildNewsletterMailText());
}

void TqrmtGlobal::OpenSupportMail() {
  OpenUrl(BuildSupportMailText(Title, VersionText, GetWindowsName(), GetBrowserVersion()));
}

void TqrmtGlobal::OpenFeedbackMail() {
  OpenUrl(BuildFeedbackMailText(Title, VersionText));
}

void TqrmtGlobal::OpenWebSite() {
  OpenUrl(msg::WebSite);
}

}  // namespace qrmt
