// The restore and test dialogs' entries from the main window's menu ("リストア",
// N6Click; "テスト", N7Click): created anew, modal, destroyed on close. The open set and
// the tape position stay with `sf`.

#include "gui/app/tape_dialogs.h"
#include "gui/restore/restoreu.h"
#include "gui/restore/testu.h"

namespace korv::gui {

void showRestoreDialog(AppContext& app, QWidget* owner) {
  Trestore dialog(app, owner);
  dialog.exec();
}

void showTestDialog(AppContext& app, QWidget* owner) {
  Ttest dialog(app, owner);
  dialog.exec();
}

}  // namespace korv::gui
