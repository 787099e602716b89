#pragma once
// The selectable file list of the backup, restore and test dialogs: one line per entry
// of a list the dialog owns (a listing or a set's catalogue), with extended selection
// (click, Shift, Ctrl, Ctrl+A, Space). A model-based view: a line's text is asked for
// only when it is painted, so 100,000 files cost one list of entries, not 100,000 items.
// The selected state lives here alone; a run asks it line by line (jobs::Selection).
//
// Use: promote a QListView named as the form names its list ("ListBox") to
// korv::gui::EntryListView in Designer, then
//
//   ui->ListBox->setLines(count, [this](int line) { return pathOf(line); });
//   ui->ListBox->selectAll();             // a fresh listing starts all selected
//   ui->ListBox->toggleAllByFirstLine();  // the narrow button beside the list
//   const auto n = ui->ListBox->selectedLines();
//
// Lines are indexes into the dialog's list; the text function must stay valid until the
// next setLines() or clear().

#include <QAbstractListModel>
#include <QListView>

#include <functional>
#include <vector>

#include "jobs/run_interfaces.h"

namespace korv::gui {

class EntryListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using TextOf = std::function<QString(int line)>;
  explicit EntryListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  void setLines(int count, TextOf textOf);  // one reset, whatever the count
  void clear() { setLines(0, {}); }

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  int count_ = 0;
  TextOf textOf_;
};

class EntryListView : public QListView, public jobs::Selection {
  Q_OBJECT

 public:
  explicit EntryListView(QWidget* parent = nullptr);

  void setLines(int count, EntryListModel::TextOf textOf);
  void clear();

  int count() const { return model_->rowCount(); }
  bool isSelected(int line) const;
  void setSelected(int line, bool on);
  void selectAll() override;
  void deselectAll();
  // The narrow button: everything deselected when line 0 is selected, else everything
  // selected. Nothing happens to an empty list.
  void toggleAllByFirstLine();
  // One flag per line, from the selection's ranges (cheap for any count).
  std::vector<bool> selectedLines() const;

  // jobs::Selection: what the run asks when it reaches line `line`.
  bool selected(size_t line) override { return isSelected(static_cast<int>(line)); }

 private:
  EntryListModel* model_;
};

}  // namespace korv::gui
