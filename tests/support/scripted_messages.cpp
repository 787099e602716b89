#include "support/scripted_messages.h"

namespace korv::test {

bool ScriptedMessages::confirm(const std::string& text) {
  confirmations.push_back(text);
  if (confirmAnswers.empty()) return true;
  const bool answer = confirmAnswers.front();
  confirmAnswers.pop_front();
  return answer;
}

bool ScriptedMessages::askYesNoError(const std::string& text) {
  retryQuestions.push_back(text);
  if (retryAnswers.empty()) return false;
  const bool answer = retryAnswers.front();
  retryAnswers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedMessages::input(const std::string& caption, const std::string&,
                                                   const std::string& initial, int) {
  inputCaptions.push_back(caption);
  inputInitials.push_back(initial);
  if (inputAnswers.empty()) return initial;
  auto answer = inputAnswers.front();
  inputAnswers.pop_front();
  return answer;
}

std::vector<std::string> ScriptedMessages::texts() const {
  std::vector<std::string> result;
  for (const auto& box : boxes) result.push_back(box.text);
  return result;
}

}  // namespace korv::test
