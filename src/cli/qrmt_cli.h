// The command-line front end: `quorimeter count [OPTIONS] PATH...`.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qrmt {

inline constexpr const char* ProgramVersionText = "Kestrune Quorimeter 1.1.12.30";

enum TExitCode { ecOk = 0, ecUnreadable = 1, ecUsage = 2 };

struct TCliStreams {
  std::ostream& Out;
  std::ostream& Err;
  bool OutIsTerminal = false;  // colours the unreadable rows
  bool ErrIsTerminal = false;  // shows the progress line
};

// Runs `count` with the arguments after the word "count".
int RunCountCommand(const std::vector<std::string>& args, TCliStreams io);
// Runs `formats`: lists the file formats of the settings container.
int RunFormatsCommand(const std::vector<std::string>& args, TCliStreams io);

// The usage text of the whole program.
std::string ProgramUsage();

}  // namespace qrmt
