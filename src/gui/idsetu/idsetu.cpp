#include "gui/idsetu/idsetu.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QTimer>

#include "gui/common/window_geometry.h"
#include "sys/cp932.h"
#include "ui_idsetu.h"

namespace korv::gui {

namespace {

const QSize kClientSize(626, 301);
constexpr int kColumnWidths[5] = {50, 167, 107, 119, 149};
constexpr int kRowHeight = 20;

QString text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

}  // namespace

Tidset::Tidset(AppContext& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      ui(std::make_unique<Ui::Tidset>()),
      scan_(app.bus, app.pump, app.messages) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);

  QTableWidget* grid = ui->StringGrid;
  // Row 0 of the original grid is the header row; rows 1..8 are the grid's rows 0..7.
  grid->setRowCount(kScanTargets);
  grid->setColumnCount(5);
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setMinimumSectionSize(kRowHeight);
  grid->verticalHeader()->setDefaultSectionSize(kRowHeight);
  grid->horizontalHeader()->setFixedHeight(kRowHeight);
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid->horizontalHeader()->setHighlightSections(false);
  grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int column = 0; column < 5; ++column) {
    grid->setColumnWidth(column, kColumnWidths[column]);
    grid->setHorizontalHeaderItem(column, new QTableWidgetItem());
  }
  grid->setWordWrap(false);
  clearGrid();
  showCurrentRow();  // a grid starts on its first row

  // Rows appear as their INQUIRY completes, and the preselection with them.
  scan_.setRowObserver([this](int id) {
    showRow(id);
    showChoice();
  });

  connect(grid, &QTableWidget::currentCellChanged, this, [this] {
    if (!filling_) StringGridClick();
  });
  connect(grid, &QTableWidget::cellClicked, this, &Tidset::StringGridClick);
  connect(ui->BitBtn1, &QPushButton::clicked, this, &Tidset::BitBtn1Click);

  fixClientSize(*this, kClientSize);
}

Tidset::~Tidset() = default;

QTableWidget* Tidset::grid() const {
  return ui->StringGrid;
}

void Tidset::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  scanned_ = false;
  // The scan runs once the dialog is on screen, inside its own modal loop: the dialog
  // paints and reacts while each INQUIRY is pending.
  QTimer::singleShot(0, this, &Tidset::FormActivate);
}

void Tidset::setCell(int row, int column, const QString& value) {
  QTableWidgetItem* item = ui->StringGrid->item(row, column);
  if (item == nullptr) {
    item = new QTableWidgetItem();
    if (column == 0) {
      // The fixed column: never chosen as a cell of its own.
      item->setBackground(palette().button());
      item->setForeground(palette().buttonText());
    }
    ui->StringGrid->setItem(row, column, item);
  }
  item->setText(value);
}

void Tidset::clearGrid() {
  for (int column = 0; column < 5; ++column)
    ui->StringGrid->horizontalHeaderItem(column)->setText(text(kScanHeaders[column]));
  for (int id = 0; id < kScanTargets; ++id) {
    setCell(id, 0, text("  " + std::to_string(id)));
    for (int column = 1; column < 5; ++column) setCell(id, column, QString());
  }
}

void Tidset::FormActivate() {
  if (scanning_) return;
  scanning_ = true;
  scanned_ = false;
  clearGrid();
  // The core's scan: INQUIRY to ids 0..7 with the wait pumping events, the preselection
  // and the host adapter's row.
  if (scan_.scan()) {
    for (int id = 0; id < kScanTargets; ++id) showRow(id);  // with the host adapter's row
    showChoice();
  }
  scanning_ = false;
  scanned_ = true;
  emit scanFinished();
}

void Tidset::showRow(int id) {
  const ScanRow& row = scan_.rows()[id];
  setCell(id, 0, text(row.id));
  setCell(id, 1, text(row.typeText));
  setCell(id, 2, text(displayText(row.vendor)));
  setCell(id, 3, text(displayText(row.product)));
  setCell(id, 4, text(displayText(row.revision)));
}

void Tidset::showCurrentRow() {
  filling_ = true;
  const int gridRow = scan_.currentRow() - 1;
  ui->StringGrid->setCurrentCell(gridRow, 1);
  ui->StringGrid->selectRow(gridRow);
  filling_ = false;
}

void Tidset::showChoice() {
  showCurrentRow();
  ui->Edit3->setText(text(scan_.idText()));
  if (scan_.chosenId() >= 0) app_.scsiid = scan_.chosenId();
}

void Tidset::StringGridClick() {
  const int gridRow = ui->StringGrid->currentRow();
  if (gridRow < 0) return;
  scan_.clickRow(gridRow + 1);
  ui->Edit3->setText(text(scan_.idText()));
  if (scan_.chosenId() >= 0) app_.scsiid = scan_.chosenId();
}

void Tidset::BitBtn1Click() {
  accept();
}

}  // namespace korv::gui
