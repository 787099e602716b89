#pragma once
// The terminal's message boxes: every box goes to standard error as "TITLE: TEXT" with
// each line of the text on its own line. Questions are answered by --yes, by a person
// at the terminal, or, with nobody there, refused; the not-ready question retries only
// with --wait or when a person says so.

#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "sys/messages.h"

namespace korv::cli {

class TerminalMessages : public MessageService {
 public:
  struct Settings {
    bool yes = false;          // --yes
    bool wait = false;         // --wait
    bool interactive = false;  // a person can answer on standard input
    std::string title;         // for plain boxes
    int retryPauseMs = 1000;   // between two tries under --wait
  };

  TerminalMessages(Settings settings, std::ostream& out, std::istream& in);

  void beep(unsigned) override {}
  void show(BoxType type, const std::string& text) override;
  bool confirm(const std::string& text) override;
  bool askYesNoError(const std::string& text) override;
  std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                   const std::string& initial, int maxLength) override;

  // A confirmation before something that loses nothing (rewind, retension): asked only
  // when a person is there; a script goes ahead.
  bool confirmIfAttended(const std::string& text);

  // A line of the terminal program's own, prefixed with its name.
  void note(const std::string& text);

  bool warned() const { return warned_; }  // a warning or error box was shown

  // Tells why the medium is not ready when waiting cannot help (an empty text when it
  // may): that text is shown instead of the not-ready question, and nothing is retried.
  void setNotReadyCause(std::function<std::string()> cause) { notReadyCause_ = std::move(cause); }

 private:
  void box(const char* title, const std::string& text);
  bool askYesNo();

  Settings settings_;
  std::ostream& out_;
  std::istream& in_;
  bool warned_ = false;
  bool waitNoticeShown_ = false;
  std::function<std::string()> notReadyCause_;
};

}  // namespace korv::cli
