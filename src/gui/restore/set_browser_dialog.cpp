#include "gui/restore/set_browser_dialog.h"

#include <QAbstractListModel>
#include <QEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "gui/common/app_font.h"
#include "gui/common/hourglass.h"
#include "gui/common/top_level.h"
#include "jobs/progress_math.h"
#include "jobs/run_guard.h"
#include "jobs/selection.h"
#include "jobs/set_browser.h"
#include "sys/cp932.h"

namespace korv::gui {

// The open set's paths, one line per catalogue entry; built once per opening, so the view
// asks only for the lines it shows.
class EntryListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  void setEntries(const std::vector<sf_file2>& entries) {
    beginResetModel();
    lines_.clear();
    lines_.reserve(static_cast<qsizetype>(entries.size()));
    for (const sf_file2& e : entries) lines_.push_back(QString::fromStdString(displayText(e.name)));
    endResetModel();
  }
  void clear() {
    beginResetModel();
    lines_.clear();
    endResetModel();
  }
  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= lines_.size()) return {};
    return lines_[index.row()];
  }

 private:
  QList<QString> lines_;
};

namespace {

QString fromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}

// A log line never breaks the memo's lines: control characters show as spaces.
QString logLine(const std::string& utf8) {
  QString line = fromUtf8(utf8);
  for (QChar& ch : line)
    if (ch.unicode() < 0x20 || ch.unicode() == 0x7F) ch = QLatin1Char(' ');
  return line;
}

// A progress face that shows nothing; replaced by the progress dialog.
class SilentProgress : public jobs::ProgressSink {
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

class SilentProgressFactory : public jobs::ProgressFactory {
 public:
  std::unique_ptr<jobs::ProgressSink> create(const std::string&) override {
    return std::make_unique<SilentProgress>();
  }
};

}  // namespace

SetBrowserDialog::SetBrowserDialog(AppContext& app, QWidget* parent)
    : QDialog(parent), app_(app), progress_(std::make_unique<SilentProgressFactory>()) {}

SetBrowserDialog::~SetBrowserDialog() = default;

void SetBrowserDialog::attach(const BrowserControls& controls) {
  c_ = controls;
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  files_ = new EntryListModel(this);
  c_.ListBox2->setModel(files_);
  // Hidden while it is refilled, the list keeps its place in the layout.
  QSizePolicy policy = c_.ListBox2->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  c_.ListBox2->setSizePolicy(policy);

  for (QLineEdit* figure : {c_.Edit4, c_.Edit5}) {
    figure->setFont(minchoFont());
    figure->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }

  connect(c_.Button1, &QPushButton::clicked, this, &SetBrowserDialog::Button1Click);
  connect(c_.Button2, &QPushButton::clicked, this, &SetBrowserDialog::Button2Click);
  connect(c_.Button3, &QPushButton::clicked, this, &SetBrowserDialog::Button3Click);
  connect(c_.Button4, &QPushButton::clicked, this, &SetBrowserDialog::Button4Click);
  connect(c_.Button5, &QPushButton::clicked, this, &SetBrowserDialog::Button5Click);
  // A keyboard move opens the set it reaches; so does a click, also on the line already
  // chosen (after a test the tape stands at its beginning: choosing the set again
  // positions it anew). A click that moves the line opens it once, by the move.
  // (Focus alone makes a line current without choosing it: that opens nothing.)
  connect(c_.ListBox1, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && c_.ListBox1->item(row)->isSelected()) ListBox1Click();
  });
  connect(c_.ListBox1, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    if (c_.ListBox1->row(item) == rowAtPress_) ListBox1Click();
  });
  c_.ListBox1->viewport()->installEventFilter(this);
}

bool SetBrowserDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == c_.ListBox1->viewport() && event->type() == QEvent::MouseButtonPress)
    rowAtPress_ = c_.ListBox1->currentRow();
  return QDialog::eventFilter(watched, event);
}

bool SetBrowserDialog::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QDialog::event(event);
}

void SetBrowserDialog::Button4Click() {
  Hourglass hourglass;
  hourglass.show();
  c_.ListBox1->blockSignals(true);
  c_.ListBox1->clear();
  c_.ListBox1->blockSignals(false);
  files_->clear();
  const jobs::SetList sets = jobs::listSets(app_.sf);
  if (!sets.mounted) {
    c_.Edit1->setText(fromUtf8(jobs::kSetNamesUnavailable));
    return;
  }
  c_.Edit1->setText(fromUtf8(displayText(sets.tapeName)));
  QStringList names;
  for (const std::string& name : sets.names) names << fromUtf8(displayText(name));
  // Filled without choosing a line: only the user's choice opens a set.
  c_.ListBox1->blockSignals(true);
  c_.ListBox1->addItems(names);
  c_.ListBox1->setCurrentRow(-1);
  c_.ListBox1->blockSignals(false);
}

void SetBrowserDialog::ListBox1Click() {
  const int row = c_.ListBox1->currentRow();
  if (row < 0 || running_) return;
  Hourglass hourglass;
  hourglass.show();
  c_.ListBox2->hide();
  c_.Edit2->setText(c_.ListBox1->item(row)->text());
  files_->clear();
  std::string name;
  if (!jobs::openSet(app_.sf, row + 1, name, app_.messages)) {
    c_.ListBox2->show();
    return;
  }
  files_->setEntries(jobs::openSetEntries(app_.sf));
  selectAllLines(true);
  c_.ListBox2->show();
  CountSize();
}

void SetBrowserDialog::selectAllLines(bool on) {
  QItemSelectionModel* selection = c_.ListBox2->selectionModel();
  const int lines = files_->rowCount();
  if (!on || lines == 0) {
    selection->clearSelection();
    return;
  }
  // One range, however long the list.
  selection->select(QItemSelection(files_->index(0), files_->index(lines - 1)),
                    QItemSelectionModel::ClearAndSelect);
}

void SetBrowserDialog::Button3Click() {
  Hourglass hourglass;
  hourglass.show();
  c_.ListBox2->hide();
  if (files_->rowCount() > 0) selectAllLines(!selected(0));
  c_.ListBox2->show();
  CountSize();
}

void SetBrowserDialog::Button5Click() {
  CountSize();
}

void SetBrowserDialog::FormActivate() {
  CountSize();
}

void SetBrowserDialog::CountSize() {
  if (files_ == nullptr) return;
  const jobs::SelectionFigures figures =
      files_->rowCount() == 0 ? jobs::SelectionFigures{}
                              : jobs::countSelection(jobs::openSetEntries(app_.sf), *this);
  c_.Edit4->setText(fromUtf8(jobs::formatCount(figures.count, 13)).trimmed());
  c_.Edit5->setText(fromUtf8(jobs::formatSelectedSize(figures.bytes)).trimmed());
}

bool SetBrowserDialog::selected(size_t line) {
  if (line >= static_cast<size_t>(files_->rowCount())) return false;
  return c_.ListBox2->selectionModel()->isRowSelected(static_cast<int>(line), QModelIndex());
}

void SetBrowserDialog::clear() {
  c_.Memo1->clear();
}

void SetBrowserDialog::add(const std::string& line) {
  c_.Memo1->appendPlainText(logLine(line));
}

void SetBrowserDialog::emptyFileList() {
  files_->clear();
}

void SetBrowserDialog::setStartControlsEnabled(bool on) {
  for (QWidget* control : {static_cast<QWidget*>(c_.Button2), static_cast<QWidget*>(c_.Button4),
                           static_cast<QWidget*>(c_.ListBox1)}) {
    control->setEnabled(on);
  }
}

void SetBrowserDialog::Button2Click() {
  if (running_ || jobs::RunGuard::running(app_.sf)) return;
  running_ = true;
  setStartControlsEnabled(false);
  jobs::RunResult result;
  runHandler(app_.messages, [&] {
    jobs::RunFaces faces{app_.messages, *progress_, *this, app_.opt};
    result = run(faces);
  });
  running_ = false;
  setStartControlsEnabled(true);
  if (result.status == jobs::RunStatus::Finished) runFinished();
  CountSize();
  if (closeRequested_) QDialog::done(QDialog::Rejected);
}

void SetBrowserDialog::Button1Click() {
  close();
}

// Closing while a run works waits for the run: it ends first, then the dialog closes.
void SetBrowserDialog::done(int result) {
  if (running_) {
    closeRequested_ = true;
    return;
  }
  QDialog::done(result);
}

}  // namespace korv::gui
