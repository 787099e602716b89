#pragma once
// The folders of the machine as a lazily filled tree model: one top node for the machine
// ("コンピュータ", no file-system path) whose children are the root folder `/`, the home
// folder and the mounted user volumes (below /media, /run/media and /mnt). A folder's
// children are listed on its first expansion (canFetchMore/fetchMore); until then it has
// an expand button only when it holds a subfolder. Hidden folders are included unless
// asked otherwise; names are sorted for people (the locale's collation, numbers by
// value, case ignored). A folder that cannot be read has no children and says nothing.

#include <QAbstractItemModel>
#include <QCollator>
#include <QStringList>

#include <memory>
#include <vector>

namespace korv::gui {

class FolderTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  static constexpr const char* kMachineName = "コンピュータ";

  explicit FolderTreeModel(QObject* parent = nullptr);
  ~FolderTreeModel() override;

  // The file-system path of a node ("" for the machine node).
  QString pathOf(const QModelIndex& index) const;
  bool isFolder(const QModelIndex& index) const;
  QModelIndex machineIndex() const { return index(0, 0); }
  // The node of `path` (an absolute folder path), listing the folders on the way; an
  // invalid index when it is not below one of the machine's folders or does not exist.
  QModelIndex indexOfPath(const QString& path);

  // Lists the node's children again (after a change on disk).
  void refresh(const QModelIndex& index);

  // What is shown; each change rebuilds the tree.
  void setShowFile(bool on);
  void setFileMask(const QStringList& extensions);  // with the dot, compared ignoring case
  void setShowIncludeHidden(bool on);
  bool showFile() const { return showFile_; }
  const QStringList& fileMask() const { return fileMask_; }
  bool showIncludeHidden() const { return showIncludeHidden_; }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 private:
  struct Node;
  Node* nodeOf(const QModelIndex& index) const;
  QModelIndex indexOfNode(Node* node) const;
  void rebuild();
  std::vector<std::unique_ptr<Node>> listFolder(Node* parent) const;
  bool hasShownChildren(const QString& path) const;
  bool fileShown(const QString& name) const;

  std::unique_ptr<Node> root_;  // invisible; its one child is the machine node
  bool showFile_ = false;
  bool showIncludeHidden_ = true;
  QStringList fileMask_;
  QCollator collator_;
};

// The mount points below /media, /run/media and /mnt in a mounts table (/proc/self/mounts).
QStringList userVolumes(const QString& mountsFile = QStringLiteral("/proc/self/mounts"));

}  // namespace korv::gui
