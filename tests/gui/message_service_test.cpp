// The message boxes of the Conventions through the one Qt message service: titles,
// icons, buttons, the default and escape buttons, the input box, the sounds.

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "gui/common/hourglass.h"
#include "gui/common/qt_messages.h"
#include "gui/common/top_level.h"

namespace korv::test {

namespace {

QStringList buttonTexts(QDialog& box) {
  QStringList texts;
  for (QAbstractButton* b : static_cast<QMessageBox&>(box).buttons()) texts << b->text();
  return texts;
}

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QString defaultButton;
  QString escapeButton;
};

SeenBox look(QDialog& dialog) {
  auto& box = static_cast<QMessageBox&>(dialog);
  SeenBox seen;
  seen.title = box.windowTitle();
  seen.text = box.text();
  seen.icon = box.icon();
  seen.buttons = buttonTexts(box);
  if (box.defaultButton() != nullptr) seen.defaultButton = box.defaultButton()->text();
  if (box.escapeButton() != nullptr) seen.escapeButton = box.escapeButton()->text();
  return seen;
}

}  // namespace

class MessageServiceTest : public QObject {
  Q_OBJECT

 private:
  gui::QtMessages messages{QStringLiteral("Korvessian")};
  SeenBox seen;

  // The next box is looked at, then answered by `key`.
  void answerWith(Qt::Key key) {
    messages.setObserver([this, key](QDialog& box) {
      seen = look(box);
      QTest::keyClick(&box, key);
    });
  }

 private slots:
  void init() { seen = SeenBox(); }

  void thePlainBoxHasTheApplicationsTitleAndOneOk() {
    answerWith(Qt::Key_Return);
    messages.show(BoxType::Plain, "正常終了．");
    QCOMPARE(seen.title, QString("Korvessian"));
    QCOMPARE(seen.text, QString("正常終了．"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.buttons, QStringList{"OK"});
  }

  void typedBoxesHaveTheirTitlesIconsAndYes() {
    const std::pair<BoxType, std::pair<const char*, QMessageBox::Icon>> types[] = {
        {BoxType::Warning, {"警告", QMessageBox::Warning}},
        {BoxType::Error, {"ｴﾗｰ", QMessageBox::Critical}},
        {BoxType::Information, {"情報", QMessageBox::Information}},
    };
    for (const auto& [type, expected] : types) {
      answerWith(Qt::Key_Return);
      messages.show(type, "一行目\r二行目");
      QCOMPARE(seen.title, QString::fromUtf8(expected.first));
      QCOMPARE(seen.icon, expected.second);
      QCOMPARE(seen.buttons, QStringList{"はい(&Y)"});
      QCOMPARE(seen.text, QString("一行目\n二行目"));  // lines split at '\r'
    }
  }

  void aConfirmationIsAWarningEnterSaysYesEscSaysNo() {
    answerWith(Qt::Key_Return);
    QVERIFY(messages.confirm("媒体を巻き戻します．\r巻き戻していいですか？"));
    QCOMPARE(seen.title, QString("警告"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.buttons, QStringList({"はい(&Y)", "いいえ(&N)"}));
    QCOMPARE(seen.defaultButton, QString("はい(&Y)"));
    QCOMPARE(seen.escapeButton, QString("いいえ(&N)"));
    answerWith(Qt::Key_Escape);
    QVERIFY(!messages.confirm("x"));
    // The mnemonics.
    answerWith(Qt::Key_N);
    QVERIFY(!messages.confirm("x"));
    answerWith(Qt::Key_Y);
    QVERIFY(messages.confirm("x"));
  }

  void theRetryQuestionIsAnErrorBox() {
    answerWith(Qt::Key_Return);
    QVERIFY(messages.askYesNoError("媒体の準備が出来ていません．\r再試行しますか？"));
    QCOMPARE(seen.title, QString("ｴﾗｰ"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QStringList({"はい(&Y)", "いいえ(&N)"}));
    answerWith(Qt::Key_Escape);
    QVERIFY(!messages.askYesNoError("x"));
  }

  void theInputBox() {
    QString title, label, text, selected;
    QStringList buttons;
    int maxLength = 0;
    messages.setObserver([&](QDialog& dialog) {
      auto& box = static_cast<QInputDialog&>(dialog);
      title = box.windowTitle();
      label = box.labelText();
      auto* line = box.findChild<QLineEdit*>();
      text = line->text();
      selected = line->selectedText();
      maxLength = line->maxLength();
      for (QPushButton* b : box.findChildren<QPushButton*>()) buttons << b->text();
      QTest::keyClicks(line, "12");  // typing replaces the selected offer
      QTest::keyClick(line, Qt::Key_Return);
    });
    const auto answer =
        messages.input("数字の入力", "消したいバックアップセットの番号を入力", "1", 255);
    QCOMPARE(answer, std::optional<std::string>("12"));
    QCOMPARE(title, QString("数字の入力"));
    QCOMPARE(label, QString("消したいバックアップセットの番号を入力"));
    QCOMPARE(text, QString("1"));
    QCOMPARE(selected, QString("1"));
    QCOMPARE(maxLength, 255);
    QVERIFY(buttons.contains("OK"));
    QVERIFY(buttons.contains("ｷｬﾝｾﾙ"));

    messages.setObserver([](QDialog& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    QCOMPARE(messages.input("c", "p", "1", 255), std::optional<std::string>());
  }

  void theSounds() {
    messages.beep(kBeepExclamation);
    messages.beep(kBeepDefault);
    messages.beep(kBeepExclamation);
    QCOMPARE(messages.beepsExclamation(), 2);
    QCOMPARE(messages.beepsDefault(), 1);
  }

  // The top-level handler: a runtime error ends the handler and shows as "ｴﾗｰ".
  void theTopLevelHandlerShowsRuntimeErrors() {
    answerWith(Qt::Key_Return);
    bool after = false;
    const bool ok = gui::runHandler(messages, [&] {
      throw std::runtime_error("/x/korvessian.ini に書き込めません");
      after = true;
    });
    QVERIFY(!ok);
    QVERIFY(!after);
    QCOMPARE(seen.title, QString("ｴﾗｰ"));
    QCOMPARE(seen.text, QString("/x/korvessian.ini に書き込めません"));
  }

  // The hourglass guard: restored on every way out, however often it was asked for.
  void theHourglassIsRestoredOnEveryPath() {
    {
      gui::Hourglass hourglass;
      hourglass.show();
      hourglass.show();
      QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    }
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    try {
      gui::Hourglass hourglass;
      hourglass.callback()(true);
      throw std::runtime_error("x");
    } catch (const std::exception&) {
    }
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    gui::Hourglass hourglass;
    hourglass.callback()(true);
    hourglass.callback()(false);
    hourglass.restore();
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::MessageServiceTest)
#include "message_service_test.moc"
