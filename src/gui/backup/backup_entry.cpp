// The backup dialog's entry from the main window's menu ("バックアップ", N5Click): made
// for this one use, shown modally, destroyed when it closes.

#include "gui/app/tape_dialogs.h"
#include "gui/backup/backupu.h"

namespace korv::gui {

void showBackupDialog(AppContext& app, QWidget* owner) {
  Tbackup dialog(app, owner);
  dialog.exec();
}

}  // namespace korv::gui
