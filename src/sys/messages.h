#pragma once
// The message boxes, the input box and the sounds, as one replaceable service: the
// desktop program shows dialogs, the terminal program writes to stderr and asks on the
// terminal, tests answer from a script. All texts are UTF-8; lines of one message are
// separated by a single carriage return ('\r'), as the boxes have them.

#include <optional>
#include <string>

namespace korv {

enum class BoxType {
  Plain,        // titled with the application's title, single button "OK"
  Warning,      // "警告", single button "はい(&Y)"
  Error,        // "ｴﾗｰ", single button "はい(&Y)"
  Information,  // "情報", single button "はい(&Y)"
};

inline constexpr unsigned kBeepDefault = 0x00;
inline constexpr unsigned kBeepExclamation = 0x30;

// The title of the plain box: the executable's file name up to its first full stop,
// lower case but for the first character, which is upper case ("korvessian" gives
// "Korvessian", "korvessian-cli" gives "Korvessian-cli").
std::string applicationTitle(const std::string& executablePath);

class MessageService {
 public:
  virtual ~MessageService() = default;
  virtual void beep(unsigned soundType) = 0;
  virtual void show(BoxType type, const std::string& text) = 0;
  // Warning box "警告" with "はい(&Y)" / "いいえ(&N)"; true only for Yes.
  virtual bool confirm(const std::string& text) = 0;
  // Error box "ｴﾗｰ" with "はい(&Y)" / "いいえ(&N)"; true only for Yes.
  virtual bool askYesNoError(const std::string& text) = 0;
  // Input box with "OK" / "ｷｬﾝｾﾙ"; nullopt when cancelled. maxLength in characters.
  virtual std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                           const std::string& initial, int maxLength) = 0;
};

}  // namespace korv
