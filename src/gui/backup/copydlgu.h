#pragma once
// The progress dialog Tcopydlg that every run (backup, restore, test) shows: the current
// file, files and bytes done against the totals, the bar, the rate in MByte/分 every
// 2.5 s, the start and elapsed time, the copy animation and the abort button. It is the
// run's ProgressSink; the arithmetic is the core's ProgressState.
//
// Use from a dialog that starts a run: give the run a QtProgressFactory owned by that
// dialog; the run creates, shows, feeds and finally destroys one Tcopydlg:
//
//   QtProgressFactory progress(this);           // `this`: the modal dialog behind it
//   jobs::RunFaces faces{messages, progress, log, options};
//   jobs::restoreRun(..., faces);               // caption set by the run
//
// The dialog is modeless, without title-bar buttons or system menu; the user cannot
// close it (Esc and the window manager's close are ignored), the run does by destroying
// it. The five set… operations let the event loop run once, so the values paint and a
// click on "中止(&A)" gets through. isabort is the button's request OR a SIGTERM/SIGHUP/
// SIGINT caught by an AbortOnSignals the starting dialog holds during the run.

#include <QDialog>
#include <QPointer>

#include <ctime>
#include <functional>
#include <memory>

#include "jobs/progress_math.h"
#include "jobs/run_interfaces.h"

namespace Ui {
class Tcopydlg;
}

class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace korv::gui {

class CopyAnimation;

class Tcopydlg : public QDialog, public jobs::ProgressSink {
  Q_OBJECT

 public:
  // `clock` gives the current time (tests move it); std::time by default.
  using Clock = std::function<std::time_t()>;
  explicit Tcopydlg(QWidget* parent = nullptr, Clock clock = {});
  ~Tcopydlg() override;

  void setallbyte(float total) override;
  void setallcount(int32_t count) override;
  void setcopycount(int32_t count) override;
  void setcopybyte(float done) override;
  void setfilename(const std::string& name) override;
  void setanimate(bool on) override;
  void stopclock() override;
  bool isabort() override;
  void clearabort() override;

  const jobs::ProgressState& state() const { return state_; }
  // The controls by their names, for the faces' tests and the screenshots.
  QLineEdit* edit(const char* name) const;
  QProgressBar* ProgressBar1() const;
  QPushButton* BitBtn1() const;
  CopyAnimation* Animate1() const;
  QTimer& Timer1() { return *timer1_; }
  QTimer& Timer2() { return *timer2_; }

 public slots:
  void FormActivate();
  void BitBtn1Click();
  void Timer1Timer();
  void Timer2Timer();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override {}  // Esc does not close it

 private:
  void pumpOnce();

  std::unique_ptr<Ui::Tcopydlg> ui;
  Clock clock_;
  jobs::ProgressState state_;
  QTimer* timer1_;
  QTimer* timer2_;
  bool activated_ = false;
};

// The face's ProgressFactory: makes one Tcopydlg per run over `owner` (the modal dialog
// that started the run, so the modeless dialog is not blocked by it), captioned as the
// run asks, centred on the screen and shown.
class QtProgressFactory : public jobs::ProgressFactory {
 public:
  explicit QtProgressFactory(QWidget* owner, Tcopydlg::Clock clock = {});
  std::unique_ptr<jobs::ProgressSink> create(const std::string& caption) override;

  // The dialog on the screen now, nullptr between runs: for tests and screenshots.
  Tcopydlg* current() const { return current_; }
  // Called with each dialog once it is shown: for tests and screenshots.
  std::function<void(Tcopydlg&)> onShown;

 private:
  QWidget* owner_;
  Tcopydlg::Clock clock_;
  QPointer<Tcopydlg> current_;
};

}  // namespace korv::gui
