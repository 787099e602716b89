#include "gui/common/hourglass.h"

#include <QCursor>
#include <QGuiApplication>

namespace korv::gui {

void Hourglass::show() {
  if (shown_) return;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  shown_ = true;
}

void Hourglass::restore() {
  if (!shown_) return;
  QGuiApplication::restoreOverrideCursor();
  shown_ = false;
}

}  // namespace korv::gui
