// Unpacking a user's zip archive flat into one folder, for the count queue.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace qrmt {

// What stopped an unpacking; the message names the archive and the reason.
class EUnzipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Unpacks every file entry of `archive` into `folder` (which must exist),
// each under its base name only: the archive's folders are not made, and
// no name reaches outside `folder`. A later entry of a name already used
// gets a number before its extension: "a.c", "a (2).c". `progress` gets
// the percentage of the archive's bytes done whenever it changes.
// Returns the number of files written. An encrypted, damaged or foreign
// archive, one that does not fit on the disk, or a failed write throws
// EUnzipError; the files written until then stay for the caller to remove.
int UnzipFlat(const std::string& archive, const std::string& folder, const std::function<void(int)>& progress);

// The name a later entry of the same name gets: "a (n).c".
std::string NumberedName(const std::string& name, int n);

// Free bytes on the file system of `folder`; -1 when unknown. Tests
// replace it to play a full disk.
inline std::function<int64_t(const std::string&)> UnzipFreeSpace;

}  // namespace qrmt
