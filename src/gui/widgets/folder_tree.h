#pragma once
// TFolderTreeViewEx, the folder picker of the backup and restore dialogs: a read-only
// tree over FolderTreeModel (the machine node expanded to `/`, the home folder and the
// mounted user volumes; folders only, hidden ones included; children listed on first
// expansion). It reports the chosen folder as a file-system path:
//
//   CurrentFolder()  the selected folder's path ("/" or "/home/a/x", no slash added); for
//                    the machine node, which has no path, the path reported before, or ""
//                    when none was reported yet
//   OnChange(path)   after the current node changes, whoever changes it
//   OnClick(path)    after a click on a node, or Enter / Space on the current one
//   OnDblClick(path) after a double-click
//
// The right-click menu offers what a Linux file chooser does: refresh the folder, open
// it in the file manager, make a new folder in it (the name is asked through the message
// service given by setMessages; without one that item is disabled).
//
// Of the Windows control's properties, ShowFile, FileMask and ShowIncludeHidden remain.
// The others name Windows shell notions with no Linux meaning and are left out: the root
// kinds (special folders such as Favorites or the Start menu, and the virtual Control
// Panel, Recycle Bin and Printers folders), the system or current drive preselection,
// the shell's own sort order and its double-click "run".

#include <QTreeView>

#include "gui/widgets/folder_tree_model.h"

namespace korv {
class MessageService;
}

class QMenu;

namespace korv::gui {

class TFolderTreeViewEx : public QTreeView {
  Q_OBJECT

 public:
  explicit TFolderTreeViewEx(QWidget* parent = nullptr);

  QString CurrentFolder();

  // Each change rebuilds the tree (the machine node expanded again).
  void setShowFile(bool on);
  void setFileMask(const QStringList& extensions);
  void setShowIncludeHidden(bool on);
  bool showFile() const { return folders_->showFile(); }
  const QStringList& fileMask() const { return folders_->fileMask(); }
  bool showIncludeHidden() const { return folders_->showIncludeHidden(); }

  void setMessages(MessageService* messages) { messages_ = messages; }

  FolderTreeModel* folders() const { return folders_; }
  // Makes the node of `path` current, expanding the folders above it; false when the
  // path is not in the tree. Raises OnChange as any change of the current node does.
  bool selectPath(const QString& path);

  // The context menu for the node at `index`, built but not shown: for tests.
  QMenu* contextMenuFor(const QModelIndex& index);

 signals:
  void OnChange(const QString& folderName);
  void OnClick(const QString& folderName);
  void OnDblClick(const QString& folderName);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void currentFolderChanged();
  void expandMachine();
  void newFolderIn(const QModelIndex& index);

  FolderTreeModel* folders_;
  MessageService* messages_ = nullptr;
  QString lastPath_;
};

}  // namespace korv::gui
