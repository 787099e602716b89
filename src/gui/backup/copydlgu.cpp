#include "gui/backup/copydlgu.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "gui/backup/copy_animation.h"
#include "gui/common/app_font.h"
#include "gui/common/window_geometry.h"
#include "gui/widgets/locale_figures.h"
#include "sys/abort_signals.h"
#include "ui_copydlgu.h"

namespace korv::gui {

namespace {

const QSize kClientSize(511, 251);
constexpr int kRateIntervalMs = 2500;
constexpr int kClockIntervalMs = 1000;
constexpr int kCountWidth = 19;

// The abort glyph: a stop sign with a white bar, in colour and greyed out.
QPixmap abortGlyph(bool enabled) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(enabled ? QColor(120, 0, 0) : QColor(120, 120, 120), 1));
  p.setBrush(enabled ? QColor(210, 30, 30) : QColor(190, 190, 190));
  p.drawEllipse(QRectF(1, 1, 14, 14));
  p.setPen(Qt::NoPen);
  p.setBrush(enabled ? Qt::white : QColor(235, 235, 235));
  p.drawRect(QRectF(4, 7, 8, 2.5));
  return pixmap;
}

QString text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

}  // namespace

Tcopydlg::Tcopydlg(QWidget* parent, Clock clock)
    : QDialog(parent),
      ui(std::make_unique<Ui::Tcopydlg>()),
      clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })),
      state_(clock_()),
      timer1_(new QTimer(this)),
      timer2_(new QTimer(this)) {
  ui->setupUi(this);
  // A dialog border with a title but no buttons and no system menu.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(false);

  QFont rateFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  rateFont.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                        QStringLiteral("monospace")});
  rateFont.setPixelSize(21);
  ui->Edit1->setFont(rateFont);
  for (QLineEdit* box : findChildren<QLineEdit*>()) box->setTextMargins(0, 0, 0, 0);

  QIcon glyph;
  glyph.addPixmap(abortGlyph(true), QIcon::Normal);
  glyph.addPixmap(abortGlyph(false), QIcon::Disabled);
  ui->BitBtn1->setIcon(glyph);
  connect(ui->BitBtn1, &QPushButton::clicked, this, &Tcopydlg::BitBtn1Click);

  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(kRateIntervalMs);
  connect(timer1_, &QTimer::timeout, this, &Tcopydlg::Timer1Timer);
  timer2_->setObjectName(QStringLiteral("Timer2"));
  timer2_->setInterval(kClockIntervalMs);
  connect(timer2_, &QTimer::timeout, this, &Tcopydlg::Timer2Timer);

  // FormCreate: the start time; the clock and the rate run from here.
  ui->Edit2->setText(startTimeText(state_.begin()));
  ui->Edit1->setText(text(jobs::formatRate(0)));
  ui->Edit3->setText(text(jobs::formatElapsed(0)));
  ui->Animate1->start();
  timer1_->start();
  timer2_->start();

  fixClientSize(*this, kClientSize);
}

Tcopydlg::~Tcopydlg() = default;

void Tcopydlg::pumpOnce() {
  QCoreApplication::processEvents();
}

void Tcopydlg::setallbyte(float total) {
  state_.setallbyte(total);
  ui->allbyte->setText(countText(total, kCountWidth));
  // A range of 0..0 would make Qt's bar a busy indicator: an empty bar is 0..1 at 0.
  ui->ProgressBar1->setRange(0, std::max(1, state_.rangeMax()));
  ui->ProgressBar1->setValue(0);
  pumpOnce();
}

void Tcopydlg::setallcount(int32_t count) {
  state_.setallcount(count);
  ui->allcount->setText(countText(count, kCountWidth));
  pumpOnce();
}

void Tcopydlg::setcopycount(int32_t count) {
  state_.setcopycount(count);
  ui->copycount->setText(countText(count, kCountWidth));
  pumpOnce();
}

void Tcopydlg::setcopybyte(float done) {
  state_.setcopybyte(done);
  ui->copybyte->setText(countText(done, kCountWidth));
  ui->ProgressBar1->setValue(std::min(state_.position(), ui->ProgressBar1->maximum()));
  pumpOnce();
}

void Tcopydlg::setfilename(const std::string& name) {
  ui->filename->setText(text(name));
  ui->filename->setCursorPosition(0);
  pumpOnce();
}

void Tcopydlg::setanimate(bool on) {
  on ? ui->Animate1->start() : ui->Animate1->stop();
}

void Tcopydlg::stopclock() {
  timer2_->stop();
  state_.stopclock(clock_());
  Timer2Timer();  // the frozen value, to the second
}

bool Tcopydlg::isabort() {
  return state_.isabort() || AbortOnSignals::requested();
}

void Tcopydlg::clearabort() {
  state_.clearabort();
}

void Tcopydlg::FormActivate() {
  state_.activate();
}

void Tcopydlg::BitBtn1Click() {
  state_.requestAbort();
}

void Tcopydlg::Timer1Timer() {
  ui->Edit1->setText(text(jobs::formatRate(state_.rateTick())));
}

void Tcopydlg::Timer2Timer() {
  ui->Edit3->setText(text(jobs::formatElapsed(state_.elapsed(clock_()))));
}

void Tcopydlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Only the first showing clears: an abort asked for and then a click on another
  // window must not lose the request when this one is activated again.
  if (!activated_) {
    activated_ = true;
    FormActivate();
  }
}

void Tcopydlg::closeEvent(QCloseEvent* event) {
  event->ignore();  // only the run closes it
}

QLineEdit* Tcopydlg::edit(const char* name) const {
  return findChild<QLineEdit*>(QString::fromLatin1(name));
}

QProgressBar* Tcopydlg::ProgressBar1() const {
  return ui->ProgressBar1;
}

QPushButton* Tcopydlg::BitBtn1() const {
  return ui->BitBtn1;
}

CopyAnimation* Tcopydlg::Animate1() const {
  return ui->Animate1;
}

QtProgressFactory::QtProgressFactory(QWidget* owner, Tcopydlg::Clock clock)
    : owner_(owner), clock_(std::move(clock)) {}

std::unique_ptr<jobs::ProgressSink> QtProgressFactory::create(const std::string& caption) {
  auto dialog = std::make_unique<Tcopydlg>(owner_, clock_);
  dialog->setWindowTitle(QString::fromStdString(caption));
  centreOnScreen(*dialog);
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  current_ = dialog.get();
  if (onShown) onShown(*dialog);
  return dialog;
}

}  // namespace korv::gui
