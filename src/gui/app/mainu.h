#pragma once
// The main window `main`: the options panel, the menu with the tape
// maintenance commands and the three tape dialogs, the status bar with the
// chosen id, and the binding of the program's one tape component `sf`. Its handlers
// gather what the window shows and call the core; no tape step lives here.

#include <QMainWindow>

#include <memory>

#include "gui/common/app_context.h"
#include "jobs/maintenance_commands.h"

class QAction;
class QLabel;

namespace Ui {
class Tmain;
}

namespace korv::gui {

class TVer;

class Tmain : public QMainWindow {
  Q_OBJECT

 public:
  explicit Tmain(AppContext& app, QWidget* parent = nullptr);
  ~Tmain() override;

  AppContext& app() { return app_; }
  TVer& Ver() { return *ver_; }

  // The status bar's three panels (0: "TAPE SCSI-ID=", 1: the id, 2: empty).
  QLabel* statusPanel(int index) const;
  // The ten tape items, in the order menuactive sets them.
  QList<QAction*> tapeItems() const;

  // Handlers, named after control and event as the system names them.
 public slots:
  void FormActivate();
  void Tool1Click();
  void N3Click();   // TAPE SCSI ＩＤの設定
  void N5Click();   // バックアップ
  void N6Click();   // リストア
  void N7Click();   // テスト
  void N11Click();  // リワインド
  void N9Click();   // 巻き直し
  void N18Click();  // 取り出し
  void N15Click();  // 最後のバックアップセットを削除
  void N16Click();  // 指定した番号以降のバックアップセットを削除
  void N10Click();  // イレース
  void N13Click();  // フォーマット
  void N2Click();   // バージョン情報の表示
  void Exit1Click();
  void BitBtn1Click();

 public:
  void optget();
  void optset();  // throws std::runtime_error("<path> に書き込めません")
  void menuactive(bool flag);

 signals:
  // FormActivate has ended (the start-up SCSI ID dialog closed, the options read again).
  void formActivated();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormClose();
  void devset();
  void showIdDialog();
  void maintenance(jobs::MaintenanceResult result);

  AppContext& app_;
  std::unique_ptr<Ui::Tmain> ui;
  TVer* ver_ = nullptr;
  QLabel* panels_[3]{};
  bool activated_ = false;
};

}  // namespace korv::gui
