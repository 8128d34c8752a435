// What the count queue needs of the file system: a row's fields from one
// look at the file, the entries of a folder for the walk, and the file
// that clipboard text becomes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/qrmt_classes.h"

namespace qrmt {

// Fills the fields of a queue row for the file `fullName` with one stat:
// size 0 and date 0 when the file is not there.
void FillQueueItem(TCountQueueItem& item, const std::string& fullName);

// Days since 30 December 1899 (local time) in the user's short date format
// followed by the long time format.
std::string FormatFileDate(double date);

struct TFolderEntry {
  std::string Name;
  bool IsFolder = false;
};

// The entries of `folder` (with its trailing separator or without) in the
// order the file system returns them, "." and ".." left out, hidden ones
// included. Links to folders are left out, so that a walk never loops;
// links to files count as files. False with `error` set when the folder
// cannot be read.
bool ReadFolderEntries(const std::string& folder, std::vector<TFolderEntry>& entries, std::string& error);

// The bytes of the clipboard text file: the mark FF FE, then each line in
// UTF-16 little endian followed by CR LF, the last one too. A line ends at
// CR, LF, U+2028 or the end; after it one CR, then one LF, then one U+2028
// are skipped.
std::string ClipboardTextFileBytes(std::u16string_view text);

}  // namespace qrmt
