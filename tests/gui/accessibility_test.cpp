// Every control of the main window, the SCSI ID dialog and the version dialog has an
// accessible name and can be reached by keyboard, so screen readers and accessibility
// based testing tools can drive the program.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>

#include <memory>

#include "gui/app/mainu.h"
#include "gui/app/veru.h"
#include "gui/backup/backupu.h"
#include "gui/backup/copydlgu.h"
#include "gui/idsetu/idsetu.h"
#include "gui/restore/restoreu.h"
#include "gui/restore/testu.h"
#include "support/gui_fixture.h"
#include "support/main_window_driver.h"

namespace korv::test {

namespace {

bool isControl(QWidget* w) {
  return qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
         qobject_cast<QAbstractItemView*>(w) || qobject_cast<QGroupBox*>(w) ||
         qobject_cast<QLabel*>(w) || qobject_cast<QMenuBar*>(w) || w->objectName() == "Panel1";
}

// Names of the controls without an accessible name.
QStringList unnamed(QWidget& window) {
  QStringList missing;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (!isControl(w) || w->objectName().startsWith("qt_")) continue;
    if (qobject_cast<QAbstractItemView*>(w->parentWidget()) != nullptr) continue;  // viewport parts
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    if (a == nullptr || a->text(QAccessible::Name).trimmed().isEmpty())
      missing << w->metaObject()->className() + QString(":") + w->objectName();
  }
  return missing;
}

// Controls that take focus but that Tab never reaches.
QStringList unreachable(QWidget& window) {
  QSet<QWidget*> chain;
  QWidget* w = &window;
  do {
    chain.insert(w);
    w = w->nextInFocusChain();
  } while (w != nullptr && w != &window);
  QStringList missing;
  for (QWidget* c : window.findChildren<QWidget*>()) {
    if (!(c->focusPolicy() & Qt::TabFocus) || !c->isVisibleTo(&window)) continue;
    if (!chain.contains(c)) missing << c->objectName();
  }
  return missing;
}

}  // namespace

class AccessibilityTest : public QObject {
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
  }

  void theMainWindow() {
    gui::Tmain main(program->app);
    QVERIFY(startMainWindow(main));
    QCOMPARE(unnamed(main), QStringList());
    QCOMPARE(unreachable(main), QStringList());
    for (QAction* a : main.findChildren<QAction*>())
      if (!a->isSeparator() && a->menu() == nullptr && a->text().isEmpty())
        QFAIL(qPrintable("an action without text: " + a->objectName()));
    // The menu bar answers the Alt key (the style's menu-bar navigation), its menus the
    // arrow keys; the close button has its mnemonic.
    QVERIFY(main.style()->styleHint(QStyle::SH_MenuBar_AltKeyNavigation));
    QCOMPARE(main.findChild<QAbstractButton*>("BitBtn1")->shortcut(),
             QKeySequence(QKeySequence::mnemonic("閉じる(&C)")));

    // The radio buttons of a group by the arrow keys.
    auto* r4 = main.findChild<QRadioButton*>("RadioButton4");
    QApplication::setActiveWindow(&main);
    r4->setFocus();
    QVERIFY(r4->hasFocus());
    QTest::keyClick(r4, Qt::Key_Down);
    QVERIFY(main.findChild<QRadioButton*>("RadioButton5")->isChecked());
    // Tab order: options, then the close button.
    QStringList order;
    QWidget* w = r4;
    for (int i = 0; i < 8; ++i) {
      order << w->objectName();
      w = w->nextInFocusChain();
    }
    QVERIFY2(order.indexOf("RadioButton6") > 0 &&
                 order.indexOf("CheckBox1") > order.indexOf("RadioButton6") &&
                 order.indexOf("CheckBox2") > order.indexOf("CheckBox1") &&
                 order.indexOf("BitBtn1") > order.indexOf("CheckBox2"),
             qPrintable(order.join(",")));
  }

  void theIdDialog() {
    gui::Tidset dialog(program->app);
    dialog.show();
    QVERIFY(runUntil([&] { return dialog.scanned(); }));
    QCOMPARE(unnamed(dialog), QStringList());
    QCOMPARE(unreachable(dialog), QStringList());
    // Edit3's label names it for a screen reader too.
    QCOMPARE(dialog.findChild<QLabel*>("Label4")->buddy(), dialog.findChild<QWidget*>("Edit3"));
  }

  void theVersionDialog() {
    gui::TVer ver;
    ver.show();
    QCOMPARE(unnamed(ver), QStringList());
    QCOMPARE(unreachable(ver), QStringList());
  }

  void theBackupAndProgressDialogs() {
    gui::Tbackup backup(program->app);
    backup.show();
    QCOMPARE(unnamed(backup), QStringList());
    QCOMPARE(unreachable(backup), QStringList());
    gui::Tcopydlg progress(&backup);
    progress.show();
    QCOMPARE(unnamed(progress), QStringList());
    QCOMPARE(unreachable(progress), QStringList());
    QCOMPARE(progress.BitBtn1()->shortcut(), QKeySequence(QKeySequence::mnemonic("中止(&A)")));
  }

  void theRestoreAndTestDialogs() {
    gui::Trestore restore(program->app);
    restore.show();
    QCOMPARE(unnamed(restore), QStringList());
    QCOMPARE(unreachable(restore), QStringList());
    QCOMPARE(restore.findChild<QLabel*>("Label1")->buddy(), restore.findChild<QWidget*>("fv"));
    gui::Ttest test(program->app);
    test.show();
    QCOMPARE(unnamed(test), QStringList());
    QCOMPARE(unreachable(test), QStringList());
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::AccessibilityTest)
#include "accessibility_test.moc"
