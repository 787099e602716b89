#pragma once
// The terminal's one progress line: redrawn in place on standard error, and fitted to the
// terminal's width at every draw (so it follows a resize), so that it never wraps and
// leaves a broken line behind.

#include <ctime>
#include <functional>
#include <string>

#include "jobs/progress_math.h"

namespace korv::cli {

// Columns of the terminal on standard error; 80 when it cannot tell.
int terminalColumns();

// The progress line. Anything else printed to the terminal clears it first; the next
// update draws it again.
class ProgressLine {
 public:
  explicit ProgressLine(bool enabled, std::function<int()> columns = terminalColumns)
      : enabled_(enabled), columns_(std::move(columns)) {}
  bool enabled() const { return enabled_; }
  void draw(const jobs::ProgressState& state, const std::string& caption, double rate,
            std::time_t now);
  void clear();

 private:
  bool enabled_;
  std::function<int()> columns_;
  bool drawn_ = false;
};

// The line's text at most `cells` terminal cells wide: files and bytes done of the totals,
// the rate, elapsed time and the caption, the least needed left out first.
std::string progressText(const std::string& caption, const jobs::ProgressState& state, double rate,
                         std::time_t now, int cells = 1 << 16);

}  // namespace korv::cli
