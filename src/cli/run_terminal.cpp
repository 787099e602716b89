#include "cli/run_terminal.h"

#include <cstdio>

#include "sys/abort_signals.h"

namespace korv::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
constexpr auto kRateInterval = std::chrono::milliseconds(2500);

class TerminalProgress : public jobs::ProgressSink {
 public:
  TerminalProgress(ProgressLine& line, std::string caption)
      : line_(line), caption_(std::move(caption)) {
    state_.activate();
    lastTick_ = std::chrono::steady_clock::now();
  }
  ~TerminalProgress() override { line_.clear(); }

  void setallbyte(float total) override {
    state_.setallbyte(total);
    update(true);
  }
  void setallcount(int32_t count) override {
    state_.setallcount(count);
    update(true);
  }
  void setcopycount(int32_t count) override {
    state_.setcopycount(count);
    update(false);
  }
  void setcopybyte(float done) override {
    state_.setcopybyte(done);
    update(false);
  }
  void setfilename(const std::string&) override { update(false); }
  void setanimate(bool) override {}
  void stopclock() override { state_.stopclock(); }
  // Ctrl-C, SIGTERM and SIGHUP are the dialog's abort button (AbortOnSignals).
  bool isabort() override { return AbortOnSignals::requested(); }
  void clearabort() override { AbortOnSignals::clear(); }

 private:
  void update(bool force) {
    if (!line_.enabled()) return;
    const auto now = std::chrono::steady_clock::now();
    while (now - lastTick_ >= kRateInterval) {
      rate_ = state_.rateTick();
      lastTick_ += kRateInterval;
    }
    if (!force && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    line_.draw(state_, caption_, rate_, std::time(nullptr));
  }

  ProgressLine& line_;
  std::string caption_;
  jobs::ProgressState state_;
  double rate_ = 0;
  std::chrono::steady_clock::time_point lastTick_;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace

std::unique_ptr<jobs::ProgressSink> TerminalProgressFactory::create(const std::string& caption) {
  return std::make_unique<TerminalProgress>(line_, caption);
}

void StdoutLog::add(const std::string& line) {
  line_.clear();
  // Log lines name paths, some from the tape: control bytes are shown as spaces, so none
  // reaches the terminal as an escape sequence or splits the line.
  std::string shown = line;
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  std::fputs(shown.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace korv::cli
