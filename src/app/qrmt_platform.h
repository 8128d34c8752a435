// The platform seams: synchronous window messages, asking the user, the
// registry, pending events, sound and opening links. The desktop program
// plugs in Qt dialogs and services; tests plug in doubles.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qrmt {

// --- window messages -------------------------------------------------------

using THandle = uintptr_t;  // 0 reaches nobody

class TMessageReceiver {
 public:
  virtual ~TMessageReceiver() = default;
  virtual intptr_t HandleMessage(unsigned code, uintptr_t wParam, intptr_t lParam) = 0;
};

// Registers a receiver and returns its new handle (never 0).
THandle RegisterReceiver(TMessageReceiver* receiver);
void UnregisterReceiver(THandle handle);
// Calls the receiver registered under `handle` and returns its answer; 0
// when nobody is registered there.
intptr_t SendMessage(THandle handle, unsigned code, uintptr_t wParam = 0, intptr_t lParam = 0);

// --- asking the user --------------------------------------------------------

enum class TMsgIcon { None, Information, Warning, Error, Question };
enum class TMsgButtons { OK, OKCancel, YesNo };
enum TMsgResult { mrNone = 0, mrOK = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

class TUserDialogs {
 public:
  virtual ~TUserDialogs() = default;
  virtual int MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon, TMsgButtons buttons) = 0;
  // Open and save dialogs starting in `folder` with a filter such as
  // "Kestrune QRMT Settings files (*.settings)": the chosen file, or empty
  // when the user cancels (always, without a desktop).
  virtual std::string OpenFileName(const std::string& caption, const std::string& folder, const std::string& filter);
  virtual std::string SaveFileName(const std::string& caption, const std::string& folder, const std::string& filter);
  // A one-line input box starting with `value`; true and the answer in
  // `value` on OK, false on Cancel (always, without a desktop).
  virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
};

// The dialogs in use; without a desktop, messages go to stderr and
// questions get the safe answer (No, Cancel).
TUserDialogs& Dialogs();
// Installs `dialogs` (not owned); nullptr restores the console fallback.
void SetDialogs(TUserDialogs* dialogs);

// --- events, sound, links ---------------------------------------------------

// Lets pending events through (the Qt event loop when there is one).
void ProcessMessages();
void SetMessagePump(std::function<void()> pump);

// Starts playing a sound file without waiting; never fails.
void PlaySoundAsync(const std::string& file);
void SetSoundPlayer(std::function<void(const std::string&)> player);

// Opens a file, mail link or web address with its default application.
bool OpenUrl(const std::string& url);
void SetUrlOpener(std::function<bool(const std::string&)> opener);

// --- registry ----------------------------------------------------------------

// Values under "Software\Kestrune Software\Quorimeter" of the current user.
namespace registry {
bool Exists(const std::string& name);
std::optional<int32_t> ReadInteger(const std::string& name);
std::optional<std::string> ReadString(const std::string& name);
void WriteInteger(const std::string& name, int32_t value);
void Remove(const std::string& name);
}  // namespace registry

// --- folders ----------------------------------------------------------------

// The program folder, with its trailing separator: $QRMT_PROGRAM_FOLDER, the
// executable's folder when it is writable, else the per-user data folder.
std::string ProgramFolderPath();
// The executable's full path; empty when unknown.
std::string ExecutablePath();
// The system's temporary folder, with its trailing separator.
std::string SystemTempFolder();
// The program's temporary folder below `base`, for this user alone, made
// when missing: "ksqrmt" where the system's temporary folder is the user's
// own (Windows), else "ksqrmt-<uid>" with mode 0700, checked to be a real
// folder owned by this user. When that name is taken by anything else (a
// link, a file, another user's folder) a fresh folder with a unique name is
// made instead. Ends with the separator; empty when no folder could be made.
std::string PrivateTempFolder(const std::string& base);

}  // namespace qrmt
