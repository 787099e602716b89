#include "gui/backup/backupu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QInputDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <csignal>

#include "gui/backup/copydlgu.h"
#include "gui/common/hourglass.h"
#include "gui/common/top_level.h"
#include "gui/common/window_geometry.h"
#include "gui/widgets/entry_list.h"
#include "gui/widgets/folder_tree.h"
#include "gui/widgets/locale_figures.h"
#include "jobs/backup_run.h"
#include "jobs/selection.h"
#include "sys/abort_signals.h"
#include "ui_backupu.h"

namespace korv::gui {

namespace {

const QSize kClientSize(642, 485);

QString withSlash(QString path) {
  if (!path.isEmpty() && !path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return path;
}

}  // namespace

Tbackup::Tbackup(AppContext& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      ui(std::make_unique<Ui::Tbackup>()),
      progress_(std::make_unique<QtProgressFactory>(this)) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  ui->fv->setMessages(&app_.messages);
  ui->Button2->setToolTip(QStringLiteral("すべて選択／選択解除"));

  connect(ui->fv, &TFolderTreeViewEx::OnClick, this, &Tbackup::fvClick);
  connect(ui->Button3, &QPushButton::clicked, this, &Tbackup::Button3Click);
  connect(ui->Button2, &QPushButton::clicked, this, &Tbackup::Button2Click);
  connect(ui->Button5, &QPushButton::clicked, this, &Tbackup::Button5Click);
  connect(ui->Button4, &QPushButton::clicked, this, &Tbackup::Button4Click);
  connect(ui->Button1, &QPushButton::clicked, this, &Tbackup::Button1Click);

  fixClientSize(*this, kClientSize);
}

Tbackup::~Tbackup() = default;

void Tbackup::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::ActivationChange) return;
  if (!isActiveWindow()) {
    // A message box hands the activation back without a new activation of the form.
    QWidget* now = QApplication::activeWindow();
    boxHadFocus_ =
        qobject_cast<QMessageBox*>(now) != nullptr || qobject_cast<QInputDialog*>(now) != nullptr;
    return;
  }
  if (!boxHadFocus_) FormActivate();
  boxHadFocus_ = false;
}

void Tbackup::FormActivate() {
  CountSize();
}

void Tbackup::fvClick() {
  QString path = ui->fv->CurrentFolder();
  if (path.isEmpty()) path = QDir::currentPath();
  ui->Edit3->setText(withSlash(path));
}

void Tbackup::Button3Click() {
  if (running_) return;
  ui->Edit1->clear();
  ui->Edit2->clear();
  QCoreApplication::processEvents();  // the emptied figures paint before the listing
  Hourglass hourglass;
  hourglass.show();
  ui->ListBox->hide();
  ui->ListBox->clear();
  filelist_.clear();
  leftOut_.clear();
  dirsearch(ui->Edit3->text());
  ui->ListBox->setLines(filecount(), [this](int line) {
    return QString::fromStdString(filelist_[static_cast<size_t>(line)].path());
  });
  ui->ListBox->selectAll();  // every listed file starts selected
  CountSize();
  ui->ListBox->show();
}

void Tbackup::dirsearch(const QString& folder) {
  // A typed folder need not end with '/': the listing's paths are the prefix plus names.
  const QString prefix = withSlash(folder);
  if (prefix.isEmpty()) return;
  jobs::dirsearch(prefix.toStdString(), filelist_, nullptr, &leftOut_);
}

void Tbackup::Button2Click() {
  Hourglass hourglass;
  hourglass.show();
  ui->ListBox->toggleAllByFirstLine();
  CountSize();
}

void Tbackup::Button5Click() {
  CountSize();
}

void Tbackup::CountSize() {
  const std::vector<bool> lines = ui->ListBox->selectedLines();
  jobs::ListSelection selection(lines.size(), false);
  for (size_t i = 0; i < lines.size(); ++i) selection.set(i, lines[i]);
  const jobs::SelectionFigures figures = jobs::countSelection(filelist_, selection);
  ui->Edit1->setText(countText(figures.count, 13));
  ui->Edit2->setText(megabytesText(static_cast<double>(figures.bytes) / 1024 / 1024));
}

void Tbackup::setRunning(bool on) {
  running_ = on;
  // The run holds the listing and the tape: no relisting, no second start, no closing.
  for (QWidget* control : {static_cast<QWidget*>(ui->Button3), static_cast<QWidget*>(ui->Button4),
                           static_cast<QWidget*>(ui->Button1), static_cast<QWidget*>(ui->Edit3),
                           static_cast<QWidget*>(ui->fv)})
    control->setEnabled(!on);
}

void Tbackup::Button4Click() {
  if (running_) return;
  setRunning(true);
  int signal = 0;
  runHandler(app_.messages, [this, &signal] {
    AbortOnSignals abortOnSignals;  // SIGTERM, SIGHUP, SIGINT end the run as the button does
    jobs::RunFaces faces{app_.messages, *progress_, *this, app_.opt};
    jobs::backupRun(app_.sf, filelist_, *ui->ListBox, ui->Edit4->text().toStdString(), faces,
                    leftOut_);
    signal = AbortOnSignals::signalNumber();
  });
  setRunning(false);
  // The progress dialog is gone: this dialog is the active one again, and recounts as any
  // activation does (also where the window system hands the activation elsewhere).
  activateWindow();
  FormActivate();
  ui->Button4->setFocus();
  // The signal was held back while the run ended cleanly; now it does what it would have
  // done, with the handlers the program had before the run.
  if (signal != 0) ::raise(signal);
}

void Tbackup::Button1Click() {
  if (!running_) accept();
}

void Tbackup::reject() {
  if (!running_) QDialog::reject();
}

void Tbackup::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void Tbackup::clear() {
  ui->memo->clear();
}

void Tbackup::add(const std::string& line) {
  ui->memo->appendPlainText(QString::fromStdString(line));
}

TFolderTreeViewEx* Tbackup::fv() const {
  return ui->fv;
}

EntryListView* Tbackup::ListBox() const {
  return ui->ListBox;
}

QLineEdit* Tbackup::edit(const char* name) const {
  return findChild<QLineEdit*>(QString::fromLatin1(name));
}

QPushButton* Tbackup::button(const char* name) const {
  return findChild<QPushButton*>(QString::fromLatin1(name));
}

QPlainTextEdit* Tbackup::memo() const {
  return ui->memo;
}

}  // namespace korv::gui
