#include "support/scripted_messages.h"

namespace korv::test {
namespace {

// The next scripted answer, or `fallback` once the script has run out.
template <class T>
T nextAnswer(std::deque<T>& answers, T fallback) {
  if (answers.empty()) return fallback;
  T answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

}  // namespace

bool ScriptedMessages::confirm(const std::string& text) {
  confirmations.push_back(text);
  return nextAnswer(confirmAnswers, true);
}

bool ScriptedMessages::askYesNoError(const std::string& text) {
  retryQuestions.push_back(text);
  return nextAnswer(retryAnswers, false);
}

std::optional<std::string> ScriptedMessages::input(const std::string& caption, const std::string&,
                                                   const std::string& initial, int) {
  inputCaptions.push_back(caption);
  inputInitials.push_back(initial);
  return nextAnswer(inputAnswers, std::optional<std::string>(initial));
}

std::vector<std::string> ScriptedMessages::texts() const {
  std::vector<std::string> result;
  for (const auto& box : boxes) result.push_back(box.text);
  return result;
}

}  // namespace korv::test
