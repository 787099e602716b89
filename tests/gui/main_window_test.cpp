// The main window: start-up, the options panel and its file, the status bar,
// the binding at every opening of "ツール", the tape items, the SCSI ID item, closing.

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <memory>

#include "gui/app/mainu.h"
#include "gui/app/veru.h"
#include "gui/common/qt_messages.h"
#include "scsi/bus.h"
#include "scsi/tape_commands.h"
#include "support/gui_fixture.h"
#include "support/main_window_driver.h"
#include "sys/cp932.h"
#include "sys/ini.h"
#include "sys/options.h"

namespace korv::test {

namespace {

const char* const kTapeItems[] = {"N5", "N6", "N7", "N9", "N10", "N11", "N13", "N15", "N16", "N18"};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiWorkspace> workspace;
  std::unique_ptr<GuiProgram> program;
  std::unique_ptr<gui::Tmain> main;

  void start(IdChoice choose = {}) {
    if (!program) program = std::make_unique<GuiProgram>(*workspace);
    main = std::make_unique<gui::Tmain>(program->app);
    QVERIFY(startMainWindow(*main, std::move(choose)));
  }

  template <class T>
  T* control(const char* name) {
    return main->findChild<T*>(QString::fromUtf8(name));
  }

  QString panel(int i) { return main->statusPanel(i)->text(); }

  int enabledTapeItems() {
    int n = 0;
    for (const char* name : kTapeItems) n += item(*main, name)->isEnabled() ? 1 : 0;
    return n;
  }

  std::optional<std::string> optionValue(const char* utf8Key) {
    return readProfileString(workspace->optionsPath(), kOptionsSection,
                             utf8ToCp932(utf8Key).value());
  }

 private slots:
  void init() {
    workspace = std::make_unique<GuiWorkspace>();
    workspace->formatTape();
  }

  void cleanup() {
    main.reset();
    program.reset();
    workspace.reset();
  }

  void theWindowHasItsDesignedFrame() {
    start();
    QCOMPARE(main->windowTitle(), QString("SCSI KORVESSIAN"));
    // Client area 600 x 325 below the menu bar, fixed.
    QCOMPARE(main->width(), 600);
    QCOMPARE(main->height() - main->menuBar()->height(), 325);
    QCOMPARE(main->minimumSize(), main->maximumSize());
    QVERIFY(!(main->windowFlags() & Qt::WindowMaximizeButtonHint));
    // 19 pixels, or what the panels' sunken frames around a line of the font need (20 with
    // IPAPGothic's 15-pixel line).
    QVERIFY2(main->statusBar()->height() >= 19 && main->statusBar()->height() <= 20,
             qPrintable(QString::number(main->statusBar()->height())));
    QVERIFY(!main->statusBar()->isSizeGripEnabled());
    QCOMPARE(panel(0), QString("TAPE SCSI-ID="));
    QCOMPARE(main->statusPanel(0)->width(), std::max(87, main->statusPanel(0)->sizeHint().width()));
    QCOMPARE(main->statusPanel(1)->width(), 70);
    QCOMPARE(main->statusPanel(2)->width(), 50);
    QCOMPARE(control<QWidget>("Panel1")->size(), QSize(569, 161));
    QCOMPARE(control<QWidget>("GroupBox2")->property("title").toString(),
             QString("巻き戻し時のイミディエート"));
    QCOMPARE(control<QWidget>("GroupBox3")->property("title").toString(), QString("EODのサポート"));
    QCOMPARE(control<QRadioButton>("RadioButton4")->text(), QString("使用する"));
    QCOMPARE(control<QRadioButton>("RadioButton5")->text(), QString("使用しない"));
    QCOMPARE(control<QRadioButton>("RadioButton6")->text(), QString("使用できる"));
    QCOMPARE(control<QRadioButton>("RadioButton7")->text(), QString("使用できない"));
    QCOMPARE(control<QAbstractButton>("BitBtn1")->text(), QString("閉じる(&C)"));

    // The menu: captions and order.
    QStringList tool;
    for (QAction* a : toolMenu(*main)->actions()) tool << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(tool,
             QStringList(
                 {"TAPE SCSI ＩＤの設定", "-", "バックアップ", "リストア", "テスト", "-",
                  "リワインド", "巻き直し", "-", "取り出し", "-", "最後のバックアップセットを削除",
                  "指定した番号以降のバックアップセットを削除", "-", "イレース", "フォーマット"}));
    QCOMPARE(item(*main, "Exit1")->text(), QString("終了"));
    QCOMPARE(item(*main, "N2")->text(), QString("バージョン情報の表示"));
  }

  // First start with no options file: the defaults; the first close writes them.
  void firstStartWithoutAnOptionsFile() {
    start();
    QVERIFY(control<QRadioButton>("RadioButton4")->isChecked());
    QVERIFY(control<QRadioButton>("RadioButton6")->isChecked());
    QVERIFY(control<QCheckBox>("CheckBox1")->isChecked());
    QVERIFY(!control<QCheckBox>("CheckBox2")->isChecked());
    QVERIFY(!std::filesystem::exists(workspace->optionsPath()));
    main->close();
    QCOMPARE(workspace->readOptions(),
             std::string("[SCSI_KORVESSIAN]\n巻き戻しのイミディエート=1\nEODコマンドの使用=1\n"
                         "リストア時のタイムスタンプチェック=1\nリストア時の同名チェック=0\n"));
  }

  // "0x10" is true, a word is the key's default, "0" is false.
  void optionValuesAreReadAsIntegers() {
    workspace->writeOptions(
        "[SCSI_KORVESSIAN]\n巻き戻しのイミディエート=0\nEODコマンドの使用=yes\n"
        "リストア時のタイムスタンプチェック=0\nリストア時の同名チェック=0x10\n");
    start();
    QVERIFY(control<QRadioButton>("RadioButton5")->isChecked());
    QVERIFY(control<QRadioButton>("RadioButton6")->isChecked());  // a word: default true
    QVERIFY(!control<QCheckBox>("CheckBox1")->isChecked());
    QVERIFY(control<QCheckBox>("CheckBox2")->isChecked());
  }

  // Nothing is bound before "ツール" is first opened; then the id shows and the items work.
  void theIdShowsOnlyOnceToolIsOpened() {
    start();
    QCOMPARE(program->app.scsiid, 4);
    QCOMPARE(panel(1), QString());
    QCOMPARE(enabledTapeItems(), 0);
    QVERIFY(!program->app.sf.Opened);
    openToolMenu(*main);
    QCOMPARE(panel(1), QString(" 4"));
    QCOMPARE(enabledTapeItems(), 10);
    QVERIFY(item(*main, "N3")->isEnabled());
    QVERIFY(program->app.sf.Opened);
    QVERIFY(program->scripted.boxes.empty());
    // Opening the menu saved the options.
    QCOMPARE(optionValue("リストア時の同名チェック"), std::optional<std::string>("0"));
  }

  void noTapeRowLeavesEveryTapeItemDisabled() {
    // An image at the adapter's own id makes no drive: the bus is empty.
    program = std::make_unique<GuiProgram>(*workspace, std::map<int, std::string>{{7, "x.tap"}});
    start();
    QCOMPARE(program->app.scsiid, -1);
    openToolMenu(*main);
    QCOMPARE(panel(1), QString("使用不可"));
    QCOMPARE(enabledTapeItems(), 0);
    QVERIFY(item(*main, "N3")->isEnabled());
    QVERIFY(item(*main, "Exit1")->isEnabled());
    QVERIFY(item(*main, "N2")->isEnabled());
    QCOMPARE(program->bus.count(kOpInquiry), 8);  // the scan's alone; no binding
  }

  // A changed option takes effect at the next opening of "ツール": the file already holds
  // it and the rewinds go without Immed.
  void aChangedOptionTakesEffectAtTheNextOpening() {
    start();
    openToolMenu(*main);
    program->scripted.confirmAnswers = {true};
    item(*main, "N11")->trigger();
    QCOMPARE(program->bus.trace().back().cdb[0], kOpRewind);
    QCOMPARE(program->bus.trace().back().cdb[1], uint8_t(1));

    control<QRadioButton>("RadioButton5")->setChecked(true);
    QVERIFY(program->app.opt.rewindimm);  // not yet
    openToolMenu(*main);
    QVERIFY(!program->app.opt.rewindimm);
    QCOMPARE(optionValue("巻き戻しのイミディエート"), std::optional<std::string>("0"));
    QVERIFY(!program->app.sf.RewindImmediate);
    program->bus.clearTrace();
    item(*main, "N11")->trigger();
    QCOMPARE(program->bus.count(kOpRewind), 1);
    QCOMPARE(program->bus.trace().back().cdb[1], uint8_t(0));
  }

  // "TAPE SCSI ＩＤの設定" binds twice: with the old id as the menu opens, with the new one
  // after the dialog; with no medium, each binding asks whether to retry.
  void theIdItemBindsTwice() {
    start();
    program->bus.drive().setFaults({.noMedium = true});
    program->scripted.retryAnswers = {false, false};
    program->bus.clearTrace();
    openToolMenu(*main);
    answerIdDialog();
    item(*main, "N3")->trigger();
    QCOMPARE(program->scripted.retryQuestions.size(), size_t(2));
    QCOMPARE(program->scripted.texts(),
             (std::vector<std::string>{"システム初期化失敗", "システム初期化失敗"}));
    int bindingInquiries = 0;
    for (const TraceRecord& r : program->bus.trace())
      bindingInquiries += r.cdb[0] == kOpInquiry && r.cdb[4] == 36 ? 1 : 0;
    QCOMPARE(bindingInquiries, 2);
    QCOMPARE(panel(1), QString(" 4"));
    QCOMPARE(enabledTapeItems(), 0);

    // The medium is back: the next opening binds.
    program->bus.drive().setFaults({});
    openToolMenu(*main);
    QCOMPARE(enabledTapeItems(), 10);
  }

  // The dialog from the menu may choose no drive at all: "使用不可", items disabled.
  void theIdItemWithNoChoiceMakesTheDriveUnusable() {
    program = std::make_unique<GuiProgram>(
        *workspace,
        std::map<int, std::string>{{2, workspace->imagePath(2)}, {5, workspace->imagePath(5)}});
    start();
    QCOMPARE(program->app.scsiid, 5);
    answerIdDialog([](gui::Tidset& dialog) { clickGridRow(dialog, 3); });
    item(*main, "N3")->trigger();
    QCOMPARE(program->app.scsiid, 2);
    QCOMPARE(panel(1), QString(" 2"));
    QVERIFY(program->app.sf.Opened);
    QCOMPARE(program->app.sf.TargetId, 2);
  }

  // Opening "ツール" while a command waits for the drive: the re-bind meets Busy, fails
  // and disables the items until the menu is opened again after the command.
  void openingToolWhileACommandIsPending() {
    start();
    openToolMenu(*main);
    program->bus.drive().setFaults({.delay = std::chrono::milliseconds(300)});
    bool opened = false;
    int enabledMeanwhile = -1;
    QTimer::singleShot(50, main.get(), [&] {
      openToolMenu(*main);
      enabledMeanwhile = enabledTapeItems();
      opened = true;
    });
    item(*main, "N11")->trigger();  // rewind, pending 300 ms
    QVERIFY(opened);
    QCOMPARE(enabledMeanwhile, 0);
    QCOMPARE(program->scripted.texts(),
             (std::vector<std::string>{"システム初期化失敗", "正常終了．"}));
    QCOMPARE(enabledTapeItems(), 0);
    program->bus.drive().setFaults({});
    openToolMenu(*main);
    QCOMPARE(enabledTapeItems(), 10);
  }

  // The binding's boxes come up while the menu is opening (the real boxes here): the
  // retry question, then the failure; the menu opens after them.
  void realBoxesWhileTheMenuOpens() {
    gui::QtMessages boxes(QStringLiteral("Korvessian"));
    QStringList seen;
    boxes.setObserver([&seen](QDialog& box) {
      seen << box.windowTitle() + ":" + static_cast<QMessageBox&>(box).text();
      QTest::keyClick(&box, Qt::Key_Escape);  // いいえ(&N); OK
    });
    program = std::make_unique<GuiProgram>(*workspace, boxes);
    start();
    program->bus.drive().setFaults({.noMedium = true});
    QMenu* menu = toolMenu(*main);
    main->menuBar()->setActiveAction(menu->menuAction());
    QCOMPARE(seen, QStringList({"ｴﾗｰ:媒体の準備が出来ていません．\n再試行しますか？",
                                "Korvessian:システム初期化失敗"}));
    QVERIFY(menu->isVisible());
    QCOMPARE(enabledTapeItems(), 0);
    menu->hide();
  }

  // Windows paint and timers run while the drive works.
  void eventsRunWhileADriveWorks() {
    start();
    openToolMenu(*main);
    program->bus.drive().setFaults({.delay = std::chrono::milliseconds(200)});
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    item(*main, "N11")->trigger();
    timer.stop();
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
  }

  void theDialogsFindOptEqualToThePanel() {
    start();
    control<QCheckBox>("CheckBox2")->setChecked(true);
    openToolMenu(*main);
    QVERIFY(program->app.opt.namecheck);
  }

  // Options that cannot be written: opening "ツール" shows the error and keeps the menu as
  // it was; closing shows it and closes all the same.
  void unwritableOptions() {
    start();
    openToolMenu(*main);
    QCOMPARE(enabledTapeItems(), 10);
    workspace->blockOptions();
    program->bus.clearTrace();
    openToolMenu(*main);
    QCOMPARE(program->scripted.boxes.size(), size_t(1));
    QCOMPARE(program->scripted.boxes[0].type, BoxType::Error);
    QCOMPARE(program->scripted.boxes[0].text, workspace->optionsPath() + " に書き込めません");
    QVERIFY(program->bus.trace().empty());  // no re-bind
    QCOMPARE(enabledTapeItems(), 10);

    QVERIFY(main->close());
    QVERIFY(!main->isVisible());
    QCOMPARE(program->scripted.boxes.size(), size_t(2));
    QCOMPARE(program->scripted.boxes[1].text, workspace->optionsPath() + " に書き込めません");
  }

  void closingWritesTheOptions() {
    start();
    control<QRadioButton>("RadioButton7")->setChecked(true);
    control<QCheckBox>("CheckBox1")->setChecked(false);
    item(*main, "Exit1")->trigger();
    QVERIFY(!main->isVisible());
    const Options saved = loadOptions(workspace->optionsPath());
    QVERIFY(saved.rewindimm);
    QVERIFY(!saved.eoduse);
    QVERIFY(!saved.timecheck);
    QVERIFY(!saved.namecheck);
  }

  void theCloseButtonClosesToo() {
    start();
    QTest::mouseClick(control<QWidget>("BitBtn1"), Qt::LeftButton);
    QVERIFY(!main->isVisible());
    QVERIFY(std::filesystem::exists(workspace->optionsPath()));
  }

  // The two programs share the options file and its bus: the window's choice is what the
  // terminal program uses next.
  void theTerminalProgramUsesWhatTheWindowSaved() {
    workspace->writeOptions("[TAPE_BUS]\nadapter=virtual\nimage2=tape4.tap\n");
    program = std::make_unique<GuiProgram>(*workspace,
                                           openConfiguredBus(workspace->optionsPath()).transport);
    start();
    QCOMPARE(program->app.scsiid, 2);
    control<QRadioButton>("RadioButton5")->setChecked(true);
    QVERIFY(main->close());
    main.reset();
    program.reset();  // lets go of the tape image

    QProcess cli;
    cli.start(QString::fromLocal8Bit(qgetenv("KORV_CLI")),
              {"--config", QString::fromStdString(workspace->optionsPath()), "--trace", "--yes",
               "rewind"});
    QVERIFY(cli.waitForFinished(30000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY2(err.contains("cdb 01 00 00 00 00 00"), qPrintable(err));  // REWIND without Immed
    QVERIFY2(!err.contains("cdb 01 01"), qPrintable(err));
    QVERIFY(workspace->readOptions().find("adapter=virtual") != std::string::npos);
  }

  void theVersionDialog() {
    start();
    gui::TVer& ver = main->Ver();
    QVERIFY(!ver.isVisible());
    QCOMPARE(ver.objectName(), QString("Ver"));
    QCOMPARE(ver.windowTitle(), QString("バージョン情報"));
    QCOMPARE(ver.size(), QSize(317, 148));
    QCOMPARE(ver.findChild<QLabel*>("Label2")->text(), QString("Ver1.9"));
    QCOMPARE(ver.findChild<QLabel*>("Label2")->font().pixelSize(), 16);
    bool shown = false;
    whenShown<gui::TVer>([&](gui::TVer& dialog) {
      shown = true;
      QTest::keyClick(&dialog, Qt::Key_Return);  // "了解" is the default button
    });
    item(*main, "N2")->trigger();
    QVERIFY(shown);
    QVERIFY(!ver.isVisible());
    // Reused, not made anew.
    whenShown<gui::TVer>([](gui::TVer& dialog) { dialog.Button1Click(); });
    item(*main, "N2")->trigger();
    QCOMPARE(&main->Ver(), &ver);
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::MainWindowTest)
#include "main_window_test.moc"
