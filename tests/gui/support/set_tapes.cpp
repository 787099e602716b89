#include "support/set_tapes.h"

#include <QTest>

#include "gui/widgets/entry_list.h"
#include "jobs/backup_run.h"
#include "jobs/dirsearch.h"
#include "jobs/selection.h"
#include "sys/cp932.h"

namespace korv::test {

namespace {

class NoProgress : public jobs::ProgressSink {
 public:
  void setallbyte(float) override {}
  void setallcount(int32_t) override {}
  void setcopycount(int32_t) override {}
  void setcopybyte(float) override {}
  void setfilename(const std::string&) override {}
  void setanimate(bool) override {}
  void stopclock() override {}
  bool isabort() override { return false; }
  void clearabort() override {}
};

class NoProgressFactory : public jobs::ProgressFactory {
 public:
  std::unique_ptr<jobs::ProgressSink> create(const std::string&) override {
    return std::make_unique<NoProgress>();
  }
};

class NoLog : public jobs::RunLog {
 public:
  void clear() override {}
  void add(const std::string&) override {}
};

}  // namespace

bool bindDrive(GuiProgram& program) {
  return program.app.sf.OpenDevice(4, program.app.opt.rewindimm, program.app.opt.eoduse);
}

jobs::RunResult backUpFolder(GuiProgram& program, const std::filesystem::path& folder,
                             const std::string& setName) {
  jobs::FileList list;
  jobs::dirsearch(folder.string() + "/", list);
  jobs::ListSelection all(list.size());
  NoProgressFactory progress;
  NoLog log;
  jobs::RunFaces faces{program.app.messages, progress, log, program.app.opt};
  return jobs::backupRun(program.app.sf, list, all, setName, faces);
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
