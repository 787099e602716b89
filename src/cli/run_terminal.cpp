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
    line_.draw(progressText(caption_, state_, rate_, std::time(nullptr)));
  }

  ProgressLine& line_;
  std::string caption_;
  jobs::ProgressState state_;
  double rate_ = 0;
  std::chrono::steady_clock::time_point lastTick_;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace

void ProgressLine::draw(const std::string& text) {
  if (!enabled_) return;
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

std::string progressText(const std::string& caption, const jobs::ProgressState& state, double rate,
                         std::time_t now) {
  char text[256];
  std::snprintf(text, sizeof text, "%s %d/%d 個  %.1f/%.1f MB  %s MByte/分  %s", caption.c_str(),
                state.copycount(), state.allcount(),
                static_cast<double>(state.copybyte()) / 1048576,
                static_cast<double>(state.allbyte()) / 1048576, jobs::formatRate(rate).c_str(),
                jobs::formatElapsed(state.elapsed(now)).c_str());
  return text;
}

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
