// The folder tree: which nodes a folder gets and when, their order, what it reports, the
// user volumes it offers and the folder its menu makes.

#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

#include "gui/widgets/folder_tree.h"
#include "support/gui_fixture.h"
#include "support/test_files.h"

namespace korv::test {

namespace fs = std::filesystem;
using gui::TFolderTreeViewEx;

class FolderTreeTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<TFolderTreeViewEx> tree_;

  QString path(const fs::path& p = {}) const {
    return QString::fromStdString((p.empty() ? dir_->path() : dir_->path() / p).string());
  }
  // The names below `folder` as the tree shows them, listing it first.
  QStringList children(const QString& folder) {
    const QModelIndex at = tree_->folders()->indexOfPath(folder);
    if (tree_->folders()->canFetchMore(at)) tree_->folders()->fetchMore(at);
    QStringList names;
    for (int i = 0; i < tree_->folders()->rowCount(at); ++i)
      names << tree_->folders()->index(i, 0, at).data().toString();
    return names;
  }

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan)); }
  void init() {
    dir_ = std::make_unique<TempDir>();
    tree_ = std::make_unique<TFolderTreeViewEx>();
    tree_->show();
  }
  void cleanup() {
    tree_.reset();
    dir_.reset();
  }

  void aFolderHasAnExpandButtonOnlyWithSubfolders_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("expandable");
    QTest::newRow("a subfolder") << "with" << true;
    QTest::newRow("only a hidden subfolder") << "hidden" << true;
    QTest::newRow("only files") << "files" << false;
    QTest::newRow("empty") << "empty" << false;
  }
  void aFolderHasAnExpandButtonOnlyWithSubfolders() {
    QFETCH(QString, folder);
    QFETCH(bool, expandable);
    fs::create_directories(dir_->path() / "with" / "sub");
    fs::create_directories(dir_->path() / "hidden" / ".sub");
    writeFile(dir_->path() / "files" / "f", "x");
    fs::create_directories(dir_->path() / "empty");
    const QModelIndex at = tree_->folders()->indexOfPath(path(folder.toStdString()));
    QVERIFY(at.isValid());
    QCOMPARE(tree_->folders()->hasChildren(at), expandable);
  }

  void foldersAreSortedForPeopleHiddenOnesIncludedFilesLeftOut() {
    for (const char* name : {"b10", "b9", "B1", "a", ".dot"})
      fs::create_directories(dir_->path() / name);
    writeFile(dir_->path() / "file", "x");
    QCOMPARE(children(path()), (QStringList{".dot", "a", "B1", "b9", "b10"}));
    tree_->setShowIncludeHidden(false);
    QCOMPARE(children(path()), (QStringList{"a", "B1", "b9", "b10"}));
  }

  void aFileMaskShowsMatchingFilesAndEveryFolder() {
    fs::create_directories(dir_->path() / "sub");
    for (const char* name : {"a.txt", "b.TXT", "a.text", "noext"})
      writeFile(dir_->path() / name, "x");
    tree_->setShowFile(true);
    tree_->setFileMask({".TXT"});
    QCOMPARE(children(path()), (QStringList{"sub", "a.txt", "b.TXT"}));
  }

  void anUnreadableFolderHasNoChildren() {
    if (geteuid() == 0) QSKIP("root reads every folder");
    fs::create_directories(dir_->path() / "locked" / "sub");
    fs::permissions(dir_->path() / "locked", fs::perms::none);
    QVERIFY(children(path("locked")).isEmpty());
  }

  void theMachineNodeReportsTheLastFolderReported() {
    QSignalSpy changes(tree_.get(), &TFolderTreeViewEx::OnChange);
    tree_->setCurrentIndex(tree_->folders()->machineIndex());
    QCOMPARE(tree_->CurrentFolder(), QString());
    QVERIFY(tree_->selectPath(path()));
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.last().at(0).toString(), path());
    tree_->setCurrentIndex(tree_->folders()->machineIndex());
    QCOMPARE(tree_->CurrentFolder(), path());
    QVERIFY(tree_->selectPath(QStringLiteral("/")));
    QCOMPARE(tree_->CurrentFolder(), QString("/"));
  }

  void userVolumesAreTheMountsBelowMediaAndMnt() {
    writeFile(dir_->path() / "mounts",
              "/dev/sda1 / ext4 rw 0 0\n"
              "/dev/sdb1 /media/u/USB\\040STICK vfat rw 0 0\n"
              "/dev/sdc1 /run/media/u/DISK ext4 rw 0 0\n"
              "/dev/sdd1 /mnt/backup ext4 rw 0 0\n"
              "/dev/sde1 /home ext4 rw 0 0\n");
    QCOMPARE(gui::userVolumes(path("mounts")),
             (QStringList{"/media/u/USB STICK", "/run/media/u/DISK", "/mnt/backup"}));
  }

  void theMenuMakesANewFolderAndSelectsIt() {
    ScriptedMessages messages;
    messages.inputAnswers.push_back(std::string("新規"));
    tree_->setMessages(&messages);
    QVERIFY(tree_->selectPath(path()));
    QMenu* menu = tree_->contextMenuFor(tree_->currentIndex());
    menu->findChild<QAction*>("newFolder")->trigger();
    QVERIFY(fs::is_directory(dir_->path() / "新規"));
    QCOMPARE(tree_->CurrentFolder(), path("新規"));
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::FolderTreeTest)
#include "folder_tree_test.moc"
