// Small shared helpers, diagnostics and support information.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qrmt {

// --- files and texts ----------------------------------------------------------

// Size in bytes of the file at `path`; 0 when there is none.
int64_t GetFileSizeOf(const std::string& path);
// Local last-write time as days since 30 December 1899; 0 when no file.
double GetFileDateOf(const std::string& path);
// Bytes / 1000 with two decimals and " kB": 1536 gives "1.54 kB".
std::string FormatKiloBytes(int64_t bytes);
// Whether the lowered extension of `fileName` equals `extension` exactly.
bool SameExtension(const std::string& fileName, const std::string& extension);
// Creates `folder` with its parents and a new empty file "tmp....tmp" in
// it; returns its full path, or empty on failure.
std::string CreateTempFileIn(const std::string& folder);
// Deletes everything inside `folder` and keeps the folder; false when an
// error stopped it. Files that cannot be deleted are skipped.
bool ClearFolder(const std::string& folder);
// Cuts `text` + `separator` into the pieces between separators.
int SplitText(std::vector<std::string>& list, const std::string& separator, const std::string& text);

// --- diagnostics ----------------------------------------------------------

// Appends `text` and CR LF to "error.log" in `LogFolder()` when the
// registry value "DebugLog" is on; the first call ever only creates it.
void WriteLog(const std::string& text);
// The folder of "error.log", with its trailing separator.
std::string LogFolder();
void SetLogFolder(const std::string& folder);
// The name a log is moved aside to: date and time with every character
// other than blank, point and digit made "-", then ".log".
std::string MovedLogName(const std::string& dateTimeText);

// Edition name from the platform id, version and service-pack text.
std::string GetWindowsName(int platformId, int major, int minor, const std::string& servicePack);
// The running system's name (its pretty name outside Windows).
std::string GetWindowsName();
// The installed Internet Explorer version; empty outside Windows.
std::string GetBrowserVersion();

inline constexpr std::array<const char*, 10> VersionInfoKeys = {
    "CompanyName",     "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
    "LegalTradeMarks", "OriginalFileName", "ProductName", "ProductVersion", "Comments"};
// The value of name `index` (1 to 10) in the version block of `fileName`.
std::string GetVersionInfoValue(const std::string& fileName, int index);
// Major, minor, release and build of the "FileVersion" of `fileName`.
std::array<uint8_t, 4> ReadFileVersion(const std::string& fileName);
// Splits a version text into four numbers as ReadFileVersion does.
std::array<uint8_t, 4> SplitFileVersion(std::string text);

// Line feeds become "%0A" and blanks "%20".
void EncodeMailText(std::string& text);
// The full mailto links of the support and feedback mails.
std::string BuildSupportMailText(const std::string& title, const std::string& versionText,
                                 const std::string& windowsName, const std::string& browserVersion);
std::string BuildFeedbackMailText(const std::string& title, const std::string& versionText);
std::string BuildNewsletterMailText();

}  // namespace qrmt
