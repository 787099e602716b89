#include "gui/common/qt_messages.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace korv::gui {

namespace {

QString fromUtf8(const std::string& text) {
  QString result = QString::fromStdString(text);
  result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return result;
}

QWidget* ownerWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

// Centres a box on the screen (not over its owner) each time it is shown.
class CentreOnScreen : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      auto* box = static_cast<QWidget*>(watched);
      QScreen* screen = box->screen() != nullptr ? box->screen() : QGuiApplication::primaryScreen();
      if (screen != nullptr) {
        QRect frame = box->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        box->move(frame.topLeft());
      }
    }
    return false;
  }
};

}  // namespace

QString boxTitle(BoxType type) {
  switch (type) {
    case BoxType::Warning:
      return QStringLiteral("警告");
    case BoxType::Error:
      return QStringLiteral("ｴﾗｰ");
    case BoxType::Information:
      return QStringLiteral("情報");
    case BoxType::Plain:
      break;
  }
  return {};
}

QtMessages::QtMessages(QString applicationTitle) : title_(std::move(applicationTitle)) {}

void QtMessages::beep(unsigned soundType) {
  (soundType == kBeepExclamation ? beepsExclamation_ : beepsDefault_) += 1;
  QApplication::beep();
}

int QtMessages::run(QDialog& box) {
  CentreOnScreen centre;
  box.installEventFilter(&centre);
  box.setWindowModality(Qt::ApplicationModal);
  if (observer_) {
    // Queued, so it runs inside the box's own loop once the box is up.
    QPointer<QDialog> guard(&box);
    Observer observer = observer_;
    QTimer::singleShot(0, &box, [guard, observer] {
      if (guard) observer(*guard);
    });
  }
  // A box waits for the user: the arrow, even inside a handler that shows the hourglass.
  QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = box.exec();
  QGuiApplication::restoreOverrideCursor();
  return answer;
}

void QtMessages::show(BoxType type, const std::string& text) {
  QMessageBox box(ownerWindow());
  box.setText(fromUtf8(text));
  box.setTextFormat(Qt::PlainText);
  if (type == BoxType::Plain) {
    box.setWindowTitle(title_);
    box.setIcon(QMessageBox::NoIcon);
    QPushButton* ok = box.addButton(QString::fromUtf8(kOkText), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
  } else {
    box.setWindowTitle(boxTitle(type));
    box.setIcon(type == BoxType::Warning ? QMessageBox::Warning
                : type == BoxType::Error ? QMessageBox::Critical
                                         : QMessageBox::Information);
    QPushButton* yes = box.addButton(QString::fromUtf8(kYesText), QMessageBox::YesRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(yes);
  }
  run(box);
}

namespace {

void addYesNo(QMessageBox& box, const std::string& text) {
  box.setText(fromUtf8(text));
  box.setTextFormat(Qt::PlainText);
  QPushButton* yes = box.addButton(QString::fromUtf8(kYesText), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QString::fromUtf8(kNoText), QMessageBox::NoRole);
  box.setDefaultButton(yes);  // Enter
  box.setEscapeButton(no);    // Esc, and the window's close button
}

bool answeredYes(const QMessageBox& box) {
  return box.clickedButton() != nullptr &&
         box.buttonRole(box.clickedButton()) == QMessageBox::YesRole;
}

}  // namespace

bool QtMessages::confirm(const std::string& text) {
  QMessageBox box(ownerWindow());
  box.setWindowTitle(boxTitle(BoxType::Warning));
  box.setIcon(QMessageBox::Warning);
  addYesNo(box, text);
  run(box);
  return answeredYes(box);
}

bool QtMessages::askYesNoError(const std::string& text) {
  QMessageBox box(ownerWindow());
  box.setWindowTitle(boxTitle(BoxType::Error));
  box.setIcon(QMessageBox::Critical);
  addYesNo(box, text);
  run(box);
  return answeredYes(box);
}

std::optional<std::string> QtMessages::input(const std::string& caption, const std::string& prompt,
                                             const std::string& initial, int maxLength) {
  QInputDialog box(ownerWindow());
  box.setWindowTitle(QString::fromStdString(caption));
  box.setLabelText(QString::fromStdString(prompt));
  box.setInputMode(QInputDialog::TextInput);
  box.setOkButtonText(QString::fromUtf8(kOkText));
  box.setCancelButtonText(QString::fromUtf8(kCancelText));
  // Plain buttons, like the message boxes' (the style would add icons to these two).
  for (QPushButton* button : box.findChildren<QPushButton*>()) button->setIcon(QIcon());
  if (auto* line = box.findChild<QLineEdit*>()) {
    line->setMaxLength(maxLength);
    line->setAccessibleName(QString::fromStdString(prompt));
  }
  box.setTextValue(QString::fromStdString(initial));
  if (auto* line = box.findChild<QLineEdit*>()) line->selectAll();
  if (run(box) != QDialog::Accepted) return std::nullopt;
  return box.textValue().toStdString();
}

}  // namespace korv::gui
