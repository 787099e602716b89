#include "support/main_window_driver.h"

#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QTest>

#include "support/gui_fixture.h"

namespace korv::test {

void answerIdDialog(IdChoice choose) {
  whenShown<gui::Tidset>([choose](gui::Tidset& dialog) {
    auto answer = [&dialog, choose] {
      if (choose) choose(dialog);
      dialog.BitBtn1Click();
    };
    if (dialog.scanned()) {
      answer();
    } else {
      QObject::connect(&dialog, &gui::Tidset::scanFinished, &dialog, answer, Qt::QueuedConnection);
    }
  });
}

bool startMainWindow(gui::Tmain& main, IdChoice choose) {
  bool activated = false;
  QObject::connect(&main, &gui::Tmain::formActivated, &main, [&activated] { activated = true; });
  answerIdDialog(std::move(choose));
  main.show();
  return runUntil([&activated] { return activated; });
}

QMenu* toolMenu(gui::Tmain& main) {
  return main.findChild<QMenu*>(QStringLiteral("Tool1"));
}

QAction* item(gui::Tmain& main, const char* objectName) {
  return main.findChild<QAction*>(QString::fromUtf8(objectName));
}

void openToolMenu(gui::Tmain& main) {
  QMenu* menu = toolMenu(main);
  main.menuBar()->setActiveAction(menu->menuAction());
  menu->hide();
  main.menuBar()->setActiveAction(nullptr);
}

void clickGridRow(gui::Tidset& dialog, int row) {
  QTableWidget* grid = dialog.grid();
  const QRect cell = grid->visualItemRect(grid->item(row - 1, 1));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

}  // namespace korv::test
