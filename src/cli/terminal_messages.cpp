#include "cli/terminal_messages.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace korv::cli {

namespace {

std::string lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

const char* titleOf(BoxType type) {
  switch (type) {
    case BoxType::Warning:
      return "警告";
    case BoxType::Error:
      return "ｴﾗｰ";
    case BoxType::Information:
      return "情報";
    case BoxType::Plain:
      break;
  }
  return nullptr;
}

}  // namespace

TerminalMessages::TerminalMessages(Settings settings, std::ostream& out, std::istream& in)
    : settings_(std::move(settings)), out_(out), in_(in) {}

void TerminalMessages::box(const char* title, const std::string& text) {
  std::string lines = title;
  lines += ": ";
  for (char c : text) lines += c == '\r' ? '\n' : c;
  lines += '\n';
  out_ << lines << std::flush;
}

void TerminalMessages::show(BoxType type, const std::string& text) {
  const char* title = titleOf(type);
  if (title == nullptr) {
    box(settings_.title.c_str(), text);
    return;
  }
  if (type != BoxType::Information) warned_ = true;
  box(title, text);
}

bool TerminalMessages::askYesNo() {
  out_ << "[y/N] " << std::flush;
  std::string answer;
  if (!std::getline(in_, answer)) {
    out_ << '\n' << std::flush;
    return false;
  }
  answer = lowerAscii(answer);
  answer.erase(std::remove(answer.begin(), answer.end(), ' '), answer.end());
  return answer == "y" || answer == "yes" || answer == "はい";
}

bool TerminalMessages::confirm(const std::string& text) {
  if (settings_.yes) return true;
  box("警告", text);
  if (settings_.interactive) return askYesNo();
  note("nothing done: no terminal to confirm on (use --yes)");
  return false;
}

bool TerminalMessages::confirmIfAttended(const std::string& text) {
  if (settings_.yes || !settings_.interactive) return true;
  box("警告", text);
  return askYesNo();
}

bool TerminalMessages::askYesNoError(const std::string& text) {
  if (notReadyCause_) {
    const std::string cause = notReadyCause_();
    if (!cause.empty()) {
      show(BoxType::Error, cause);
      return false;
    }
  }
  if (settings_.wait) {
    // Waiting for a cartridge: say so once, then try again every pause.
    if (!waitNoticeShown_) {
      box("ｴﾗｰ", text);
      note("waiting for the medium (--wait)");
      waitNoticeShown_ = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(settings_.retryPauseMs));
    return true;
  }
  box("ｴﾗｰ", text);
  if (settings_.interactive) return askYesNo();
  note("not retried without a terminal (use --wait to wait for the medium)");
  return false;
}

std::optional<std::string> TerminalMessages::input(const std::string& caption,
                                                   const std::string& prompt,
                                                   const std::string& initial, int maxLength) {
  if (!settings_.interactive) return initial;
  out_ << caption << ": " << prompt << " [" << initial << "] " << std::flush;
  std::string answer;
  if (!std::getline(in_, answer)) {
    out_ << '\n' << std::flush;
    return std::nullopt;
  }
  if (answer.empty()) return initial;
  // The box takes at most maxLength characters; count UTF-8 lead bytes.
  int characters = 0;
  for (size_t i = 0; i < answer.size(); ++i) {
    if ((static_cast<unsigned char>(answer[i]) & 0xC0) == 0x80) continue;
    if (++characters > maxLength) {
      answer.resize(i);
      break;
    }
  }
  return answer;
}

void TerminalMessages::note(const std::string& text) {
  out_ << lowerAscii(settings_.title) << ": " << text << '\n' << std::flush;
}

}  // namespace korv::cli
