// The forms keep their designed sizes with the 12-pixel Gothic, and grow instead of
// clipping a caption when the font is larger (another font, display scaling, a user's
// accessibility settings).

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <memory>

#include "gui/app/mainu.h"
#include "gui/app/veru.h"
#include "gui/common/app_font.h"
#include "gui/idsetu/idsetu.h"
#include "gui/restore/restoreu.h"
#include "gui/restore/testu.h"
#include "support/gui_fixture.h"
#include "support/main_window_driver.h"

namespace korv::test {

namespace {

// Captions whose widget is smaller than the caption needs.
QStringList clipped(QWidget& window) {
  QStringList result;
  window.show();
  QCoreApplication::processEvents();
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (!w->isVisibleTo(&window)) continue;
    QString text;
    QSize need;
    if (auto* label = qobject_cast<QLabel*>(w)) {
      text = label->text();
      need = label->minimumSizeHint();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      text = button->text();
      need = button->sizeHint();
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      text = group->title();
      need = QSize(group->fontMetrics().horizontalAdvance(group->title()) + 16, 0);
    } else {
      continue;
    }
    if (text.isEmpty()) continue;
    if (w->width() < need.width() || w->height() < need.height())
      result << QString("%1 %2x%3 < %4x%5")
                    .arg(w->objectName())
                    .arg(w->width())
                    .arg(w->height())
                    .arg(need.width())
                    .arg(need.height());
  }
  window.hide();
  return result;
}

}  // namespace

class LayoutTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiWorkspace> workspace;
  std::unique_ptr<GuiProgram> program;

 private slots:
  void init() {
    workspace = std::make_unique<GuiWorkspace>();
    program = std::make_unique<GuiProgram>(*workspace);
  }
  void cleanup() {
    program.reset();
    workspace.reset();
    gui::setupApplicationFont();
  }

  void theFontIsAJapaneseGothicOfTwelvePixels() {
    gui::setupApplicationFont();
    const QFontInfo info(QApplication::font());
    QCOMPARE(info.pixelSize(), 12);
    QVERIFY2(info.family().contains("Gothic") || info.family().contains("ゴシック") ||
                 info.family().contains("Sans"),
             qPrintable(info.family()));
  }

  void theDesignedSizesWithTheTwelvePixelGothic() {
    gui::setupApplicationFont();
    gui::Tmain main(program->app);
    QVERIFY(startMainWindow(main));
    QCOMPARE(main.width(), 600);
    QCOMPARE(clipped(main).join("; "), QString());
    gui::Tidset idset(program->app);
    QCOMPARE(idset.size(), QSize(626, 301));
    gui::TVer ver;
    QCOMPARE(ver.size(), QSize(317, 148));
    QCOMPARE(clipped(ver), QStringList());
    gui::Trestore restore(program->app);
    QCOMPARE(restore.size(), QSize(673, 499));
    QCOMPARE(clipped(restore), QStringList());
    gui::Ttest test(program->app);
    QCOMPARE(test.size(), QSize(643, 426));
    QCOMPARE(clipped(test), QStringList());
  }

  void aLargerFontGrowsTheFormsInsteadOfClipping() {
    for (int pixels : {16, 20}) {
      QApplication::setFont(gui::gothicFont(pixels));
      gui::Tmain main(program->app);
      QVERIFY(startMainWindow(main));
      if (pixels == 20) QVERIFY2(main.width() > 600, qPrintable(QString::number(main.width())));
      QCOMPARE(clipped(main).join("; "), QString());
      gui::TVer ver;
      QCOMPARE(clipped(ver), QStringList());
      gui::Tidset idset(program->app);
      QCOMPARE(clipped(idset), QStringList());
      gui::Trestore restore(program->app);
      QCOMPARE(clipped(restore), QStringList());
      gui::Ttest test(program->app);
      QCOMPARE(clipped(test), QStringList());
    }
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::LayoutTest)
#include "layout_test.moc"
