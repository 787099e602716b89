#include "gui/widgets/entry_list.h"

#include <QItemSelectionModel>

namespace korv::gui {

void EntryListModel::setLines(int count, TextOf textOf) {
  beginResetModel();
  count_ = count;
  textOf_ = std::move(textOf);
  endResetModel();
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : count_;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= count_ || !textOf_) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
    return textOf_(index.row());
  return {};
}

EntryListView::EntryListView(QWidget* parent)
    : QListView(parent), model_(new EntryListModel(this)) {
  setModel(model_);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Every line has the same height: the view then never measures 100,000 lines.
  setUniformItemSizes(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void EntryListView::setLines(int count, EntryListModel::TextOf textOf) {
  model_->setLines(count, std::move(textOf));
}

void EntryListView::clear() {
  model_->clear();
}

bool EntryListView::isSelected(int line) const {
  if (line < 0 || line >= count()) return false;
  return selectionModel()->isSelected(model_->index(line));
}

void EntryListView::setSelected(int line, bool on) {
  if (line < 0 || line >= count()) return;
  selectionModel()->select(model_->index(line),
                           on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void EntryListView::selectAll() {
  if (count() == 0) return;
  // One range for the whole list, whatever its length.
  selectionModel()->select(QItemSelection(model_->index(0), model_->index(count() - 1)),
                           QItemSelectionModel::ClearAndSelect);
}

void EntryListView::deselectAll() {
  selectionModel()->clearSelection();
}

void EntryListView::toggleAllByFirstLine() {
  if (count() == 0) return;
  isSelected(0) ? deselectAll() : selectAll();
}

std::vector<bool> EntryListView::selectedLines() const {
  std::vector<bool> lines(static_cast<size_t>(count()), false);
  for (const QItemSelectionRange& range : selectionModel()->selection())
    for (int line = range.top(); line <= range.bottom(); ++line)
      if (line >= 0 && line < count()) lines[static_cast<size_t>(line)] = true;
  return lines;
}

}  // namespace korv::gui
