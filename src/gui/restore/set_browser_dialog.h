#pragma once
// What the restore dialog and the test dialog share: the tape name and the set list, the
// open set's file list with its figures, the log, and the start of a run with the
// dialog as its faces (the log box, the file list's selection asked line by line, the
// progress dialog, the message service). The tape work is the core's set browser and
// runs; this class only shows their results.

#include <QDialog>

#include <memory>

#include "gui/common/app_context.h"
#include "jobs/run_interfaces.h"

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;

namespace korv::gui {

class EntryListView;

// The shared controls, as each form's Designer file names them.
struct BrowserControls {
  QPushButton* Button1;  // 戻る
  QPushButton* Button2;  // the run's start
  QPushButton* Button3;  // narrow: select all or none
  QPushButton* Button4;  // バックアップセット名を取得
  QPushButton* Button5;  // 容量取得
  QLineEdit* Edit1;      // tape name
  QLineEdit* Edit2;      // chosen set's name
  QLineEdit* Edit4;      // selected count
  QLineEdit* Edit5;      // selected MB
  QListWidget* ListBox1;
  EntryListView* ListBox2;
  QPlainTextEdit* Memo1;
};

class SetBrowserDialog : public QDialog, public jobs::RunLog {
  Q_OBJECT

 public:
  ~SetBrowserDialog() override;

  bool running() const { return running_; }

  // The run's log face: Memo1.
  void clear() override;
  void add(const std::string& line) override;

 public slots:
  void Button4Click();
  void ListBox1Click();
  void Button3Click();
  void Button5Click();
  void FormActivate();
  void CountSize();
  void Button1Click();
  void Button2Click();

 protected:
  SetBrowserDialog(AppContext& app, QWidget* parent);
  // Called by the form once its Designer widgets exist.
  void attach(const BrowserControls& controls);
  // The form's run (restore or test) with the given faces and the file list's selection.
  virtual jobs::RunResult run(jobs::RunFaces& faces, jobs::Selection& selection) = 0;
  // After a run that worked to its end.
  virtual void runFinished() {}
  // Empties the file list (a restore that finished closed the set).
  void emptyFileList();

  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int result) override;

  AppContext& app_;

 private:
  void setStartControlsEnabled(bool on);

  BrowserControls c_{};
  std::unique_ptr<jobs::ProgressFactory> progress_;
  bool running_ = false;
  bool closeRequested_ = false;
  QListWidgetItem* pressedChosen_ = nullptr;  // the chosen set's line, when pressed again
};

}  // namespace korv::gui
