#include "gui/common/window_geometry.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QWidget>

namespace korv::gui {

void fixClientSize(QWidget& window, QSize client) {
  window.ensurePolished();
  if (QLayout* layout = window.layout()) layout->activate();
  QSize size = client;
  if (auto* main = qobject_cast<QMainWindow*>(&window); main != nullptr && main->menuWidget()) {
    size.rheight() += main->menuWidget()->sizeHint().height();
  }
  size = size.expandedTo(window.minimumSizeHint());
  window.setFixedSize(size);
  centreOnScreen(window);
}

void centreOnScreen(QWidget& window) {
  QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

}  // namespace korv::gui
