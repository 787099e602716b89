// korvessian: the desktop program.

#include <QApplication>

#include "gui/app/start.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return korv::gui::runProgram();
}
