#pragma once
// The forms' fonts on Linux: a Japanese proportional Gothic 12 pixels high (IPAPGothic
// from fonts-ipafont-gothic, else the system's Japanese sans-serif), and a Mincho for
// the few fields shown in a serif face.

#include <QFont>

class QApplication;

namespace korv::gui {

inline constexpr int kFormFontPixels = 12;

QFont gothicFont(int pixels = kFormFontPixels);
QFont minchoFont(int pixels = kFormFontPixels);

// Makes the Gothic the application's font (every form and box uses it).
void setupApplicationFont();

}  // namespace korv::gui
