#include "gui/common/app_font.h"

#include <QApplication>
#include <QStringList>

namespace korv::gui {

namespace {

QFont japaneseFont(const QStringList& families, QFont::StyleHint hint, int pixels) {
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(hint);
  font.setPixelSize(pixels);
  return font;
}

}  // namespace

QFont gothicFont(int pixels) {
  return japaneseFont({QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                       QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                       QStringLiteral("sans-serif")},
                      QFont::SansSerif, pixels);
}

QFont minchoFont(int pixels) {
  return japaneseFont({QStringLiteral("IPAPMincho"), QStringLiteral("IPA P明朝"),
                       QStringLiteral("Noto Serif CJK JP"), QStringLiteral("serif")},
                      QFont::Serif, pixels);
}

void setupApplicationFont() {
  QApplication::setFont(gothicFont());
}

}  // namespace korv::gui
