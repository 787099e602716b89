// Saves pictures of the desktop program's windows for the README (scripts/screenshots
// runs this under Xvfb): the real forms, on a fresh emulated tape, with the real message
// boxes, each grabbed as the X server shows it.
//
//   korv_screenshots OUTPUT_FOLDER

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QIcon>
#include <QInputDialog>
#include <QLinearGradient>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>

#include "gui/app/mainu.h"
#include "gui/app/start.h"
#include "gui/app/veru.h"
#include "gui/backup/backupu.h"
#include "gui/backup/copydlgu.h"
#include "gui/common/qt_messages.h"
#include "gui/idsetu/idsetu.h"
#include "gui/restore/restoreu.h"
#include "gui/restore/testu.h"
#include "gui/widgets/entry_list.h"
#include "gui/widgets/folder_tree.h"
#include "support/foreign_set.h"
#include "support/gui_fixture.h"
#include "support/set_tapes.h"
#include "support/temp_dir.h"
#include "support/test_files.h"

namespace {

using korv::gui::QtMessages;

QString folder;
int failures = 0;

// Under Xvfb no window manager draws frames: each picture gets a plain title bar with the
// window's icon and title, so the captions show.
QPixmap framed(const QPixmap& client, const QString& title) {
  const int bar = 24;
  const int border = 1;
  QPixmap picture(client.width() + 2 * border, client.height() + bar + border);
  picture.fill(QColor(0x5a, 0x6b, 0x7c));
  QPainter painter(&picture);
  QLinearGradient gradient(0, 0, 0, bar);
  gradient.setColorAt(0, QColor(0x6f, 0x84, 0x99));
  gradient.setColorAt(1, QColor(0x4f, 0x60, 0x72));
  painter.fillRect(QRect(0, 0, picture.width(), bar), gradient);
  const QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) icon.paint(&painter, QRect(5, 4, 16, 16));
  QFont font = QApplication::font();
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(26, 0, picture.width() - 30, bar), Qt::AlignVCenter | Qt::AlignLeft,
                   title);
  painter.drawPixmap(border, bar, client);
  return picture;
}

void write(const QPixmap& picture, const QString& name) {
  const QString path = QDir(folder).filePath(name);
  if (!picture.save(path)) {
    std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    ++failures;
    return;
  }
  std::printf("%s (%dx%d)\n", qPrintable(path), picture.width(), picture.height());
}

// Lets the window paint, then grabs what the X server shows of it.
void save(QWidget& window, const QString& name) {
  window.raise();
  window.activateWindow();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  QPixmap picture = window.screen()->grabWindow(window.winId());
  if (picture.isNull() || picture.width() < 10) picture = window.grab();
  write(framed(picture, window.windowTitle()), name);
}

// The main window with the "ツール" menu open over it: the screen's region of both.
void saveWithMenu(QMainWindow& main, QMenu& menu, const QString& name) {
  main.menuBar()->setActiveAction(menu.menuAction());
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  const QRect area = main.geometry().united(menu.geometry());
  QPixmap picture = main.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  menu.hide();
  main.menuBar()->setActiveAction(nullptr);
  write(framed(picture, main.windowTitle()), name);
}

QPushButton* buttonWithText(QDialog& box, const QString& text) {
  for (QPushButton* button : box.findChildren<QPushButton*>())
    if (button->text() == text) return button;
  return nullptr;
}

// A week's set of a home folder, one file of which could not be backed up.
void writeExampleSet(korv::TScsifile& sf, const std::string& setName) {
  using korv::test::pattern;
  using korv::test::sj;
  std::vector<korv::test::TapeFile> files;
  const char* names[] = {"文書/報告書_2026年11月.odt",
                         "文書/見積書.pdf",
                         "文書/議事録/定例会議.txt",
                         "写真/紅葉/IMG_0412.jpg",
                         "写真/紅葉/IMG_0413.jpg",
                         "写真/家族/誕生日.png",
                         "音楽/練習曲.flac",
                         ".bashrc",
                         ".config/korvessian/korvessian.ini",
                         "作業/tape-notes.md",
                         "作業/巨大な一時ファイル.iso"};
  unsigned seed = 1;
  for (const char* name : names) {
    korv::test::TapeFile file{sj(std::string("/home/hanako/") + name), pattern(40000 * seed, seed)};
    file.skipped = std::string(name).ends_with(".iso");
    files.push_back(file);
    ++seed;
  }
  korv::test::writeForeignSet(sf, sj(setName), files);
}

// A folder of photos and documents to back up, in a fresh temporary folder.
std::filesystem::path makeSource(const korv::test::TempDir& dir) {
  const std::filesystem::path root = dir.path() / "ドキュメント";
  int seed = 1;
  for (const char* name : {"見積書.pdf", "議事録 2026-11.txt", "予算.xlsx", "写真/海.jpg",
                           "写真/山.jpg", "写真/2026/祭り.jpg", "写真/2026/花火.jpg"}) {
    korv::test::writeFile(root / name, korv::test::pattern(1500000 + 250000 * seed, seed));
    ++seed;
  }
  return root;
}

// The backup dialog after a listing, then its progress dialog in the middle of a run.
void backupPictures(korv::test::GuiProgram& program, const std::filesystem::path& source) {
  korv::gui::Tbackup backup(program.app);
  backup.show();
  backup.fv()->selectPath(QString::fromStdString(source.string()));
  backup.fvClick();
  backup.Button3Click();
  backup.ListBox()->setSelected(2, false);
  backup.CountSize();
  backup.edit("Edit4")->setText(QStringLiteral("ドキュメント 2026年12月"));
  save(backup, QStringLiteral("backup.png"));

  // A drive slow enough that the rate and the clock have ticked by the time it is grabbed.
  korv::FaultPlan slow;
  slow.delay = std::chrono::milliseconds(25);
  program.bus.drive().setFaults(slow);
  backup.progress().onShown = [](korv::gui::Tcopydlg& progress) {
    auto ticks = std::make_shared<int>(0);
    QObject::connect(&progress.Timer1(), &QTimer::timeout, &progress, [&progress, ticks] {
      if (++*ticks == 2) save(progress, QStringLiteral("progress.png"));
    });
  };
  backup.Button4Click();
  program.bus.drive().setFaults({});
  backup.close();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: korv_screenshots OUTPUT_FOLDER\n");
    return 64;
  }
  folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  korv::gui::setupApplication();

  korv::test::GuiWorkspace workspace;
  QtMessages messages(QStringLiteral("Korvessian"));
  korv::test::GuiProgram program(workspace, messages);
  korv::gui::Tmain main(program.app);

  // Boxes in the order the steps below raise them: each is grabbed, then answered.
  std::deque<std::function<void(QDialog&)>> boxes;
  messages.setObserver([&](QDialog& box) {
    if (boxes.empty()) {
      box.reject();
      return;
    }
    auto step = std::move(boxes.front());
    boxes.pop_front();
    step(box);
  });

  korv::test::whenShown<korv::gui::Tidset>([&](korv::gui::Tidset& dialog) {
    auto grab = [&dialog] {
      save(dialog, QStringLiteral("idset.png"));
      dialog.BitBtn1Click();
    };
    if (dialog.scanned()) {
      grab();
    } else {
      QObject::connect(&dialog, &korv::gui::Tidset::scanFinished, &dialog, grab,
                       Qt::QueuedConnection);
    }
  });

  QTimer::singleShot(0, [&] {
    // After the start-up dialog has closed.
    korv::test::runUntil([&] { return program.app.scsiid >= 0; });
    save(main, QStringLiteral("main.png"));

    // The "ツール" menu, bound: every tape item usable.
    saveWithMenu(main, *main.findChild<QMenu*>(QStringLiteral("Tool1")),
                 QStringLiteral("main-tool-menu.png"));

    // The version dialog.
    korv::test::whenShown<korv::gui::TVer>([](korv::gui::TVer& ver) {
      save(ver, QStringLiteral("version.png"));
      ver.Button1Click();
    });
    main.N2Click();

    // A confirmation box (declined).
    boxes.push_back([](QDialog& box) {
      save(box, QStringLiteral("confirm.png"));
      buttonWithText(box, QStringLiteral("いいえ(&N)"))->click();
    });
    main.N11Click();

    // The delete-from input box: confirmed, the number box grabbed and cancelled, then the
    // "中断しました．" box closed.
    boxes.push_back([](QDialog& box) { buttonWithText(box, QStringLiteral("はい(&Y)"))->click(); });
    boxes.push_back([](QDialog& box) {
      save(box, QStringLiteral("delete-from.png"));
      box.reject();
    });
    boxes.push_back([](QDialog& box) { box.accept(); });
    main.N16Click();

    // A formatted tape (confirmed, the name taken as offered) for the backup pictures.
    boxes.push_back([](QDialog& box) { buttonWithText(box, QStringLiteral("はい(&Y)"))->click(); });
    boxes.push_back([](QDialog& box) { box.accept(); });
    boxes.push_back([](QDialog& box) { box.accept(); });
    main.N13Click();
    boxes.clear();
    korv::test::TempDir sourceDir;
    backupPictures(program, makeSource(sourceDir));

    // The restore dialog with a set open and a destination chosen; the test dialog after
    // a run, with its log.
    writeExampleSet(program.app.sf, "週次バックアップ 2026-11-29");
    writeExampleSet(program.app.sf, "週次バックアップ 2026-12-06");
    korv::test::TempDir destination;
    std::filesystem::create_directory(destination.path() / "復元");
    {
      korv::gui::Trestore restore(program.app, &main);
      restore.show();
      restore.Button4Click();
      korv::test::chooseSet(restore, 2);
      restore.folderTree().selectPath(
          QString::fromStdString((destination.path() / "復元").string()));
      save(restore, QStringLiteral("restore.png"));
    }
    {
      korv::gui::Ttest test(program.app, &main);
      test.show();
      test.Button4Click();
      korv::test::chooseSet(test, 2);
      boxes.push_back([](QDialog& box) { box.accept(); });  // "終了しました"
      test.Button2Click();
      save(test, QStringLiteral("test.png"));
    }

    main.close();
  });

  main.show();
  QApplication::exec();
  return failures == 0 ? 0 : 1;
}
