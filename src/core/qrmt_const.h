// The 41 default file formats as definition texts.
#pragma once

#include <array>

#include "qrmt_classes.h"

namespace qrmt {

inline constexpr int DefaultFileTypeCount = 41;
extern const std::array<const char*, DefaultFileTypeCount> DefaultFileTypeTexts;

// Empties `list`, reads the 41 default texts into it and sorts it by title.
void LoadDefaultFileTypes(TFileTypeList& list);

}  // namespace qrmt
