// The progress dialog: what its boxes, bar and clocks show for the figures a run feeds
// it, and that only the run can close it.

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "gui/backup/copy_animation.h"
#include "gui/backup/copydlgu.h"
#include "sys/abort_signals.h"

namespace korv::test {

using gui::Tcopydlg;

class CopydlgTest : public QObject {
  Q_OBJECT

  std::time_t now_ = 1'700'000'000;
  std::unique_ptr<Tcopydlg> dlg_;

  QString text(const char* name) { return dlg_->edit(name)->text(); }

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan)); }

  void init() {
    now_ = 1'700'000'000;
    dlg_ = std::make_unique<Tcopydlg>(nullptr, [this] { return now_; });
    dlg_->show();
  }
  void cleanup() { dlg_.reset(); }

  void theBarCountsBytesUpToTheIntegerRangeThenKibibytes_data() {
    QTest::addColumn<float>("total");
    QTest::addColumn<float>("done");
    QTest::addColumn<int>("rangeMax");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("allbyte");
    QTest::newRow("nothing: an empty bar") << 0.f << 0.f << 0 << 0 << "                  0";
    QTest::newRow("1,000 bytes") << 1000.f << 500.f << 1000 << 500 << "              1,000";
    QTest::newRow("3,000,000,000 bytes in KiB")
        << 3e9f << 1.5e9f << 2929687 << 1464843 << "      3,000,000,000";
  }
  void theBarCountsBytesUpToTheIntegerRangeThenKibibytes() {
    QFETCH(float, total);
    QFETCH(float, done);
    QFETCH(int, rangeMax);
    QFETCH(int, position);
    QFETCH(QString, allbyte);
    dlg_->setallbyte(total);
    dlg_->setcopybyte(done);
    QCOMPARE(dlg_->state().rangeMax(), rangeMax);
    QCOMPARE(dlg_->ProgressBar1()->minimum(), 0);
    QCOMPARE(dlg_->ProgressBar1()->maximum(), std::max(1, rangeMax));
    QCOMPARE(dlg_->ProgressBar1()->value(), position);
    QCOMPARE(text("allbyte"), allbyte);
  }

  void countsAreGroupedAndRightAlignedIn19() {
    dlg_->setallcount(1234567);
    dlg_->setcopycount(3);
    QCOMPARE(text("allcount"), QString("          1,234,567"));
    QCOMPARE(text("copycount"), QString("                  3"));
  }

  void theRateIsTheGainOfTheLastTwoAndAHalfSeconds() {
    QCOMPARE(dlg_->Timer1().interval(), 2500);
    dlg_->setcopybyte(5242880);
    dlg_->Timer1Timer();
    QCOMPARE(text("Edit1"), QString("120.00"));
    dlg_->Timer1Timer();  // nothing gained since
    QCOMPARE(text("Edit1"), QString("  0.00"));
  }

  void theStartTimeAndTheElapsedTimeWhichWrapsAfterADayAndFreezes() {
    QCOMPARE(dlg_->Timer2().interval(), 1000);
    QVERIFY(QRegularExpression("^\\d{4}/\\d\\d/\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d$")
                .match(text("Edit2"))
                .hasMatch());
    now_ += 25 * 3600;
    dlg_->Timer2Timer();
    QCOMPARE(text("Edit3"), QString("01.00.00"));
    dlg_->stopclock();
    QVERIFY(!dlg_->Timer2().isActive());
    now_ += 65;
    dlg_->Timer2Timer();
    QCOMPARE(text("Edit3"), QString("01.00.00"));
  }

  void theAbortButtonOrASignalRequestsTheAbortWhichActivationDoesNotLose() {
    QVERIFY(!dlg_->isabort());
    QTest::mouseClick(dlg_->BitBtn1(), Qt::LeftButton);
    QVERIFY(dlg_->isabort());
    dlg_->hide();
    dlg_->show();  // activated again
    QVERIFY(dlg_->isabort());
    dlg_->clearabort();
    QVERIFY(!dlg_->isabort());
    AbortOnSignals abortOnSignals;
    AbortOnSignals::request();
    QVERIFY(dlg_->isabort());
    AbortOnSignals::clear();
  }

  void onlyTheRunClosesIt() {
    QVERIFY(!(dlg_->windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(dlg_->windowFlags() & Qt::WindowSystemMenuHint));
    dlg_->close();
    QTest::keyClick(dlg_.get(), Qt::Key_Escape);
    QVERIFY(dlg_->isVisible());
  }

  void theAnimationStartsAndStops() {
    dlg_->setanimate(false);
    QVERIFY(!dlg_->Animate1()->running());
    dlg_->setanimate(true);
    QVERIFY(dlg_->Animate1()->running());
    const int first = dlg_->Animate1()->frame();
    QTRY_VERIFY(dlg_->Animate1()->frame() != first);
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::CopydlgTest)
#include "copydlgu_test.moc"
