// The backup dialog's entry from the main window's menu ("バックアップ", N5Click).
// Placeholder until the backup dialog (Tbackup, Part 4.1) is built: it shows nothing.

#include "gui/app/tape_dialogs.h"

namespace korv::gui {

void showBackupDialog(AppContext& app, QWidget* owner) {
  (void)app;
  (void)owner;
}

}  // namespace korv::gui
