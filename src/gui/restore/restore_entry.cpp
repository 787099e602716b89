// The restore and test dialogs' entries from the main window's menu ("リストア",
// N6Click; "テスト", N7Click). Placeholders until the restore dialog (Trestore, Part 5.1)
// and the test dialog (Ttest, Part 5.3) are built: they show nothing.

#include "gui/app/tape_dialogs.h"

namespace korv::gui {

void showRestoreDialog(AppContext& app, QWidget* owner) {
  (void)app;
  (void)owner;
}

void showTestDialog(AppContext& app, QWidget* owner) {
  (void)app;
  (void)owner;
}

}  // namespace korv::gui
