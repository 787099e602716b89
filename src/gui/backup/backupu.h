#pragma once
// The backup dialog Tbackup: pick a folder in the tree, list every file below it with
// "サブディレクトリの検索" (the core's listing), adjust the selection, read the count and
// size of the selection, name the set and start the core's backup run with
// "バックアップ開始". The dialog is the run's faces: its list answers the selection line
// by line, its memo is the log, a Tcopydlg over it the progress; boxes go through the
// program's message service.

#include <QDialog>

#include <memory>

#include "gui/common/app_context.h"
#include "jobs/dirsearch.h"
#include "jobs/run_interfaces.h"

namespace Ui {
class Tbackup;
}

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace korv::gui {

class EntryListView;
class QtProgressFactory;
class TFolderTreeViewEx;

class Tbackup : public QDialog, private jobs::RunLog {
  Q_OBJECT

 public:
  explicit Tbackup(AppContext& app, QWidget* parent = nullptr);
  ~Tbackup() override;

  // The controls by their names, for tests and screenshots.
  TFolderTreeViewEx* fv() const;
  EntryListView* ListBox() const;
  QLineEdit* edit(const char* name) const;
  QPushButton* button(const char* name) const;
  QPlainTextEdit* memo() const;
  const jobs::FileList& filelist() const { return filelist_; }
  int filecount() const { return static_cast<int>(filelist_.size()); }
  bool running() const { return running_; }
  // The progress dialogs of this dialog's runs (the one on screen is current()).
  QtProgressFactory& progress() { return *progress_; }

 public slots:
  void FormActivate();
  void fvClick();
  void Button3Click();
  void Button2Click();
  void Button5Click();
  void Button4Click();
  void Button1Click();
  void CountSize();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void dirsearch(const QString& folder);
  void setRunning(bool on);
  // RunLog: the memo.
  void clear() override;
  void add(const std::string& line) override;

  AppContext& app_;
  std::unique_ptr<Ui::Tbackup> ui;
  std::unique_ptr<QtProgressFactory> progress_;
  jobs::FileList filelist_;
  jobs::LeftOutList leftOut_;  // links and special files the listing passed over
  bool running_ = false;
  bool boxHadFocus_ = false;  // activation came back from a message box
};

}  // namespace korv::gui
