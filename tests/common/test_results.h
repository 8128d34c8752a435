// A count result of given line counts, as the counter would give it.
#pragma once

#include <string>

#include "core/qrmt_counter.h"

namespace qrmt::test {

inline TCountResult MakeResult(const std::string& path, const std::string& name, int64_t code, int64_t comment,
                               int64_t blank, int64_t mixed) {
  TCountResult r;
  r.Path = path;
  r.FileName = name;
  r.SourceCode = code;
  r.Comment = comment;
  r.Blank = blank;
  r.Mixed = mixed;
  r.Nominal = r.Total = code + comment + blank + mixed;
  return r;
}

}  // namespace qrmt::test
