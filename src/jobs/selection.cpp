#include "jobs/selection.h"

namespace korv::jobs {

void ListSelection::selectAllOrNone() {
  if (flags_.empty()) return;
  const bool select = !flags_[0];
  flags_.assign(flags_.size(), select);
}

SelectionFigures countSelection(const FileList& filelist, Selection& selection) {
  SelectionFigures figures;
  for (size_t i = 0; i < filelist.size(); ++i) {
    if (!selection.selected(i)) continue;
    ++figures.count;
    figures.bytes += static_cast<float>(filelist[i].entrySize());
  }
  return figures;
}

SelectionFigures countSelection(const std::vector<sf_file2>& catalogue, Selection& selection) {
  SelectionFigures figures;
  for (size_t i = 0; i < catalogue.size(); ++i) {
    if (!selection.selected(i)) continue;
    ++figures.count;
    figures.bytes += static_cast<float>(catalogue[i].size);
  }
  return figures;
}

}  // namespace korv::jobs
