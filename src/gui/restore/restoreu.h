#pragma once
// The restore dialog: the shared set browser, the destination folder (the folder tree
// fills the editable box Edit3, which the run reads when each file is about to be
// written), and "リストア実行", which runs the core's restore with this dialog as its
// faces. A restore that finished closed the set: the file list is emptied.

#include <memory>

#include "gui/restore/set_browser_dialog.h"

namespace Ui {
class Trestore;
}

namespace korv::gui {

class TFolderTreeViewEx;

// The text Edit3 takes for a folder chosen in the tree: the folder with one "/" at its
// end, or the current folder when the tree reports none.
QString destinationText(const QString& folder);

class Trestore : public SetBrowserDialog, public jobs::DestinationSource {
  Q_OBJECT

 public:
  explicit Trestore(AppContext& app, QWidget* parent = nullptr);
  ~Trestore() override;

  std::string destination() override;
  TFolderTreeViewEx& folderTree();

 public slots:
  // The folder tree's current folder became `folder` (empty: none reported yet).
  void fvChange(const QString& folder);

 protected:
  jobs::RunResult run(jobs::RunFaces& faces, jobs::Selection& selection) override;
  void runFinished() override;

 private:
  std::unique_ptr<Ui::Trestore> ui;
};

}  // namespace korv::gui
