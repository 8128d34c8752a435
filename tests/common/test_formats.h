// Looking up a format by title in tests.
#pragma once

#include <string>

#include "core/qrmt_classes.h"

namespace qrmt::test {

inline TFileType* FindTitle(const TFileTypeList& list, const std::string& title) {
  for (const auto& t : list)
    if (t->Title == title) return t.get();
  return nullptr;
}

}  // namespace qrmt::test
