#pragma once
// The terminal's side of a run: the progress line on standard error (only when it is a
// terminal), the log on standard output, the abort request raised by signals, and the message
// boxes passed on to the session's service with the progress line cleared first.

#include <chrono>
#include <memory>
#include <string>

#include "cli/progress_line.h"
#include "jobs/run_interfaces.h"
#include "sys/messages.h"

namespace korv::cli {

class TerminalProgressFactory : public jobs::ProgressFactory {
 public:
  explicit TerminalProgressFactory(ProgressLine& line) : line_(line) {}
  std::unique_ptr<jobs::ProgressSink> create(const std::string& caption) override;

 private:
  ProgressLine& line_;
};

// Log lines to standard output, one per line.
class StdoutLog : public jobs::RunLog {
 public:
  explicit StdoutLog(ProgressLine& line) : line_(line) {}
  void clear() override {}
  void add(const std::string& line) override;

 private:
  ProgressLine& line_;
};

// The session's message service with the progress line cleared before every box.
class LineClearingMessages : public MessageService {
 public:
  LineClearingMessages(MessageService& inner, ProgressLine& line) : inner_(inner), line_(line) {}
  void beep(unsigned soundType) override { inner_.beep(soundType); }
  void show(BoxType type, const std::string& text) override {
    line_.clear();
    inner_.show(type, text);
  }
  bool confirm(const std::string& text) override {
    line_.clear();
    return inner_.confirm(text);
  }
  bool askYesNoError(const std::string& text) override {
    line_.clear();
    return inner_.askYesNoError(text);
  }
  std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                   const std::string& initial, int maxLength) override {
    line_.clear();
    return inner_.input(caption, prompt, initial, maxLength);
  }

 private:
  MessageService& inner_;
  ProgressLine& line_;
};

}  // namespace korv::cli
