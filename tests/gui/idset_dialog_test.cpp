// The SCSI ID dialog: the grid, the scan through the core's BusScan while the
// dialog keeps running, the preselection, the click rule and the id field.

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <memory>

#include "gui/idsetu/idsetu.h"
#include "support/fake_transport.h"
#include "support/gui_fixture.h"
#include "support/main_window_driver.h"

namespace korv::test {

class IdsetDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiWorkspace> workspace;
  std::unique_ptr<GuiProgram> program;
  std::unique_ptr<gui::Tidset> dialog;

  void openOn(std::map<int, std::string> images) {
    program = std::make_unique<GuiProgram>(*workspace, std::move(images));
    open();
  }
  void openOn(std::unique_ptr<FakeTransport> bus) {
    program = std::make_unique<GuiProgram>(*workspace, std::move(bus));
    open();
  }
  void open() {
    dialog = std::make_unique<gui::Tidset>(program->app);
    dialog->show();
    QVERIFY(runUntil([this] { return dialog->scanned(); }));
  }

  QString cell(int row, int column) {
    QTableWidgetItem* item = dialog->grid()->item(row - 1, column);
    return item != nullptr ? item->text() : QString();
  }
  QString edit3() { return dialog->findChild<QLineEdit*>("Edit3")->text(); }
  int currentRow() { return dialog->grid()->currentRow() + 1; }

 private slots:
  void init() { workspace = std::make_unique<GuiWorkspace>(); }
  void cleanup() {
    dialog.reset();
    program.reset();
    workspace.reset();
  }

  void theFormAndItsGrid() {
    openOn({{4, workspace->imagePath(4)}});
    QCOMPARE(dialog->objectName(), QString("idset"));
    QCOMPARE(dialog->windowTitle(), QString("SCSI IDの設定"));
    QCOMPARE(dialog->size(), QSize(626, 301));
    QTableWidget* grid = dialog->grid();
    QCOMPARE(grid->objectName(), QString("StringGrid"));
    QCOMPARE(grid->columnCount(), 5);
    QCOMPARE(grid->rowCount(), 8);  // rows 1..8; row 0 is the header
    const int widths[] = {50, 167, 107, 119, 149};
    const char* headers[] = {"SCSI-ID", "デバイスタイプ", "ベンダID", "プロダクトID",
                             "版数・ベンダ固有"};
    for (int c = 0; c < 5; ++c) {
      QCOMPARE(grid->columnWidth(c), widths[c]);
      QCOMPARE(grid->horizontalHeaderItem(c)->text(), QString::fromUtf8(headers[c]));
    }
    QCOMPARE(grid->horizontalHeader()->height(), 20);
    for (int r = 0; r < 8; ++r) QCOMPARE(grid->rowHeight(r), 20);
    QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(grid->showGrid());
    QCOMPARE(dialog->findChild<QLabel*>("Label1")->text(), QString("Inquiryの結果"));
    QCOMPARE(dialog->findChild<QLabel*>("Label4")->text(),
             QString("現在のTAPEデバイスのSCSI-IDは"));
    QCOMPARE(dialog->findChild<QLabel*>("Label5")->text(), QString("です"));
    QVERIFY(dialog->findChild<QLineEdit*>("Edit3")->isReadOnly());
    QCOMPARE(dialog->findChild<QPushButton*>("BitBtn1")->text(), QString("戻る"));
  }

  void oneDriveAtFourIsPreselected() {
    openOn({{4, workspace->imagePath(4)}});
    for (int row = 1; row <= 8; ++row) QCOMPARE(cell(row, 0), QString("  %1").arg(row - 1));
    QCOMPARE(cell(5, 1), QString("テープ"));
    QCOMPARE(cell(5, 2), QString("KORVESSN"));
    QCOMPARE(cell(5, 3), QString("Emulated DDS    "));
    for (int row : {1, 2, 3, 4, 6, 7}) {
      QCOMPARE(cell(row, 1), QString("未接続"));
      QCOMPARE(cell(row, 2), QString());
    }
    // The host adapter at 7.
    QCOMPARE(cell(8, 1), QString("ＳＣＳＩホストアダプタ"));
    QCOMPARE(cell(8, 2), QString("KORVESSIAN      "));
    QCOMPARE(cell(8, 3), QString("Virtual Bus     "));
    QCOMPARE(cell(8, 4), QString());
    QCOMPARE(currentRow(), 5);
    QCOMPARE(edit3(), QString(" 4"));
    QCOMPARE(program->app.scsiid, 4);
    QVERIFY(program->scripted.boxes.empty());
    // The dialog's scan never touches the main tape component.
    QVERIFY(!program->app.sf.Opened);
  }

  void drivesAtTwoAndFiveTheLastIsPreselectedAClickChoosesTheOther() {
    openOn({{2, workspace->imagePath(2)}, {5, workspace->imagePath(5)}});
    QCOMPARE(program->app.scsiid, 5);
    QCOMPARE(edit3(), QString(" 5"));
    clickGridRow(*dialog, 3);
    QCOMPARE(program->app.scsiid, 2);
    QCOMPARE(edit3(), QString(" 2"));
    // Rows that are no tape change nothing: nothing connected, the host adapter.
    for (int row : {1, 8}) {
      clickGridRow(*dialog, row);
      QCOMPARE(currentRow(), row);
      QCOMPARE(program->app.scsiid, 2);
      QCOMPARE(edit3(), QString(" 2"));
    }
    // The keyboard moves the row as a click does.
    dialog->grid()->setFocus();
    clickGridRow(*dialog, 5);
    QTest::keyClick(dialog->grid(), Qt::Key_Up);
    QTest::keyClick(dialog->grid(), Qt::Key_Up);
    QCOMPARE(currentRow(), 3);
    QCOMPARE(program->app.scsiid, 2);
  }

  // A drive at id 0 used to stay unchosen (its row is already current); it is
  // chosen like any other: kernel sg hosts put every drive at target 0.
  void aDriveOnlyAtZeroIsPreselected() {
    openOn({{0, workspace->imagePath(0)}});
    QCOMPARE(cell(1, 1), QString("テープ"));
    QCOMPARE(currentRow(), 1);
    QCOMPARE(edit3(), QString(" 0"));
    QCOMPARE(program->app.scsiid, 0);
  }

  void typeFourteenIsUndefinedAndNoTapeIsUnusable() {
    auto bus = std::make_unique<FakeTransport>();
    bus->completion = FakeTransport::Completion::Threaded;  // each INQUIRY really pending
    bus->devices[0] = FakeDevice{.type = 0, .vendor = "DISKVEND", .product = "Some Disk       "};
    bus->devices[3] = FakeDevice{.type = 14};
    bus->devices[6] = FakeDevice{.type = 8};
    openOn(std::move(bus));
    QCOMPARE(cell(1, 1), QString("ハードディスク"));
    QCOMPARE(cell(1, 2), QString("DISKVEND"));
    QCOMPARE(cell(4, 1), QString("未定義または無し"));
    QCOMPARE(cell(7, 1), QString("メディアチェンジャ(ｼﾞｭｰｸﾎﾞｯｸｽ)"));
    QCOMPARE(cell(8, 2), QString("FAKE MANAGER    "));
    QCOMPARE(edit3(), QString("使用不可"));
    QCOMPARE(program->app.scsiid, -1);
    clickGridRow(*dialog, 1);  // a disk
    QCOMPARE(program->app.scsiid, -1);
    QCOMPARE(edit3(), QString("使用不可"));
  }

  void anAdapterThatIsNotReady() {
    auto bus = std::make_unique<FakeTransport>();
    bus->devices[4] = FakeDevice{};
    bus->adapter.ready = false;
    openOn(std::move(bus));
    QCOMPARE(program->scripted.texts(), std::vector<std::string>{"ASPIが使用できません．"});
    QCOMPARE(program->scripted.boxes[0].type, BoxType::Plain);
    QVERIFY(program->bus.trace().empty());
    QCOMPARE(cell(5, 0), QString("  4"));
    QCOMPARE(cell(5, 1), QString());
    QCOMPARE(edit3(), QString());
    QCOMPARE(program->app.scsiid, -1);
  }

  // The dialog paints and reacts while each INQUIRY is pending: rows appear one by one.
  void rowsAppearWhileTheScanWaits() {
    auto bus = std::make_unique<FakeTransport>();
    bus->completion = FakeTransport::Completion::Threaded;
    bus->delayMs = 20;
    bus->devices[4] = FakeDevice{};
    program = std::make_unique<GuiProgram>(*workspace, std::move(bus));
    dialog = std::make_unique<gui::Tidset>(program->app);
    // Ids without a device answer at once; the drive at 4 keeps its INQUIRY pending, so
    // the rows before it are filled and the rows after it not yet.
    std::vector<QString> seenRowTwo, seenRowSix;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
      if (!dialog->scanning()) return;
      seenRowTwo.push_back(cell(2, 1));
      seenRowSix.push_back(cell(6, 1));
    });
    timer.start(5);
    dialog->show();
    QVERIFY(runUntil([this] { return dialog->scanned(); }));
    timer.stop();
    QVERIFY(!seenRowTwo.empty());
    QCOMPARE(std::count(seenRowTwo.begin(), seenRowTwo.end(), QString("未接続")),
             std::ptrdiff_t(seenRowTwo.size()));
    QVERIFY(std::count(seenRowSix.begin(), seenRowSix.end(), QString()) >= 1);
    QCOMPARE(program->pump.depth(), 0);
  }

  void closingByTheButtonOrTheFrameKeepsTheChoice() {
    openOn({{4, workspace->imagePath(4)}});
    QTest::mouseClick(dialog->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(program->app.scsiid, 4);
    dialog->show();
    QVERIFY(runUntil([this] { return dialog->scanned(); }));
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(program->app.scsiid, 4);
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::IdsetDialogTest)
#include "idset_dialog_test.moc"
