// Application state: the one Global with the settings, the file formats,
// the count queue and results, the settings container and the count run.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/qrmt_platform.h"
#include "components/qrmt_sfs.h"
#include "core/qrmt_classes.h"
#include "core/qrmt_counter.h"

namespace qrmt {

// --- settings record ----------------------------------------------------------

struct TSettingsIntegerValue {
  std::string Key;
  int32_t Value = 0;
  bool operator==(const TSettingsIntegerValue&) const = default;
};
struct TSettingsBooleanValue {
  std::string Key;
  bool Value = false;
  bool operator==(const TSettingsBooleanValue&) const = default;
};
struct TSettingsStringValue {
  std::string Key;
  std::string Value;
  bool operator==(const TSettingsStringValue&) const = default;
};

struct TSettingsApplication {
  std::string Name;
  TSettingsIntegerValue mfLeft, mfTop, mfWidth, mfHeight, fsFltrTypeIdx;
  TSettingsBooleanValue appAutoUpdate;
  bool operator==(const TSettingsApplication&) const = default;
};

struct TSettingsFileSelection {
  std::string Name;
  TSettingsBooleanValue ShowFolders, ClearCountQueue;
  TSettingsStringValue currentFolder;
  TSettingsBooleanValue zipEnabled;
  bool operator==(const TSettingsFileSelection&) const = default;
};

// Eleven entries keyed FileName, Nominal, Total, SourceCode, SourceCodeP,
// Comment, CommentP, Balnk, BlankP, Mixed, MixedP, in this order.
struct TSettingsReportColumns {
  std::string Name;
  std::array<TSettingsBooleanValue, 11> Items;
  bool operator==(const TSettingsReportColumns&) const = default;
};
struct TSettingsReportColumnsWidth {
  std::string Name;
  std::array<TSettingsIntegerValue, 11> Items;
  bool operator==(const TSettingsReportColumnsWidth&) const = default;
};

struct TSettingsReport {
  std::string Name;
  TSettingsBooleanValue ShowPath, ClearBeforeCount;
  TSettingsReportColumns ReportColumns;
  TSettingsReportColumnsWidth ReportColumnsWidth;
  bool operator==(const TSettingsReport&) const = default;
};

struct TSettingsCounting {
  std::string Name;
  bool operator==(const TSettingsCounting&) const = default;
};

struct TSettingsExportReport {
  std::string Name;  // empty, as stored
  TSettingsIntegerValue FormatIndex;
  bool operator==(const TSettingsExportReport&) const = default;
};

struct TSettings {
  TSettingsApplication Application;
  TSettingsFileSelection FileSelection;
  TSettingsReport Report;
  TSettingsCounting Counting;
  TSettingsExportReport ExportReport;
  bool operator==(const TSettings&) const = default;
};

// The default record: every element name with its default value.
const TSettings& DefaultSettings();

// --- settings text --------------------------------------------------------

std::string FormatValueElement(const std::string& key, const std::string& valueText);
// The text between "<name>" and the first "</name>"; empty without the latter.
std::string ReadGroup(const std::string& name, const std::string& text);
// Takes the next option element from `remaining` and returns its value.
std::string ReadValueElement(const std::string& key, std::string& remaining);
std::string BuildSettingsText(const TSettings& settings);
// Reads `text` into `settings`, whose keys name the elements; values that
// do not fit their type take the default record's value.
void ParseSettingsText(const std::string& text, TSettings& settings);

// --- the settings container's contents ---------------------------------------

inline constexpr const char* SettingsFolderPath = "\\Settings\\";
inline constexpr const char* SettingsTextPath = "\\Settings\\setings.txt";
inline constexpr const char* FileTypesFolderPath = "\\Settings\\FileTypes\\";
inline constexpr const char* FileTypesMask = "\\Settings\\FileTypes\\*.filetype.txt";
inline constexpr const char* DefaultSettingsName = "default.settings";
inline constexpr const char* SettingsExtension = ".settings";
inline constexpr const char* IniFileName = "quorimeter.ini";

// The fixed password of every settings container.
const std::string& ContainerPassword();

// Reads the settings text and the formats of an open container into
// `settings` (reset to the defaults first) and `fileTypes` (the 41 defaults
// when it holds none), sorted by title.
// Definition texts this long or longer are not read (`refused` counts them).
void ReadSettingsStore(const TSingleFileSystem& store, TSettings& settings, TFileTypeList& fileTypes,
                       int* refused = nullptr);
// A definition text of this many characters or more is refused.
inline constexpr size_t MaxDefinitionTextSize = 65536;
// Replaces the settings text and the formats in the container.
void WriteSettingsStore(TSingleFileSystem& store, const TSettings& settings, const TFileTypeList& fileTypes);

// The container the program uses: the ini file's "datafile", else
// "default.settings" in `programFolder`.
std::string SettingsFileInUse(const std::string& programFolder);

// --- application state ----------------------------------------------------------

// The report grid's switches that the count run turns off around its loop.
class TReportSwitches {
 public:
  virtual ~TReportSwitches() = default;
  virtual void SetTotalsActive(bool active) = 0;
  virtual void SetRowRepaint(bool repaint) = 0;
};

class TqrmtGlobal {
 public:
  TqrmtGlobal();
  ~TqrmtGlobal();
  TqrmtGlobal(const TqrmtGlobal&) = delete;
  TqrmtGlobal& operator=(const TqrmtGlobal&) = delete;

  TSingleFileSystem SettingsStore;
  bool Aborted = false;
  std::string ProgramFolder;
  std::string TempFolder;
  std::string SettingsFile;
  THandle MainWindow = 0;
  THandle SelectionWindow = 0;
  THandle SettingsWindow = 0;
  THandle ReportWindow = 0;
  TSettings Settings;
  TFileTypeList FileTypes;
  TCountQueue Queue;
  std::string Title;
  std::string VersionText;
  std::string VersionNumber;
  std::string ShortVersion;
  TCountResults CountResults;

  // Set by the report view; the count run switches it around its loop.
  TReportSwitches* ReportSwitches = nullptr;
  // Threads that read ahead in a count run; 0 means one per core.
  unsigned CountThreads = 0;
  // Milliseconds between two rounds of event processing in long loops; 0
  // lets events through before every file.
  int EventSliceMs = 15;
  // A start that spends longer in reading the container tells the user why.
  static inline double SlowStartSeconds = 1.0;

  void LoadSettings();
  void SaveSettings();
  void SaveSettingsAs(const std::string& path);
  void LoadNamedSettings(const std::string& name);
  void RestoreDefaultSettings();
  std::vector<std::string> ListSettingsNames() const;
  void EnsureStoreFolder(const std::string& path);
  void NotifySettingsChanged();
  intptr_t RequestUpdateCheck();

  // The Count Files command after the switch to the report: copies the
  // rows into Queue, clears the report when the settings say so, and runs.
  // False when a run is already going; nothing changes then.
  bool CountFiles(const TCountQueue& rows);
  // Counts Queue; false when a run is already going (nothing changes then).
  bool RunCount();
  void AbortCount();
  bool CountRunning() const { return FCountRunning; }

  const TCommentList* FindCommentList(const std::string& extension) const;
  std::vector<std::string> CommentTypeNames() const;

  void OpenNewsletterMail();
  void OpenSupportMail();
  void OpenFeedbackMail();
  void OpenWebSite();

  // True while this copy must not write its container (another copy holds
  // it, or it could not be opened).
  bool SettingsReadOnly() const { return !SettingsStore.IsOpen() || SettingsStore.IsReadOnly(); }

 private:
  void OpenStartupContainer();
  void ReopenPrevious(const std::string& previousFile, TSFSOpenMode previousMode, const std::string& error);

  bool FCountRunning = false;
  double FOpenSeconds = 0;  // spent opening the container at start
  TSFSOpenMode FStoreMode = TSFSOpenMode::Exclusive;
};

// The one application state object, set while it exists.
extern TqrmtGlobal* Global;

}  // namespace qrmt
