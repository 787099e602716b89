#pragma once
// The one place that creates message boxes: the Qt implementation of the core's
// MessageService. Forms never call QMessageBox or QInputDialog themselves, so every box
// of the program can be answered in tests.
//
// The boxes of the Conventions: "警告" (warning icon), "ｴﾗｰ" (error icon), "情報"
// (information icon) with "はい(&Y)" (and "いいえ(&N)" for questions: Yes is the default
// button taken by Enter, No the one taken by Esc); the plain box with no icon, the
// application's title and one "OK"; the input box with "OK" / "ｷｬﾝｾﾙ" and a length limit.
// Boxes are modal, over the active window, centred on the screen; lines of a text are
// separated by '\r'.

#include <QString>

#include <functional>
#include <optional>
#include <string>

#include "sys/messages.h"

class QDialog;
class QWidget;

namespace korv::gui {

inline constexpr const char* kYesText = "はい(&Y)";
inline constexpr const char* kNoText = "いいえ(&N)";
inline constexpr const char* kOkText = "OK";
inline constexpr const char* kCancelText = "ｷｬﾝｾﾙ";

// The title of a typed box; the plain box has the application's title instead.
QString boxTitle(BoxType type);

class QtMessages : public MessageService {
 public:
  explicit QtMessages(QString applicationTitle);

  void beep(unsigned soundType) override;
  void show(BoxType type, const std::string& text) override;
  bool confirm(const std::string& text) override;
  bool askYesNoError(const std::string& text) override;
  std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                   const std::string& initial, int maxLength) override;

  const QString& applicationTitle() const { return title_; }

  // For tests: called with each box once it is shown and its own event loop runs (a
  // QMessageBox or a QInputDialog). The observer may look at it and answer it (click a
  // button, fill the line, close it); a box it leaves open waits for a person.
  using Observer = std::function<void(QDialog& box)>;
  void setObserver(Observer observer) { observer_ = std::move(observer); }

  // Counts of beeps by sound type, for tests: [0] default, [1] exclamation.
  int beepsDefault() const { return beepsDefault_; }
  int beepsExclamation() const { return beepsExclamation_; }

 private:
  int run(QDialog& box);

  QString title_;
  Observer observer_;
  int beepsDefault_ = 0;
  int beepsExclamation_ = 0;
};

}  // namespace korv::gui
