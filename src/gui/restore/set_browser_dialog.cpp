#include "gui/restore/set_browser_dialog.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <csignal>

#include "gui/backup/copydlgu.h"
#include "gui/common/app_font.h"
#include "gui/common/hourglass.h"
#include "gui/common/top_level.h"
#include "gui/widgets/entry_list.h"
#include "gui/widgets/locale_figures.h"
#include "jobs/run_guard.h"
#include "jobs/selection.h"
#include "jobs/set_browser.h"
#include "sys/abort_signals.h"
#include "sys/cp932.h"

namespace korv::gui {

namespace {

QString fromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}

// A name longer than its box shows its beginning.
void showText(QLineEdit& box, const QString& text) {
  box.setText(text);
  box.setCursorPosition(0);
}

// A log line never breaks the memo's lines: control characters show as spaces.
QString logLine(const std::string& utf8) {
  QString line = fromUtf8(utf8);
  for (QChar& ch : line)
    if (ch.unicode() < 0x20 || ch.unicode() == 0x7F) ch = QLatin1Char(' ');
  return line;
}

}  // namespace

SetBrowserDialog::SetBrowserDialog(AppContext& app, QWidget* parent)
    : QDialog(parent), app_(app), progress_(std::make_unique<QtProgressFactory>(this)) {}

SetBrowserDialog::~SetBrowserDialog() = default;

void SetBrowserDialog::attach(const BrowserControls& controls) {
  c_ = controls;
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

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
  // A line that becomes chosen, by a click or a keyboard move, opens its set. So does a
  // click on the line already chosen: after a test the tape stands at its beginning, and
  // choosing the set again positions it anew.
  connect(c_.ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
    if (!c_.ListBox1->selectedItems().isEmpty()) ListBox1Click();
  });
  connect(c_.ListBox1, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const bool again = item == pressedChosen_;
    pressedChosen_ = nullptr;
    if (again) ListBox1Click();
  });
  c_.ListBox1->installEventFilter(this);
  c_.ListBox1->viewport()->installEventFilter(this);
}

bool SetBrowserDialog::eventFilter(QObject* watched, QEvent* event) {
  // Focus alone marks the first line without choosing it; the first arrow key then
  // chooses that line rather than skipping past it.
  if (watched == c_.ListBox1 && event->type() == QEvent::KeyPress &&
      c_.ListBox1->selectedItems().isEmpty() && c_.ListBox1->count() > 0) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Down || key == Qt::Key_Up) {
      c_.ListBox1->setCurrentRow(std::max(c_.ListBox1->currentRow(), 0));
      return true;
    }
  }
  if (watched == c_.ListBox1->viewport() && event->type() == QEvent::MouseButtonPress) {
    QListWidgetItem* item =
        c_.ListBox1->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint());
    pressedChosen_ = item != nullptr && item->isSelected() ? item : nullptr;
  }
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
  pressedChosen_ = nullptr;
  c_.ListBox2->clear();
  const jobs::SetList sets = jobs::listSets(app_.sf);
  if (!sets.mounted) {
    showText(*c_.Edit1, fromUtf8(jobs::kSetNamesUnavailable));
    return;
  }
  showText(*c_.Edit1, fromUtf8(displayText(sets.tapeName)));
  QStringList names;
  for (const std::string& name : sets.names) names << fromUtf8(displayText(name));
  // Filled without choosing a line: only the user's choice opens a set.
  c_.ListBox1->blockSignals(true);
  c_.ListBox1->addItems(names);
  c_.ListBox1->setCurrentRow(-1);
  c_.ListBox1->blockSignals(false);
}

void SetBrowserDialog::ListBox1Click() {
  const QList<QListWidgetItem*> chosen = c_.ListBox1->selectedItems();
  const int row = chosen.isEmpty() ? -1 : c_.ListBox1->row(chosen.first());
  if (row < 0 || running_) return;
  Hourglass hourglass;
  hourglass.show();
  c_.ListBox2->hide();
  showText(*c_.Edit2, c_.ListBox1->item(row)->text());
  c_.ListBox2->clear();
  std::string name;
  if (!jobs::openSet(app_.sf, row + 1, name, app_.messages)) {
    c_.ListBox2->show();
    return;
  }
  const TScsifile& sf = app_.sf;
  c_.ListBox2->setLines(static_cast<int>(jobs::openSetEntries(sf).size()), [&sf](int line) {
    const auto& entries = jobs::openSetEntries(sf);
    const auto at = static_cast<size_t>(line);
    return at < entries.size() ? QString::fromStdString(displayText(entries[at].name)) : QString();
  });
  c_.ListBox2->selectAll();
  c_.ListBox2->show();
  CountSize();
}

void SetBrowserDialog::Button3Click() {
  Hourglass hourglass;
  hourglass.show();
  c_.ListBox2->hide();
  c_.ListBox2->toggleAllByFirstLine();
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
  if (c_.ListBox2 == nullptr) return;
  // An emptied list counts nothing, whatever catalogue `sf` still holds.
  const jobs::SelectionFigures figures =
      c_.ListBox2->count() == 0 ? jobs::SelectionFigures{}
                                : jobs::countSelection(jobs::openSetEntries(app_.sf), *c_.ListBox2);
  // Right-aligned by the box: a proportional face does not line up padding spaces.
  c_.Edit4->setText(countText(figures.count, 13).trimmed());
  c_.Edit5->setText(megabytesText(static_cast<double>(figures.bytes) / 1024 / 1024).trimmed());
}

void SetBrowserDialog::clear() {
  c_.Memo1->clear();
}

void SetBrowserDialog::add(const std::string& line) {
  c_.Memo1->appendPlainText(logLine(line));
}

void SetBrowserDialog::emptyFileList() {
  c_.ListBox2->clear();
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
  int signal = 0;
  runHandler(app_.messages, [&] {
    AbortOnSignals abortOnSignals;  // SIGTERM, SIGHUP, SIGINT end the run as "中止" does
    jobs::RunFaces faces{app_.messages, *progress_, *this, app_.opt};
    result = run(faces, *c_.ListBox2);
    signal = AbortOnSignals::signalNumber();
  });
  running_ = false;
  setStartControlsEnabled(true);
  if (result.status == jobs::RunStatus::Finished) runFinished();
  CountSize();
  // A signal held back while the run ended cleanly (the file removed, the tape rewound)
  // now does what it would have done.
  if (signal != 0) ::raise(signal);
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
