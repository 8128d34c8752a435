// Command icons: the desktop's icon theme where it has the icon, else one
// that comes with the program, so that a bare system looks right too.
#pragma once

#include <QAction>
#include <QIcon>

namespace qrmt {

// `themeName` is a freedesktop icon name ("document-open").
QIcon CommandIcon(const char* themeName);

// A command's action named `name` (its object name), with its icon; the
// hint before "|" is the tooltip, after it the status bar's text.
QAction* CommandAction(QObject* owner, const char* name, const QString& caption, const char* icon,
                       const QString& hint = {});

}  // namespace qrmt
