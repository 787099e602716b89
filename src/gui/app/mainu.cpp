#include "gui/app/mainu.h"

#include <QCloseEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

#include "gui/app/tape_dialogs.h"
#include "gui/app/veru.h"
#include "gui/common/hourglass.h"
#include "gui/common/top_level.h"
#include "gui/common/window_geometry.h"
#include "gui/idsetu/idsetu.h"
#include "scsi/bus_scan.h"
#include "ui_mainu.h"

namespace korv::gui {

namespace {

// The status bar's panels: their widths, and the fixed text of panel 0.
constexpr int kPanelWidths[3] = {87, 70, 50};
constexpr int kStatusBarHeight = 19;
const QSize kClientSize(600, 325);

}  // namespace

Tmain::Tmain(AppContext& app, QWidget* parent)
    : QMainWindow(parent), app_(app), ui(std::make_unique<Ui::Tmain>()) {
  ui->setupUi(this);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  QStatusBar* bar = ui->StatusBar;
  for (int i = 0; i < 3; ++i) {
    panels_[i] = new QLabel(bar);
    panels_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panels_[i]->setFrameShape(QFrame::Panel);
    panels_[i]->setFrameShadow(QFrame::Sunken);
    panels_[i]->setIndent(2);
    panels_[i]->setAccessibleName(QStringLiteral("ステータス %1").arg(i));
    bar->addWidget(panels_[i]);
  }
  panels_[0]->setText(QStringLiteral("TAPE SCSI-ID="));
  // Those widths and height, or what the panels' texts need when that is more.
  const QString widest[3] = {panels_[0]->text(), QString::fromUtf8(kIdUnusable), QString()};
  int height = kStatusBarHeight;
  for (int i = 0; i < 3; ++i) {
    QLabel probe(widest[i]);
    probe.setFont(panels_[i]->font());
    probe.setFrameShape(QFrame::Panel);
    probe.setIndent(panels_[i]->indent());
    panels_[i]->setFixedWidth(std::max(kPanelWidths[i], probe.sizeHint().width()));
    // The bar keeps 3 pixels above its panels.
    height = std::max(height, probe.sizeHint().height() + 3);
  }
  bar->setFixedHeight(height);
  panels_[0]->setAccessibleName(QStringLiteral("TAPE SCSI-ID="));
  panels_[1]->setAccessibleName(QStringLiteral("TAPE SCSI-ID"));

  connect(ui->Tool1, &QMenu::aboutToShow, this, &Tmain::Tool1Click);
  connect(ui->N3, &QAction::triggered, this, &Tmain::N3Click);
  connect(ui->N5, &QAction::triggered, this, &Tmain::N5Click);
  connect(ui->N6, &QAction::triggered, this, &Tmain::N6Click);
  connect(ui->N7, &QAction::triggered, this, &Tmain::N7Click);
  connect(ui->N11, &QAction::triggered, this, &Tmain::N11Click);
  connect(ui->N9, &QAction::triggered, this, &Tmain::N9Click);
  connect(ui->N18, &QAction::triggered, this, &Tmain::N18Click);
  connect(ui->N15, &QAction::triggered, this, &Tmain::N15Click);
  connect(ui->N16, &QAction::triggered, this, &Tmain::N16Click);
  connect(ui->N10, &QAction::triggered, this, &Tmain::N10Click);
  connect(ui->N13, &QAction::triggered, this, &Tmain::N13Click);
  connect(ui->N2, &QAction::triggered, this, &Tmain::N2Click);
  connect(ui->Exit1, &QAction::triggered, this, &Tmain::Exit1Click);
  connect(ui->BitBtn1, &QPushButton::clicked, this, &Tmain::BitBtn1Click);

  fixClientSize(*this, kClientSize);
  FormCreate();
  ver_ = new TVer(this);  // created hidden once, reused
}

Tmain::~Tmain() = default;

QLabel* Tmain::statusPanel(int index) const {
  return panels_[index];
}

QList<QAction*> Tmain::tapeItems() const {
  return {ui->N5, ui->N6, ui->N7, ui->N9, ui->N10, ui->N11, ui->N13, ui->N15, ui->N16, ui->N18};
}

void Tmain::FormCreate() {
  menuactive(false);
  optget();
}

void Tmain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // FormActivate runs once, when the window is first shown and active; queued so the
  // window is on screen before the modal dialog opens over it.
  if (!activated_) {
    activated_ = true;
    QTimer::singleShot(0, this, &Tmain::FormActivate);
  }
}

void Tmain::FormActivate() {
  app_.scsiid = -1;
  showIdDialog();
  optget();
  emit formActivated();
}

void Tmain::showIdDialog() {
  Tidset dialog(app_, this);
  dialog.exec();
}

void Tmain::Tool1Click() {
  // optset may fail ("に書き込めません"): the re-bind is then skipped and the menu keeps
  // its previous state.
  runHandler(app_.messages, [this] {
    optset();
    devset();
  });
}

void Tmain::devset() {
  if (app_.scsiid == -1) {
    panels_[1]->setText(QString::fromUtf8(kIdUnusable));
    menuactive(false);
    return;
  }
  panels_[1]->setText(QStringLiteral(" %1").arg(app_.scsiid));
  if (app_.sf.OpenDevice(app_.scsiid, app_.opt.rewindimm, app_.opt.eoduse)) {
    menuactive(true);
  } else {
    menuactive(false);
    app_.messages.show(BoxType::Plain, "システム初期化失敗");
  }
}

void Tmain::N3Click() {
  app_.scsiid = -1;
  showIdDialog();
  devset();
}

// The three tape dialogs: each plugs its form in through tape_dialogs.h.
void Tmain::N5Click() {
  showBackupDialog(app_, this);
}
void Tmain::N6Click() {
  showRestoreDialog(app_, this);
}
void Tmain::N7Click() {
  showTestDialog(app_, this);
}

void Tmain::maintenance(jobs::MaintenanceResult result) {
  if (result.disableTapeItems) menuactive(false);
}

void Tmain::N11Click() {
  maintenance(jobs::rewindTape(app_.sf, app_.messages));
}

void Tmain::N9Click() {
  Hourglass hourglass;
  maintenance(jobs::retensionTape(app_.sf, app_.messages, hourglass.callback()));
}

void Tmain::N18Click() {
  maintenance(jobs::ejectTape(app_.sf, app_.messages));
}

void Tmain::N15Click() {
  Hourglass hourglass;
  maintenance(jobs::deleteLastSet(app_.sf, app_.messages, hourglass.callback()));
}

void Tmain::N16Click() {
  Hourglass hourglass;
  maintenance(jobs::deleteSetsFrom(app_.sf, app_.messages, hourglass.callback()));
}

void Tmain::N10Click() {
  maintenance(jobs::eraseTape(app_.sf, app_.messages));
}

void Tmain::N13Click() {
  Hourglass hourglass;
  maintenance(jobs::formatTape(app_.sf, app_.messages, app_.messages, hourglass.callback()));
}

void Tmain::N2Click() {
  ver_->exec();
}

void Tmain::Exit1Click() {
  close();
}

void Tmain::BitBtn1Click() {
  close();
}

void Tmain::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void Tmain::FormClose() {
  // The window stays closable when the options cannot be written: the error is shown,
  // then the window closes all the same.
  runHandler(app_.messages, [this] { optset(); });
}

void Tmain::optget() {
  app_.opt = loadOptions(app_.optionsPath);
  (app_.opt.rewindimm ? ui->RadioButton4 : ui->RadioButton5)->setChecked(true);
  (app_.opt.eoduse ? ui->RadioButton6 : ui->RadioButton7)->setChecked(true);
  ui->CheckBox1->setChecked(app_.opt.timecheck);
  ui->CheckBox2->setChecked(app_.opt.namecheck);
}

void Tmain::optset() {
  app_.opt.rewindimm = ui->RadioButton4->isChecked();
  app_.opt.eoduse = ui->RadioButton6->isChecked();
  app_.opt.timecheck = ui->CheckBox1->isChecked();
  app_.opt.namecheck = ui->CheckBox2->isChecked();
  saveOptions(app_.optionsPath, app_.opt);
}

void Tmain::menuactive(bool flag) {
  for (QAction* item : tapeItems()) item->setEnabled(flag);
}

}  // namespace korv::gui
