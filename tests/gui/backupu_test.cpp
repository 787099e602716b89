// The backup dialog: picking the folder, listing it, the selection and its figures, and
// backups started from it that the terminal program then lists.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

#include "gui/backup/backupu.h"
#include "gui/backup/copydlgu.h"
#include "gui/widgets/entry_list.h"
#include "gui/widgets/folder_tree.h"
#include "scsi/tape_commands.h"
#include "support/gui_fixture.h"
#include "support/test_files.h"
#include "sys/cp932.h"
#include "sys/datetime.h"

namespace korv::test {

namespace fs = std::filesystem;
using gui::Tbackup;

namespace {

// 2024-05-06 07:08:10 in the tests' time zone: an even second, as the catalogue keeps it.
void setTime(const fs::path& path) {
  std::tm local{};
  local.tm_year = 124;
  local.tm_mon = 4;
  local.tm_mday = 6;
  local.tm_hour = 7;
  local.tm_min = 8;
  local.tm_sec = 10;
  local.tm_isdst = -1;
  const timespec t{std::mktime(&local), 0};
  const timespec times[2] = {t, t};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace

class BackupTest : public QObject {
  Q_OBJECT

  std::unique_ptr<GuiWorkspace> workspace_;
  std::unique_ptr<GuiProgram> program_;
  std::unique_ptr<Tbackup> dlg_;
  std::unique_ptr<TempDir> source_;

  fs::path src() const { return source_->path(); }
  QString text(const char* name) const { return dlg_->edit(name)->text(); }

  void clickNode(const QModelIndex& index) {
    gui::TFolderTreeViewEx* tree = dlg_->fv();
    tree->scrollTo(index);
    const QRect rect = tree->visualRect(index);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(rect.left() + 8, rect.center().y()));
  }

  // Chooses `folder` in the tree with a click and lists it.
  void listFolder(const fs::path& folder) {
    QVERIFY(dlg_->fv()->selectPath(QString::fromStdString(folder.string())));
    clickNode(dlg_->fv()->currentIndex());
    QCOMPARE(text("Edit3"), QString::fromStdString(folder.string()) + "/");
    QTest::mouseClick(dlg_->button("Button3"), Qt::LeftButton);
  }

  QStringList lines() const {
    QStringList out;
    auto* model = dlg_->ListBox()->model();
    for (int i = 0; i < model->rowCount(); ++i) out << model->index(i, 0).data().toString();
    return out;
  }

  // The terminal program's answer (JSON) for a tape image no one holds.
  QJsonObject terminal(const QStringList& args) {
    QProcess cli;
    cli.start(qEnvironmentVariable("KORV_CLI"),
              QStringList{"--tape", QString::fromStdString(workspace_->imagePath(4)), "--config",
                          QString::fromStdString(workspace_->optionsPath())} +
                  args);
    if (!cli.waitForFinished(30000)) return {};
    return QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
  }

  void bindDrive() {
    workspace_->formatTape();
    QVERIFY(program_->app.sf.OpenDevice(4, true, true));
  }

  void startBackup(const QString& name) {
    dlg_->edit("Edit4")->setText(name);
    QTest::mouseClick(dlg_->button("Button4"), Qt::LeftButton);
  }

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan)); }

  void init() {
    workspace_ = std::make_unique<GuiWorkspace>();
    program_ = std::make_unique<GuiProgram>(*workspace_);
    source_ = std::make_unique<TempDir>();
    dlg_ = std::make_unique<Tbackup>(program_->app);
    dlg_->show();
  }
  void cleanup() {
    dlg_.reset();
    program_.reset();
    source_.reset();
    workspace_.reset();
  }

  void theMachineNodeGivesTheCurrentFolderFirstThenKeepsTheLastChosen() {
    gui::TFolderTreeViewEx* tree = dlg_->fv();
    const QModelIndex machine = tree->folders()->machineIndex();
    QCOMPARE(machine.data().toString(), QString("コンピュータ"));
    QVERIFY(tree->isExpanded(machine));
    QVERIFY(tree->folders()->rowCount(machine) >= 1);
    QCOMPARE(tree->folders()->index(0, 0, machine).data().toString(), QString("/"));

    clickNode(machine);
    QCOMPARE(text("Edit3"), QDir::currentPath() + "/");
    QVERIFY(tree->selectPath(QString::fromStdString(src().string())));
    clickNode(tree->currentIndex());
    clickNode(machine);
    QCOMPARE(text("Edit3"), QString::fromStdString(src().string()) + "/");
  }

  void aListingShowsEveryFileBelowInTheCoreOrderAllSelected() {
    writeFile(src() / "a", "1");
    writeFile(src() / "s" / "c", "22");
    writeFile(src() / "b", "333");
    fs::create_directories(src() / "empty");
    listFolder(src());
    const QString base = QString::fromStdString(src().string()) + "/";
    QStringList expected;
    for (const auto& file : dlg_->filelist()) expected << QString::fromStdString(file.path());
    QCOMPARE(lines(), expected);
    QStringList sorted = lines();
    sorted.sort();
    QCOMPARE(sorted, (QStringList{base + "a", base + "b", base + "s/c"}));
    QCOMPARE(dlg_->ListBox()->selectedLines(), std::vector<bool>(3, true));
    QCOMPARE(dlg_->ListBox()->isVisible(), true);
  }

  void theNarrowButtonFollowsTheFirstLine_data() {
    QTest::addColumn<bool>("firstSelected");
    QTest::addColumn<bool>("afterwards");
    QTest::newRow("first selected, others not: none") << true << false;
    QTest::newRow("first not, others selected: all") << false << true;
  }
  void theNarrowButtonFollowsTheFirstLine() {
    QFETCH(bool, firstSelected);
    QFETCH(bool, afterwards);
    for (const char* name : {"a", "b", "c"}) writeFile(src() / name, "x");
    listFolder(src());
    auto* list = dlg_->ListBox();
    for (int i = 0; i < 3; ++i) list->setSelected(i, (i == 0) == firstSelected);
    QTest::mouseClick(dlg_->button("Button2"), Qt::LeftButton);
    QCOMPARE(list->selectedLines(), std::vector<bool>(3, afterwards));
    QCOMPARE(text("Edit1").trimmed(), afterwards ? QString("3") : QString("0"));
  }

  void theFiguresAreRecountedOnlyWhenAsked() {
    for (const char* name : {"a", "b", "c"}) writeFile(src() / name, std::string(1 << 20, 'x'));
    listFolder(src());
    QCOMPARE(text("Edit1"), QString("            3"));
    QCOMPARE(text("Edit2"), QString("      3.00"));
    auto* list = dlg_->ListBox();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualRect(list->model()->index(1, 0)).center());
    QVERIFY(!list->isSelected(1));
    QCOMPARE(text("Edit1").trimmed(), QString("3"));
    QTest::mouseClick(dlg_->button("Button5"), Qt::LeftButton);
    QCOMPARE(text("Edit1").trimmed(), QString("2"));
    QCOMPARE(text("Edit2").trimmed(), QString("2.00"));
  }

  void theSetTheTerminalListsHoldsTheSelectedFilesAsListed() {
    bindDrive();
    const std::vector<std::pair<std::string, size_t>> files = {
        {"one.txt", 10}, {"skip.me", 20}, {"sub/two.bin", 70000}, {"sub/deep/three", 0}};
    for (const auto& [name, size] : files) {
      writeFile(src() / name, pattern(size));
      setTime(src() / name);
    }
    fs::create_symlink(src() / "one.txt", src() / "link");  // left out, and said so
    listFolder(src());
    const int deselected = lines().indexOf(QString::fromStdString((src() / "skip.me").string()));
    QVERIFY(deselected >= 0);
    dlg_->ListBox()->setSelected(deselected, false);
    QCOMPARE(text("Edit1").trimmed(), QString("4"));  // stale until recounted
    startBackup("GUI 作成");
    QCOMPARE(program_->scripted.texts().back(), std::string("終了しました．"));
    QVERIFY(dlg_->progress().current() == nullptr);
    QTRY_COMPARE(text("Edit1").trimmed(), QString("3"));  // active again once it closed
    const std::string leftOut =
        jobs::leftOutLine({(src() / "link").string(), jobs::LeftOutEntry::Kind::SymbolicLink});
    QCOMPARE(dlg_->memo()->toPlainText(), QString::fromStdString(leftOut));

    QJsonArray expected;
    for (int i = 0; i < dlg_->filecount(); ++i) {
      if (i == deselected) continue;
      const sf_file2 e = dlg_->filelist()[static_cast<size_t>(i)].entry();
      QCOMPARE(QString::fromStdString(formatPacked(e.time, 'T')), QString("2024-05-06T07:08:10"));
      expected.append(QJsonObject{{"path", QString::fromStdString(cp932ToUtf8(e.name))},
                                  {"size", e.size},
                                  {"time", QString::fromStdString(formatPacked(e.time, 'T'))}});
    }
    dlg_.reset();
    program_.reset();  // the drive lets go of the image
    const QJsonObject set = terminal({"files", "1", "--json"});
    QCOMPARE(set["name"].toString(), QString("GUI 作成"));
    QJsonArray listed;
    for (const auto& file : set["files"].toArray()) {
      const QJsonObject f = file.toObject();
      listed.append(QJsonObject{{"path", f["path"]}, {"size", f["size"]}, {"time", f["time"]}});
    }
    QCOMPARE(listed, expected);
  }

  void anAbortEndsTheSetWithItsFilemarkAndTheNextBackupAppends() {
    bindDrive();
    for (const char* name : {"f1", "f2", "f3", "f4"}) writeFile(src() / name, pattern(300000));
    listFolder(src());
    FaultPlan slow;
    slow.delay = std::chrono::milliseconds(5);
    program_->bus.drive().setFaults(slow);
    const QString second = lines().at(1);
    bool controlsHeld = false;  // no second start, relisting or closing meanwhile
    dlg_->progress().onShown = [this, second, &controlsHeld](gui::Tcopydlg& progress) {
      controlsHeld = !dlg_->button("Button4")->isEnabled() &&
                     !dlg_->button("Button3")->isEnabled() && !dlg_->button("Button1")->isEnabled();
      QObject::connect(progress.edit("filename"), &QLineEdit::textChanged, &progress,
                       [&progress, second](const QString& name) {
                         if (name != second) return;
                         QTimer::singleShot(0, &progress, [&progress] {
                           QTest::mouseClick(progress.BitBtn1(), Qt::LeftButton);
                         });
                       });
    };
    program_->bus.clearTrace();
    startBackup("aborted");
    QVERIFY(controlsHeld);
    QVERIFY(dlg_->button("Button4")->isEnabled());
    const auto texts = program_->scripted.texts();
    QCOMPARE(std::vector<std::string>(texts.end() - 2, texts.end()),
             (std::vector<std::string>{"中断しました", "終了しました．"}));
    QVERIFY(dlg_->progress().current() == nullptr);
    const auto trace = program_->bus.trace();
    // The set's ending filemark after its last data block, and the rewind last.
    auto lastOf = [&](uint8_t op) {
      for (size_t i = trace.size(); i-- > 0;)
        if (trace[i].cdb[0] == op) return static_cast<int>(i);
      return -1;
    };
    QVERIFY(lastOf(kOpWriteFilemarks) > lastOf(kOpWrite));
    QCOMPARE(lastOf(kOpRewind), static_cast<int>(trace.size()) - 1);
    QVERIFY(program_->bus.count(kOpWrite) < 4 * 6 + 6);  // f3 and f4 were never written

    program_->bus.drive().setFaults({});
    dlg_->progress().onShown = nullptr;
    startBackup("after");
    QCOMPARE(program_->scripted.texts().back(), std::string("終了しました．"));
    dlg_.reset();
    program_.reset();
    const QJsonArray sets = terminal({"sets", "--json"})["sets"].toArray();
    QCOMPARE(sets.size(), 2);
    QCOMPARE(terminal({"files", "1", "--json"})["files"].toArray().size(), 4);
    QCOMPARE(terminal({"files", "2", "--json"})["files"].toArray().size(), 4);
  }
};

}  // namespace korv::test

QTEST_MAIN(korv::test::BackupTest)
#include "backupu_test.moc"
