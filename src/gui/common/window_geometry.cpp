#include "gui/common/window_geometry.h"

#include <QAbstractScrollArea>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace korv::gui {

namespace {

int depth(const QWidget* widget, const QWidget* root) {
  int d = 0;
  for (; widget != nullptr && widget != root; widget = widget->parentWidget()) ++d;
  return d;
}

}  // namespace

void growToContents(QWidget& root) {
  QList<QWidget*> widgets = root.findChildren<QWidget*>();
  // Innermost first, so that a container sees its children grown.
  std::stable_sort(widgets.begin(), widgets.end(),
                   [&root](QWidget* a, QWidget* b) { return depth(a, &root) > depth(b, &root); });
  for (QWidget* widget : widgets) {
    const QSize minimum = widget->minimumSize();
    // Fixed sizes are deliberate; the parts of a view are the view's business.
    if (minimum.isNull() || minimum == widget->maximumSize()) continue;
    bool insideView = false;
    for (QWidget* p = widget->parentWidget(); p != nullptr && p != &root; p = p->parentWidget())
      insideView = insideView || qobject_cast<QAbstractScrollArea*>(p) != nullptr;
    if (insideView) continue;
    widget->ensurePolished();
    if (QLayout* layout = widget->layout()) layout->invalidate();
    widget->setMinimumSize(minimum.expandedTo(widget->minimumSizeHint()));
  }
}

void fixClientSize(QWidget& window, QSize client) {
  window.ensurePolished();
  growToContents(window);
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
