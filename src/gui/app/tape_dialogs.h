#pragma once
// The three dialogs of the "ツール" menu that work on files: each is created when its
// item is chosen, with the application as owner, shown modally on `main.sf` and `opt`,
// and destroyed when it closes (N5Click / N6Click / N7Click). Nothing is
// re-bound afterwards.
//
// Defined beside their forms: showBackupDialog in src/gui/backup/,
// showRestoreDialog and showTestDialog in src/gui/restore/.

#include "gui/common/app_context.h"

class QWidget;

namespace korv::gui {

void showBackupDialog(AppContext& app, QWidget* owner);
void showRestoreDialog(AppContext& app, QWidget* owner);
void showTestDialog(AppContext& app, QWidget* owner);

}  // namespace korv::gui
