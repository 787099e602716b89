#pragma once
// The SCSI ID dialog: the grid of what answers INQUIRY at ids 0 to 7, the
// host adapter's own row, the preselected tape drive and the click that chooses another.
// The scan and the choice are the core's BusScan; the dialog shows its rows and writes
// the chosen id into `scsiid`.

#include <QDialog>

#include <memory>

#include "gui/common/app_context.h"
#include "scsi/bus_scan.h"

namespace Ui {
class Tidset;
}

class QTableWidget;

namespace korv::gui {

class Tidset : public QDialog {
  Q_OBJECT

 public:
  Tidset(AppContext& app, QWidget* parent = nullptr);
  ~Tidset() override;

  // True once the activation's scan has ended (whatever its outcome).
  bool scanned() const { return scanned_; }
  bool scanning() const { return scanning_; }
  QTableWidget* grid() const;

 public slots:
  void FormActivate();
  void StringGridClick();
  void BitBtn1Click();

 signals:
  void scanFinished();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void clearGrid();
  void showRow(int id);
  void showCurrentRow();
  void showChoice();
  void setCell(int row, int column, const QString& text);

  AppContext& app_;
  std::unique_ptr<Ui::Tidset> ui;
  BusScan scan_;
  bool scanning_ = false;
  bool scanned_ = false;
  bool filling_ = false;  // the grid's current row is being set by the program
};

}  // namespace korv::gui
