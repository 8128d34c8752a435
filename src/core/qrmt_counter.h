// Line classifier: reads one file into lines and classifies each line as
// code, comment, mixed or blank with the comment list of the file's format.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "qrmt_classes.h"

namespace qrmt {

inline constexpr std::string_view FileOpenErrorPrefix = "File open error! ";

struct TCountResult {
  std::string Path;      // folder part, with "File open error! " in front on failure
  std::string FileName;  // name and extension
  int64_t Nominal = 0;
  int64_t Total = 0;
  int64_t SourceCode = 0;
  int64_t Comment = 0;
  int64_t Blank = 0;
  int64_t Mixed = 0;
  // Why the file could not be read; empty when it was.
  std::string Error;

  bool Failed() const { return !Error.empty(); }
};

using TCountResults = std::vector<TCountResult>;

enum TLineClass : uint8_t { lcCode = 0, lcComment = 1, lcMixed = 2, lcBlank = 3 };

class TFileCounter {
 public:
  // Called on a failure with the message for the log and the sound to play.
  using TFailureHook = std::function<void(const std::string& message, const std::string& soundFile)>;
  // Reads up to `size` bytes of an open file, as POSIX read() does: the count,
  // 0 at the end, -1 with errno set on failure.
  using TReadFunction = std::function<std::ptrdiff_t(int fd, char* buffer, size_t size)>;

  static constexpr unsigned MaxTriggers = 6;

  TFileCounter();
  TFileCounter(const TFileCounter&) = delete;
  TFileCounter& operator=(const TFileCounter&) = delete;

  void SetFileName(std::string value) { FileName = std::move(value); }
  void SetComments(const TCommentList* value);
  void SetSoundFile(std::string value) { SoundFile = std::move(value); }
  void SetFailureHook(TFailureHook hook) { FOnFailure = std::move(hook); }
  // A set flag stops reading a long file early; its result is then void.
  void SetCancelFlag(const std::atomic<bool>* flag) { FCancel = flag; }
  // Replaces the system's read (tests make reads fail part-way); empty
  // restores it.
  void SetReadFunction(TReadFunction read) { FRead = std::move(read); }

  // Counts the file named by FileName into CountResult. Never throws.
  void CountFile() noexcept;
  // Classifies one line (UTF-8 bytes) and updates InComment/CloseSymbol.
  TLineClass ClassifyLine(std::string_view line);

  std::string FileName;
  const TCommentList* Comments = nullptr;
  TCountResult CountResult;
  std::string SoundFile;
  bool InComment = false;
  // Points into the comment list given to SetComments.
  std::string_view CloseSymbol;

 private:
  struct TSingle {
    std::string Lower;  // symbol with A to Z lowered
    bool HasLetters = false;
    uint16_t FixedCol = 0;
  };
  struct TMulti {
    std::string_view Start;
    std::string_view Stop;
  };

  void ReadAndClassify();
  void AddLine(const char* data, size_t size, bool needsRepair);
  // Follows comment openings and closings through the rest of a line.
  void UpdateState(std::string_view rest);
  bool MatchSingle(std::string_view l, size_t& pos) const;

  std::vector<TSingle> FSingles;
  std::vector<TMulti> FMultis;
  std::vector<char> FBuffer;  // the one read buffer; grows only for long lines
  std::vector<char> FRaw;     // undecoded bytes of UTF-16 files
  std::string FRepaired;      // a line with invalid UTF-8, repaired
  char FTriggers[MaxTriggers] = {};
  uint8_t FTriggerKinds[MaxTriggers] = {};
  unsigned FTriggerCount = 0;
  bool FAllLinesInteresting = false;
  TFailureHook FOnFailure;
  const std::atomic<bool>* FCancel = nullptr;
  TReadFunction FRead;
};

// Repairs invalid UTF-8: every maximal ill-formed subpart becomes U+FFFD.
void RepairUtf8(std::string_view in, std::string& out);

}  // namespace qrmt
