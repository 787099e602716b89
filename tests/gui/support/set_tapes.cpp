#include "support/set_tapes.h"

#include <QLineEdit>
#include <QTest>

#include "gui/backup/backupu.h"
#include "gui/widgets/entry_list.h"
#include "gui/widgets/folder_tree.h"
#include "sys/cp932.h"

namespace korv::test {

bool bindDrive(GuiProgram& program) {
  return program.app.sf.OpenDevice(4, program.app.opt.rewindimm, program.app.opt.eoduse);
}

bool backUpFolder(GuiProgram& program, const std::filesystem::path& folder,
                  const std::string& setName) {
  gui::Tbackup backup(program.app);
  backup.show();
  if (!backup.fv()->selectPath(QString::fromStdString(folder.string()))) return false;
  backup.fvClick();
  backup.Button3Click();  // サブディレクトリの検索
  backup.edit("Edit4")->setText(QString::fromStdString(setName));
  const size_t shown = program.scripted.boxes.size();
  backup.Button4Click();  // バックアップ開始
  const auto& boxes = program.scripted.boxes;
  return boxes.size() == shown + 1 && boxes.back().text == "終了しました．";
}

std::string sj(const std::string& utf8) {
  return utf8ToCp932(utf8).value();
}

void chooseSet(QWidget& form, int row) {
  auto& sets = control<QListWidget>(form, "ListBox1");
  QListWidgetItem* item = sets.item(row);
  QTest::mouseClick(sets.viewport(), Qt::LeftButton, {}, sets.visualItemRect(item).center());
}

QStringList fileLines(QWidget& form) {
  auto& files = control<gui::EntryListView>(form, "ListBox2");
  QStringList lines;
  for (int row = 0; row < files.count(); ++row)
    lines << files.model()->index(row, 0).data().toString();
  return lines;
}

int selectedLines(QWidget& form) {
  int selected = 0;
  for (bool on : control<gui::EntryListView>(form, "ListBox2").selectedLines()) selected += on;
  return selected;
}

void setLineSelected(QWidget& form, int row, bool on) {
  control<gui::EntryListView>(form, "ListBox2").setSelected(row, on);
}

}  // namespace korv::test
