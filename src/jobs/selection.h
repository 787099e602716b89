#pragma once
// The file lists' selection as the dialogs keep it, the select-all-or-none rule of the
// narrow button, and the figures the dialogs show for a selection.

#include <vector>

#include "jobs/dirsearch.h"
#include "jobs/progress_math.h"
#include "jobs/run_interfaces.h"
#include "tape/sf_file2.h"

namespace korv::jobs {

// A selection held as one flag per line; every line starts selected, as a fresh listing.
class ListSelection : public Selection {
 public:
  explicit ListSelection(size_t lines = 0, bool all = true) : flags_(lines, all) {}
  bool selected(size_t line) override { return line < flags_.size() && flags_[line]; }
  void set(size_t line, bool on) {
    if (line < flags_.size()) flags_[line] = on;
  }
  void resize(size_t lines, bool on = true) { flags_.assign(lines, on); }
  size_t size() const { return flags_.size(); }
  // The narrow button: the first line alone decides. Selected -> none; otherwise all.
  void selectAllOrNone();

 private:
  std::vector<bool> flags_;
};

// Count and single-precision byte sum of the selected lines.
SelectionFigures countSelection(const FileList& filelist, Selection& selection);
SelectionFigures countSelection(const std::vector<sf_file2>& catalogue, Selection& selection);

}  // namespace korv::jobs
