// Asking the user with Qt's dialogs, parented to the active window.
#pragma once

#include "app/qrmt_platform.h"

namespace qrmt {

class TQtDialogs : public TUserDialogs {
 public:
  int MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon, TMsgButtons buttons) override;
  std::string OpenFileName(const std::string& caption, const std::string& folder, const std::string& filter) override;
  std::string SaveFileName(const std::string& caption, const std::string& folder, const std::string& filter) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
};

// Plays a sound file with the desktop's player (paplay, pw-play or aplay)
// without waiting for it; where there is no file or no player, the system
// beep. Never blocks and never fails.
void PlaySoundFile(const std::string& file);

}  // namespace qrmt
