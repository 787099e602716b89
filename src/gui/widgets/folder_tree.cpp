#include "gui/widgets/folder_tree.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "sys/messages.h"

namespace korv::gui {

namespace {

constexpr int kMaxFolderName = 255;  // NAME_MAX of Linux file systems

}  // namespace

TFolderTreeViewEx::TFolderTreeViewEx(QWidget* parent)
    : QTreeView(parent), folders_(new FolderTreeModel(this)) {
  setModel(folders_);
  setHeaderHidden(true);
  setIndentation(14);  // deep folders stay readable in the narrow tree
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  expandMachine();

  connect(this, &QTreeView::clicked, this, [this] { emit OnClick(CurrentFolder()); });
  connect(this, &QTreeView::doubleClicked, this, [this] { emit OnDblClick(CurrentFolder()); });
}

void TFolderTreeViewEx::expandMachine() {
  // The model was rebuilt: its selection model follows, so connect it again.
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TFolderTreeViewEx::currentFolderChanged, Qt::UniqueConnection);
  expand(folders_->machineIndex());
}

void TFolderTreeViewEx::setShowFile(bool on) {
  folders_->setShowFile(on);
  expandMachine();
}

void TFolderTreeViewEx::setFileMask(const QStringList& extensions) {
  folders_->setFileMask(extensions);
  expandMachine();
}

void TFolderTreeViewEx::setShowIncludeHidden(bool on) {
  folders_->setShowIncludeHidden(on);
  expandMachine();
}

void TFolderTreeViewEx::currentFolderChanged() {
  emit OnChange(CurrentFolder());
}

QString TFolderTreeViewEx::CurrentFolder() {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return lastPath_;
  const QString path = folders_->pathOf(current);
  if (path.isEmpty()) return lastPath_;
  lastPath_ = path;
  return path;
}

bool TFolderTreeViewEx::selectPath(const QString& path) {
  const QModelIndex at = folders_->indexOfPath(path);
  if (!at.isValid()) return false;
  for (QModelIndex up = at.parent(); up.isValid(); up = up.parent()) expand(up);
  setCurrentIndex(at);
  scrollTo(at);
  return true;
}

void TFolderTreeViewEx::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
      currentIndex().isValid()) {
    emit OnClick(CurrentFolder());
    return;
  }
  QTreeView::keyPressEvent(event);
}

QMenu* TFolderTreeViewEx::contextMenuFor(const QModelIndex& index) {
  auto* menu = new QMenu(this);
  const QString path = folders_->pathOf(index);
  const bool folder = !path.isEmpty() && folders_->isFolder(index);
  QAction* refresh = menu->addAction(QStringLiteral("最新の情報に更新(&R)"));
  refresh->setObjectName(QStringLiteral("refresh"));
  refresh->setEnabled(folder);
  connect(refresh, &QAction::triggered, this, [this, index] { folders_->refresh(index); });
  QAction* open = menu->addAction(QStringLiteral("ファイルマネージャで開く(&O)"));
  open->setObjectName(QStringLiteral("open"));
  open->setEnabled(folder);
  connect(open, &QAction::triggered, this,
          [path] { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
  menu->addSeparator();
  QAction* create = menu->addAction(QStringLiteral("新しいフォルダ(&N)..."));
  create->setObjectName(QStringLiteral("newFolder"));
  create->setEnabled(folder && messages_ != nullptr);
  connect(create, &QAction::triggered, this, [this, index] { newFolderIn(index); });
  return menu;
}

void TFolderTreeViewEx::contextMenuEvent(QContextMenuEvent* event) {
  const QModelIndex at = indexAt(event->pos());
  if (!at.isValid()) return;
  setCurrentIndex(at);
  QMenu* menu = contextMenuFor(at);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void TFolderTreeViewEx::newFolderIn(const QModelIndex& index) {
  if (messages_ == nullptr) return;
  const QPersistentModelIndex keep(index);
  const auto name =
      messages_->input("新しいフォルダ", "フォルダ名", "新しいフォルダ", kMaxFolderName);
  if (!name || name->empty() || !keep.isValid()) return;
  if (name->find('/') != std::string::npos || *name == "." || *name == "..") {
    messages_->show(BoxType::Error, *name + " はフォルダ名に使えません");
    return;
  }
  const QString path = QDir(folders_->pathOf(keep)).filePath(QString::fromStdString(*name));
  if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
    messages_->show(BoxType::Error,
                    path.toStdString() + " を作成できません\r" + std::strerror(errno));
    return;
  }
  folders_->refresh(keep);
  expand(keep);
  selectPath(path);
}

}  // namespace korv::gui
