#include "gui/widgets/folder_tree_model.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStyle>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace korv::gui {

struct FolderTreeModel::Node {
  QString name;
  QString path;  // empty for the machine node and the invisible root
  Node* parent = nullptr;
  int row = 0;
  bool folder = true;
  bool fetched = false;
  bool expandable = false;
  std::vector<std::unique_ptr<Node>> children;
};

namespace {

enum class Kind { Other, Folder, File };

// What a directory entry is, following a symbolic link as a file chooser does (a link
// loop just never ends in a folder the user cannot expand: children are listed lazily).
Kind kindOf(const QByteArray& folder, const dirent& entry) {
  if (entry.d_type == DT_DIR) return Kind::Folder;
  if (entry.d_type == DT_REG) return Kind::File;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return Kind::Other;
  struct stat st {};
  if (::stat((folder + '/' + entry.d_name).constData(), &st) != 0) return Kind::Other;
  if (S_ISDIR(st.st_mode)) return Kind::Folder;
  if (S_ISREG(st.st_mode)) return Kind::File;
  return Kind::Other;
}

bool isDots(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

QString joined(const QString& folder, const QString& name) {
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// Octal escapes of the mounts table (a blank is \040).
QString unescapeMount(const QByteArray& field) {
  QByteArray out;
  for (int i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      bool ok = false;
      const int code = field.mid(i + 1, 3).toInt(&ok, 8);
      if (ok) {
        out += static_cast<char>(code);
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return QFile::decodeName(out);
}

}  // namespace

QStringList userVolumes(const QString& mountsFile) {
  QFile file(mountsFile);
  QStringList volumes;
  if (!file.open(QIODevice::ReadOnly)) return volumes;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() < 2) continue;
    const QString point = unescapeMount(fields[1]);
    for (const char* base : {"/media/", "/run/media/", "/mnt/"}) {
      if (point.startsWith(QLatin1String(base)) && !volumes.contains(point)) volumes << point;
    }
  }
  return volumes;
}

FolderTreeModel::FolderTreeModel(QObject* parent)
    : QAbstractItemModel(parent), collator_(QLocale()) {
  collator_.setNumericMode(true);
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  rebuild();
}

FolderTreeModel::~FolderTreeModel() = default;

void FolderTreeModel::rebuild() {
  beginResetModel();
  root_ = std::make_unique<Node>();
  root_->fetched = true;
  auto machine = std::make_unique<Node>();
  machine->name = QString::fromUtf8(kMachineName);
  machine->parent = root_.get();
  machine->fetched = true;
  machine->expandable = true;
  QStringList tops{QStringLiteral("/")};
  const QString home = QDir::homePath();
  if (home != QLatin1String("/")) tops << home;
  for (const QString& volume : userVolumes())
    if (!tops.contains(volume)) tops << volume;
  for (const QString& path : tops) {
    if (!QFileInfo(path).isDir()) continue;
    auto node = std::make_unique<Node>();
    node->name = path;
    node->path = path;
    node->parent = machine.get();
    node->row = static_cast<int>(machine->children.size());
    node->expandable = hasShownChildren(path);
    machine->children.push_back(std::move(node));
  }
  root_->children.push_back(std::move(machine));
  endResetModel();
}

bool FolderTreeModel::fileShown(const QString& name) const {
  if (!showFile_) return false;
  if (fileMask_.isEmpty()) return true;
  const int dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return false;
  const QString extension = name.mid(dot);
  return std::any_of(fileMask_.begin(), fileMask_.end(), [&](const QString& mask) {
    return mask.compare(extension, Qt::CaseInsensitive) == 0;
  });
}

bool FolderTreeModel::hasShownChildren(const QString& path) const {
  const QByteArray folder = QFile::encodeName(path);
  DIR* dir = ::opendir(folder.constData());
  if (dir == nullptr) return false;
  bool found = false;
  while (!found) {
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    if (isDots(entry->d_name)) continue;
    if (entry->d_name[0] == '.' && !showIncludeHidden_) continue;
    const Kind kind = kindOf(folder, *entry);
    found =
        kind == Kind::Folder || (kind == Kind::File && fileShown(QFile::decodeName(entry->d_name)));
  }
  ::closedir(dir);
  return found;
}

std::vector<std::unique_ptr<FolderTreeModel::Node>> FolderTreeModel::listFolder(
    Node* parent) const {
  std::vector<std::unique_ptr<Node>> nodes;
  const QByteArray folder = QFile::encodeName(parent->path);
  DIR* dir = ::opendir(folder.constData());
  if (dir == nullptr) return nodes;  // unreadable: no children, no message
  while (const dirent* entry = ::readdir(dir)) {
    if (isDots(entry->d_name)) continue;
    if (entry->d_name[0] == '.' && !showIncludeHidden_) continue;
    const QString name = QFile::decodeName(entry->d_name);
    const Kind kind = kindOf(folder, *entry);
    if (kind != Kind::Folder && !(kind == Kind::File && fileShown(name))) continue;
    auto node = std::make_unique<Node>();
    node->name = name;
    node->path = joined(parent->path, name);
    node->parent = parent;
    node->folder = kind == Kind::Folder;
    node->fetched = !node->folder;
    node->expandable = node->folder && hasShownChildren(node->path);
    nodes.push_back(std::move(node));
  }
  ::closedir(dir);
  std::sort(nodes.begin(), nodes.end(), [this](const auto& a, const auto& b) {
    if (a->folder != b->folder) return a->folder;
    return collator_.compare(a->name, b->name) < 0;
  });
  for (size_t i = 0; i < nodes.size(); ++i) nodes[i]->row = static_cast<int>(i);
  return nodes;
}

FolderTreeModel::Node* FolderTreeModel::nodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<Node*>(index.internalPointer()) : root_.get();
}

QModelIndex FolderTreeModel::indexOfNode(Node* node) const {
  if (node == nullptr || node == root_.get()) return {};
  return createIndex(node->row, 0, node);
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
  const Node* node = nodeOf(parent);
  if (column != 0 || row < 0 || row >= static_cast<int>(node->children.size())) return {};
  return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  return indexOfNode(nodeOf(child)->parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  return static_cast<int>(nodeOf(parent)->children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
  return 1;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
  const Node* node = nodeOf(index);
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      return node->name;
    case Qt::ToolTipRole:
      return node->path;
    case Qt::DecorationRole: {
      QStyle* style = QApplication::style();
      if (node->path.isEmpty()) return style->standardIcon(QStyle::SP_ComputerIcon);
      if (node->parent->path.isEmpty()) return style->standardIcon(QStyle::SP_DriveHDIcon);
      return style->standardIcon(node->folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    }
    default:
      return {};
  }
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
  const Node* node = nodeOf(parent);
  return node->fetched ? !node->children.empty() : node->expandable;
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const {
  const Node* node = nodeOf(parent);
  return !node->fetched && node->expandable;
}

void FolderTreeModel::fetchMore(const QModelIndex& parent) {
  Node* node = nodeOf(parent);
  if (node->fetched) return;
  node->fetched = true;
  auto children = listFolder(node);
  if (children.empty()) {
    node->expandable = false;
    emit dataChanged(parent, parent);  // the expand button goes
    return;
  }
  beginInsertRows(parent, 0, static_cast<int>(children.size()) - 1);
  node->children = std::move(children);
  endInsertRows();
}

void FolderTreeModel::refresh(const QModelIndex& index) {
  Node* node = nodeOf(index);
  if (!index.isValid() || node->path.isEmpty()) return;
  if (!node->children.empty()) {
    beginRemoveRows(index, 0, static_cast<int>(node->children.size()) - 1);
    node->children.clear();
    endRemoveRows();
  }
  node->fetched = !node->folder;
  node->expandable = node->folder && hasShownChildren(node->path);
  emit dataChanged(index, index);
  if (canFetchMore(index)) fetchMore(index);
}

QString FolderTreeModel::pathOf(const QModelIndex& index) const {
  return index.isValid() ? nodeOf(index)->path : QString();
}

bool FolderTreeModel::isFolder(const QModelIndex& index) const {
  return index.isValid() && nodeOf(index)->folder;
}

QModelIndex FolderTreeModel::indexOfPath(const QString& path) {
  const QString clean = QDir::cleanPath(path);
  // The machine's folder that holds the path most closely.
  Node* best = nullptr;
  for (const auto& top : root_->children.front()->children) {
    const QString& base = top->path;
    const bool below =
        clean == base || base == QLatin1String("/") || clean.startsWith(base + QLatin1Char('/'));
    if (below && (best == nullptr || base.size() > best->path.size())) best = top.get();
  }
  if (best == nullptr) return {};
  Node* node = best;
  const QString rest = clean.mid(best->path.size());
  for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    const QModelIndex at = indexOfNode(node);
    if (canFetchMore(at)) fetchMore(at);
    auto found = std::find_if(node->children.begin(), node->children.end(),
                              [&](const auto& child) { return child->name == part; });
    if (found == node->children.end()) return {};
    node = found->get();
  }
  return indexOfNode(node);
}

void FolderTreeModel::setShowFile(bool on) {
  if (on == showFile_) return;
  showFile_ = on;
  rebuild();
}

void FolderTreeModel::setFileMask(const QStringList& extensions) {
  if (extensions == fileMask_) return;
  fileMask_ = extensions;
  rebuild();
}

void FolderTreeModel::setShowIncludeHidden(bool on) {
  if (on == showIncludeHidden_) return;
  showIncludeHidden_ = on;
  rebuild();
}

}  // namespace korv::gui
