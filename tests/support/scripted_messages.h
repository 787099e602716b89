#pragma once
// A MessageService for tests: records every box and beep, answers questions from queues
// (defaults when a queue is empty: confirm yes, retry no, input box returns the initial
// text).

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sys/messages.h"

namespace korv::test {

struct ShownBox {
  BoxType type;
  std::string text;
};

class ScriptedMessages : public MessageService {
 public:
  void beep(unsigned soundType) override { beeps.push_back(soundType); }
  void show(BoxType type, const std::string& text) override { boxes.push_back({type, text}); }
  bool confirm(const std::string& text) override;
  bool askYesNoError(const std::string& text) override;
  std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                   const std::string& initial, int maxLength) override;

  // Scripted answers.
  std::deque<bool> confirmAnswers;
  std::deque<bool> retryAnswers;
  std::deque<std::optional<std::string>> inputAnswers;

  // What was asked and shown.
  std::vector<unsigned> beeps;
  std::vector<ShownBox> boxes;
  std::vector<std::string> confirmations;
  std::vector<std::string> retryQuestions;
  std::vector<std::string> inputCaptions;
  std::vector<std::string> inputInitials;

  // The texts of the boxes shown, in order.
  std::vector<std::string> texts() const;
};

}  // namespace korv::test
