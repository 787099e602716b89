#include "cli/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "cli/text_format.h"

namespace korv::cli {
namespace {

constexpr int kDefaultColumns = 80;

// The text cut to `cells` cells, never inside a character.
std::string cutToCells(const std::string& utf8, int cells) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string character = utf8.substr(i, length);
    if (displayWidth(out + character) > cells) break;
    out += character;
    i += length;
  }
  return out;
}

}  // namespace

int terminalColumns() {
  struct winsize size {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultColumns;
}

std::string progressText(const std::string& caption, const jobs::ProgressState& state, double rate,
                         std::time_t now, int cells) {
  char files[64], bytes[96];
  std::snprintf(files, sizeof files, "%d/%d 個", state.copycount(), state.allcount());
  std::snprintf(bytes, sizeof bytes, "%.1f/%.1f MB",
                static_cast<double>(state.copybyte()) / 1048576,
                static_cast<double>(state.allbyte()) / 1048576);
  const std::string rateText = jobs::formatRate(rate) + " MByte/分";
  const std::string elapsed = jobs::formatElapsed(state.elapsed(now));

  // From the whole line down to the counts alone; the first that fits is shown.
  const std::vector<std::string> variants = {
      caption + " " + files + "  " + bytes + "  " + rateText + "  " + elapsed,
      std::string(files) + "  " + bytes + "  " + rateText + "  " + elapsed,
      std::string(files) + "  " + bytes + "  " + elapsed,
      std::string(files) + "  " + bytes,
  };
  for (const auto& text : variants)
    if (displayWidth(text) <= cells) return text;
  return cutToCells(variants.back(), cells);
}

void ProgressLine::draw(const jobs::ProgressState& state, const std::string& caption, double rate,
                        std::time_t now) {
  if (!enabled_) return;
  // One cell short of the width: a line that fills the last column makes some terminals
  // wrap at once, and the next redraw would start a row too low.
  const int cells = std::max(1, columns_() - 1);
  const std::string text = progressText(caption, state, rate, now, cells);
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

}  // namespace korv::cli
