#pragma once
// Forms open at their designed client sizes, centred on the screen, with a fixed
// border. Their layouts hold the designed arrangement at those sizes; when the
// font or the display scaling needs more room, the form grows instead of clipping.

#include <QSize>

class QWidget;

namespace korv::gui {

// Fixes the window's size to `client` (the area below a main window's menu bar), or to
// what its layout needs when that is more, and centres it on the screen.
void fixClientSize(QWidget& window, QSize client);

void centreOnScreen(QWidget& window);

// The designed sizes are minimum sizes in the forms: a control whose caption needs more
// (a larger font) gets more, and its containers grow with it. Part of fixClientSize.
void growToContents(QWidget& root);

}  // namespace korv::gui
