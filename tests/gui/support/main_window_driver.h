#pragma once
// Driving the main window and the SCSI ID dialog the way a person does: the start-up
// dialog answered, the "ツール" menu opened, the dialog from the menu answered.

#include <functional>

#include "gui/app/mainu.h"
#include "gui/idsetu/idsetu.h"

class QMenu;

namespace korv::test {

using IdChoice = std::function<void(gui::Tidset&)>;

// Answers the next SCSI ID dialog: once its scan has ended, `choose` runs on it (a click
// on a row, say), then "戻る" closes it.
void answerIdDialog(IdChoice choose = {});

// Shows the main window and answers its start-up dialog; returns once FormActivate has
// ended. False on timeout.
bool startMainWindow(gui::Tmain& main, IdChoice choose = {});

// Opens the "ツール" menu from the menu bar, as a click on it does (Tool1Click runs before
// the items are drawn), then closes it again.
void openToolMenu(gui::Tmain& main);

QMenu* toolMenu(gui::Tmain& main);
QAction* item(gui::Tmain& main, const char* objectName);

// A click on grid row `row` of the dialog (1..8; row r shows id r - 1).
void clickGridRow(gui::Tidset& dialog, int row);

}  // namespace korv::test
