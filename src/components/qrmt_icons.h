// Command icons: the desktop's icon theme where it has the icon, else one
// that comes with the program, so that a bare system looks right too.
#pragma once

#include <QIcon>

namespace qrmt {

// `themeName` is a freedesktop icon name ("document-open").
QIcon CommandIcon(const char* themeName);

}  // namespace qrmt
