// The test dialog, and the set browser both dialogs share: listing, opening by click and
// by arrow keys, the figures, the narrow button, a set that cannot be opened.

#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <memory>

#include "gui/app/tape_dialogs.h"
#include "gui/restore/testu.h"
#include "support/foreign_set.h"
#include "support/set_tapes.h"
#include "support/test_files.h"
#include "tape/volume_images.h"

namespace fs = std::filesystem;

namespace korv::test {

class TtestTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiWorkspace> workspace;
  std::unique_ptr<GuiProgram> program;
  std::unique_ptr<gui::Ttest> dialog;

  QString text(const char* name) { return control<QLineEdit>(*dialog, name).text(); }
  QListWidget& sets() { return control<QListWidget>(*dialog, "ListBox1"); }
  void start() {
    program = std::make_unique<GuiProgram>(*workspace);
    QVERIFY(bindDrive(*program));
    dialog = std::make_unique<gui::Ttest>(program->app);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  }
  void writeSet(const std::string& name, const std::vector<TapeFile>& files) {
    QVERIFY(writeForeignSet(program->app.sf, name, files));
  }

 private slots:
  void init() {
    workspace = std::make_unique<GuiWorkspace>();
    workspace->formatTape();
  }
  void cleanup() {
    dialog.reset();
    program.reset();
  }

  void aBackedUpSetPassesAndBothListsStay() {
    start();
    TempDir src;
    writeFile(src.path() / "a.bin", pattern(200000, 1));
    writeFile(src.path() / "b.txt", pattern(3, 2));
    QVERIFY(backUpFolder(*program, src.path(), "set"));
    program->scripted.boxes.clear();
    dialog->Button4Click();
    chooseSet(*dialog, 0);
    dialog->Button2Click();
    QCOMPARE(program->scripted.texts(), std::vector<std::string>{"終了しました"});
    QVERIFY(control<QPlainTextEdit>(*dialog, "Memo1").toPlainText().isEmpty());
    QCOMPARE(sets().count(), 1);
    QCOMPARE(selectedLines(*dialog), 2);
    // The tape went back to its beginning: a click on the same set positions it anew.
    program->scripted.boxes.clear();
    chooseSet(*dialog, 0);
    dialog->Button2Click();
    QCOMPARE(program->scripted.texts(), std::vector<std::string>{"終了しました"});
  }

  void theMenuItemShowsTheTestDialog() {
    start();
    bool shown = false;
    whenShown<gui::Ttest>([&](gui::Ttest& menuDialog) {
      shown = menuDialog.isModal() &&
              control<QPushButton>(menuDialog, "Button2").text() == QStringLiteral("テスト開始");
      menuDialog.Button1Click();
    });
    gui::showTestDialog(program->app, nullptr);
    QVERIFY(shown);
  }

  void tapesWithoutSetsToList_data() {
    QTest::addColumn<QString>("tape");
    QTest::addColumn<QString>("edit1");
    QTest::addColumn<int>("boxes");
    QTest::newRow("label, no sets") << "empty"
                                    << "GUI TEST" << 0;
    QTest::newRow("other version") << "other"
                                   << "バックアップセット名は取得できませんでした" << 1;
    QTest::newRow("blank") << "blank"
                           << "バックアップセット名は取得できませんでした" << 1;
  }
  void tapesWithoutSetsToList() {
    QFETCH(QString, tape);
    QFETCH(QString, edit1);
    QFETCH(int, boxes);  // the mounting's own message
    if (tape == "other") {
      TapBuilder()
          .label("Quorvantelmix KORVESSIAN Format Ver2.0", "OLD")
          .filemark()
          .writeTo(workspace->imagePath(4));
    } else if (tape == "blank") {
      fs::remove(workspace->imagePath(4));
    }
    start();
    program->bus.clearTrace();
    dialog->Button4Click();
    QCOMPARE(text("Edit1"), edit1);
    QCOMPARE(sets().count(), 0);
    QCOMPARE(static_cast<int>(program->scripted.boxes.size()), boxes);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    if (tape == "empty") QCOMPARE(program->bus.trace().back().cdb[0], uint8_t(0x01));  // rewound
  }

  void arrowKeysOpenEachSetInTurn() {
    start();
    writeSet("one", {{"/1a", "a"}});
    writeSet("two", {{"/2a", "a"}, {"/2b", "b"}});
    dialog->Button4Click();
    sets().setFocus(Qt::TabFocusReason);  // marks the first line without choosing it
    QVERIFY(fileLines(*dialog).isEmpty());
    QTest::keyClick(&sets(), Qt::Key_Down);
    QCOMPARE(text("Edit2"), QStringLiteral("one"));
    QCOMPARE(fileLines(*dialog), QStringList{QStringLiteral("/1a")});
    program->bus.clearTrace();
    QTest::keyClick(&sets(), Qt::Key_Down);
    QCOMPARE(program->bus.count(0x01), 1);  // rewound, then spaced to the set
    QCOMPARE(text("Edit2"), QStringLiteral("two"));
    QCOMPARE(fileLines(*dialog), (QStringList{QStringLiteral("/2a"), QStringLiteral("/2b")}));
    QCOMPARE(selectedLines(*dialog), 2);
    QTest::keyClick(&sets(), Qt::Key_Up);
    QCOMPARE(text("Edit2"), QStringLiteral("one"));
  }

  // The figures follow the selection only when counted: on opening, on the narrow button,
  // on "容量取得".
  void figuresAndTheNarrowButton() {
    start();
    writeSet("mb", {{"/a", pattern(1048576)}, {"/b", ""}, {"/c", ""}});
    dialog->Button4Click();
    chooseSet(*dialog, 0);
    QCOMPARE(text("Edit4"), QStringLiteral("3"));
    QCOMPARE(text("Edit5"), QStringLiteral("1.00"));
    setLineSelected(*dialog, 0, false);
    QCOMPARE(text("Edit4"), QStringLiteral("3"));  // stale until counted
    control<QPushButton>(*dialog, "Button5").click();
    QCOMPARE(text("Edit4"), QStringLiteral("2"));
    QCOMPARE(text("Edit5"), QStringLiteral("0.00"));
    // The first line alone decides: not selected, so everything is selected.
    auto& narrow = control<QPushButton>(*dialog, "Button3");
    narrow.click();
    QCOMPARE(selectedLines(*dialog), 3);
    QCOMPARE(text("Edit4"), QStringLiteral("3"));
    narrow.click();
    QCOMPARE(selectedLines(*dialog), 0);
    QCOMPARE(text("Edit4"), QStringLiteral("0"));
    narrow.click();
    QCOMPARE(selectedLines(*dialog), 3);
  }

  void aSetThatCannotBeOpenedWarnsAndLeavesTheListEmpty() {
    start();
    writeSet("bad", {{"/a", "a"}});
    dialog->Button4Click();
    program->bus.drive().setFaults({.failReadAt = 1});
    chooseSet(*dialog, 0);
    QCOMPARE(program->scripted.texts(), std::vector<std::string>{"マウントできません"});
    QCOMPARE(program->scripted.beeps, std::vector<unsigned>{kBeepExclamation});
    QCOMPARE(text("Edit2"), QStringLiteral("bad"));
    QVERIFY(fileLines(*dialog).isEmpty());
    QVERIFY(control<QListView>(*dialog, "ListBox2").isVisible());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
  }

  void aSetOfOneHundredThousandFilesListsAllSelected() {
    std::vector<sf_file2> entries(100000);
    for (size_t i = 0; i < entries.size(); ++i) entries[i].name = "/f" + std::to_string(i);
    TapBuilder()
        .volume("BIG")
        .catalogue("big", entries)
        .data(entries)
        .writeTo(workspace->imagePath(4));
    start();
    dialog->Button4Click();
    chooseSet(*dialog, 0);
    QCOMPARE(fileLines(*dialog).size(), 100000);
    QCOMPARE(text("Edit4"), QStringLiteral("100,000"));
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::TtestTest)
#include "testu_test.moc"
