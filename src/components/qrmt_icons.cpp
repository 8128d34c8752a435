#include "qrmt_icons.h"

#include <QApplication>
#include <QStyle>
#include <cstring>

namespace qrmt {

QIcon CommandIcon(const char* themeName) {
  // The style's own icons are compiled into Qt: always there.
  static const struct {
    const char* name;
    QStyle::StandardPixmap fallback;
  } fallbacks[] = {
      {"folder-open", QStyle::SP_DirOpenIcon},
      {"preferences-system", QStyle::SP_FileDialogDetailedView},
      {"x-office-spreadsheet", QStyle::SP_FileDialogContentsView},
      {"media-playback-start", QStyle::SP_MediaPlay},
      {"document-open", QStyle::SP_DialogOpenButton},
      {"document-save-as", QStyle::SP_DialogSaveButton},
      {"edit-undo", QStyle::SP_DialogResetButton},
      {"edit-delete", QStyle::SP_TrashIcon},
      {"application-exit", QStyle::SP_DialogCloseButton},
      {"help-contents", QStyle::SP_DialogHelpButton},
      {"help-about", QStyle::SP_MessageBoxInformation},
      {"mail-send", QStyle::SP_ArrowRight},
      {"mail-message-new", QStyle::SP_FileIcon},
      {"web-browser", QStyle::SP_DriveNetIcon},
      {"system-software-update", QStyle::SP_BrowserReload},
      {"edit-select-all", QStyle::SP_FileDialogListView},
      {"edit-copy", QStyle::SP_FileLinkIcon},
      {"edit-clear", QStyle::SP_LineEditClearButton},
      {"document-print", QStyle::SP_ComputerIcon},
      {"view-list-details", QStyle::SP_FileDialogDetailedView},
      {"go-previous", QStyle::SP_ArrowBack},
      {"go-home", QStyle::SP_DirHomeIcon},
      {"document-new", QStyle::SP_FileIcon},
      {"document-properties", QStyle::SP_FileDialogInfoView},
      {"list-remove", QStyle::SP_DialogDiscardButton},
      {"list-add", QStyle::SP_DialogYesButton},
      {"folder-new", QStyle::SP_FileDialogNewFolder},
      {"document-import", QStyle::SP_ArrowDown},
      {"edit-paste", QStyle::SP_FileDialogStart},
      {"package-x-generic", QStyle::SP_DriveFDIcon},
      {"view-list-icons", QStyle::SP_FileDialogListView},
  };
  QIcon fallback;
  if (QApplication::instance() != nullptr && QApplication::style() != nullptr) {
    for (const auto& f : fallbacks) {
      if (std::strcmp(f.name, themeName) == 0) {
        fallback = QApplication::style()->standardIcon(f.fallback);
        break;
      }
    }
  }
  return QIcon::fromTheme(themeName, fallback);
}

QAction* CommandAction(QObject* owner, const char* name, const QString& caption, const char* icon,
                       const QString& hint) {
  auto* a = new QAction(CommandIcon(icon), caption, owner);
  a->setObjectName(name);
  if (!hint.isEmpty()) {
    const qsizetype bar = hint.indexOf('|');
    a->setToolTip(bar < 0 ? hint : hint.left(bar));
    a->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
  }
  return a;
}

}  // namespace qrmt
