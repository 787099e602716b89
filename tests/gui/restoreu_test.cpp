// The restore dialog: a set made by the program restored into an empty folder, a tape
// written on Windows, the destination box, and changes made while the run goes on.

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "gui/app/tape_dialogs.h"
#include "gui/restore/restoreu.h"
#include "gui/widgets/folder_tree.h"
#include "support/foreign_set.h"
#include "support/set_tapes.h"
#include "support/test_files.h"
#include "sys/abort_signals.h"

namespace fs = std::filesystem;

namespace korv::test {

class TrestoreTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiWorkspace> workspace;
  std::unique_ptr<GuiProgram> program;
  std::unique_ptr<gui::Trestore> dialog;
  std::unique_ptr<TempDir> files;

  QString text(const char* name) { return control<QLineEdit>(*dialog, name).text(); }
  fs::path folder(const char* name) { return files->path() / name; }
  // Where a file backed up from `source` lands below `out`.
  fs::path restored(const fs::path& out, const fs::path& source) {
    return out / source.relative_path();
  }
  // Lists the sets, opens the first, and chooses `out` (made now) in the folder tree.
  void openFirstSet(const fs::path& out) {
    dialog->Button4Click();
    chooseSet(*dialog, 0);
    fs::create_directories(out);
    QVERIFY(dialog->folderTree().selectPath(QString::fromStdString(out.string())));
  }

 private slots:
  void init() {
    workspace = std::make_unique<GuiWorkspace>();
    workspace->formatTape();
    program = std::make_unique<GuiProgram>(*workspace);
    QVERIFY(bindDrive(*program));
    dialog = std::make_unique<gui::Trestore>(program->app);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    files = std::make_unique<TempDir>();
  }
  void cleanup() {
    dialog.reset();
    program.reset();
  }

  void roundTripGivesIdenticalFilesAndSkipsTheDeselectedOne() {
    const fs::path src = folder("src");
    writeFile(src / "a.txt", pattern(70000, 1));
    writeFile(src / "sub" / "exact.bin", pattern(131072, 2));
    writeFile(src / "empty.txt", "");
    writeFile(src / "readonly.txt", pattern(10, 3));
    writeFile(src / "left.txt", pattern(20, 4));
    fs::permissions(src / "readonly.txt", fs::perms::owner_read | fs::perms::group_read);
    const timespec times[2] = {{1577934246, 0}, {1577934246, 0}};  // 2020-01-02 03:04:06 UTC
    QCOMPARE(utimensat(AT_FDCWD, (src / "a.txt").c_str(), times, 0), 0);
    QVERIFY(backUpFolder(*program, src, "往復"));
    program->scripted.boxes.clear();

    const fs::path out = folder("out");
    openFirstSet(out);
    QCOMPARE(text("Edit1"), QStringLiteral("GUI TEST"));
    QCOMPARE(text("Edit2"), QStringLiteral("往復"));
    QCOMPARE(text("Edit3"), QString::fromStdString(out.string() + "/"));
    const QStringList lines = fileLines(*dialog);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(selectedLines(*dialog), 5);
    const QString left = QString::fromStdString((src / "left.txt").string());
    setLineSelected(*dialog, static_cast<int>(lines.indexOf(left)), false);

    dialog->Button2Click();
    QCOMPARE(program->scripted.texts(), std::vector<std::string>{"終了しました"});
    QVERIFY(control<QPlainTextEdit>(*dialog, "Memo1").toPlainText().isEmpty());
    for (const char* name : {"a.txt", "sub/exact.bin", "empty.txt", "readonly.txt"}) {
      struct stat before {
      }, after{};
      QCOMPARE(stat((src / name).c_str(), &before), 0);
      QCOMPARE(stat(restored(out, src / name).c_str(), &after), 0);
      QCOMPARE(readFile(restored(out, src / name)), readFile(src / name));
      QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
      QCOMPARE(after.st_mode & S_IWUSR, before.st_mode & S_IWUSR);
    }
    QVERIFY(!fs::exists(restored(out, src / "left.txt")));
    // The run closed the set: the file list is empty, the set list stays.
    QVERIFY(fileLines(*dialog).isEmpty());
    QCOMPARE(control<QListWidget>(*dialog, "ListBox1").count(), 1);
    QCOMPARE(text("Edit4"), QStringLiteral("0"));
  }

  void windowsTapeRestoresWithItsNames() {
    QVERIFY(writeForeignSet(program->app.sf, sj("ウィンドウズ"),
                            {{sj("C:\\ソフト\\表.txt"), pattern(100, 1)},
                             {sj("C:\\ソフト\\無い.txt"), pattern(5, 2), true},
                             {sj("D:\\ルート.txt"), "abc"}}));
    const fs::path out = folder("out");
    openFirstSet(out);
    QCOMPARE(control<QListWidget>(*dialog, "ListBox1").item(0)->text(),
             QStringLiteral("ウィンドウズ"));
    QCOMPARE(fileLines(*dialog), (QStringList{QStringLiteral("C:\\ソフト\\表.txt"),
                                              QStringLiteral("C:\\ソフト\\無い.txt"),
                                              QStringLiteral("D:\\ルート.txt")}));
    dialog->Button2Click();
    QCOMPARE(program->scripted.texts(), std::vector<std::string>{"終了しました"});
    QCOMPARE(readFile(out / "ソフト" / "表.txt"), pattern(100, 1));
    QCOMPARE(readFile(out / "ルート.txt"), std::string("abc"));
    QVERIFY(!fs::exists(out / "ソフト" / "無い.txt"));
    QCOMPARE(control<QPlainTextEdit>(*dialog, "Memo1").toPlainText(),
             QStringLiteral("C:\\ソフト\\無い.txtはバックアップされていません"));
  }

  // The run asks for each line's selection and for the destination box when it reaches
  // that line: what the user changes meanwhile applies to what is still restored.
  void changesDuringTheRunApplyToLaterLines() {
    QVERIFY(writeForeignSet(program->app.sf, "set",
                            {{"/first", "", true}, {"/second", "2"}, {"/third", "3"}}));
    const fs::path out = folder("out");
    const fs::path moved = folder("moved");
    openFirstSet(out);
    // The first entry's log line comes while the run works on it.
    auto& memo = control<QPlainTextEdit>(*dialog, "Memo1");
    connect(&memo, &QPlainTextEdit::textChanged, dialog.get(), [&] {
      if (memo.toPlainText().isEmpty()) return;
      setLineSelected(*dialog, 2, false);
      control<QLineEdit>(*dialog, "Edit3").setText(QString::fromStdString(moved.string() + "/"));
      // Meanwhile the run cannot be started again, and "戻る" waits for its end.
      QVERIFY(!control<QPushButton>(*dialog, "Button2").isEnabled());
      dialog->Button1Click();
      QVERIFY(dialog->isVisible());
    });
    dialog->Button2Click();
    QCOMPARE(program->scripted.texts(), std::vector<std::string>{"終了しました"});
    QVERIFY(!dialog->isVisible());
    QCOMPARE(readFile(moved / "second"), std::string("2"));
    QVERIFY(!fs::exists(out / "second"));
    QVERIFY(!fs::exists(moved / "third"));
    QVERIFY(!fs::exists(out / "third"));
  }

  void aSignalDuringTheRunEndsItAsTheAbortButtonDoes() {
    QVERIFY(writeForeignSet(program->app.sf, "set", {{"/first", "", true}, {"/second", "2"}}));
    const fs::path out = folder("out");
    openFirstSet(out);
    auto& memo = control<QPlainTextEdit>(*dialog, "Memo1");
    connect(&memo, &QPlainTextEdit::textChanged, dialog.get(), [&] {
      if (!memo.toPlainText().isEmpty()) AbortOnSignals::request();
    });
    dialog->Button2Click();
    QCOMPARE(program->scripted.texts(), (std::vector<std::string>{"中断しました", "終了しました"}));
    QVERIFY(!fs::exists(out / "second"));
  }

  // The menu's dialog is a fresh one each time; the set it opened stays open in `sf`.
  void theMenuItemShowsAFreshModalDialog() {
    QVERIFY(writeForeignSet(program->app.sf, "set", {{"/a", "a"}}));
    openFirstSet(folder("out"));
    for (int round = 0; round < 2; ++round) {
      bool shown = false;
      whenShown<gui::Trestore>([&](gui::Trestore& menuDialog) {
        shown = menuDialog.isModal() && fileLines(menuDialog).isEmpty() &&
                control<QListWidget>(menuDialog, "ListBox1").count() == 0;
        menuDialog.Button1Click();
      });
      gui::showRestoreDialog(program->app, nullptr);
      QVERIFY(shown);
    }
    QVERIFY(program->app.sf.SetOpened);
  }

  void destinationBoxEndsWithOneSlash_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("shown");
    QTest::newRow("without") << "/srv/restore"
                             << "/srv/restore/";
    QTest::newRow("with") << "/srv/restore/"
                          << "/srv/restore/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("none reported") << "" << QDir::currentPath() + "/";
  }
  void destinationBoxEndsWithOneSlash() {
    QFETCH(QString, folder);
    QFETCH(QString, shown);
    dialog->fvChange(folder);
    QCOMPARE(text("Edit3"), shown);
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::TrestoreTest)
#include "restoreu_test.moc"
