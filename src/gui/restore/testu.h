#pragma once
// The test dialog: the shared set browser and "テスト開始", which runs the core's test
// run with this dialog as its faces. The file list and the open set stay after a run.

#include <memory>

#include "gui/restore/set_browser_dialog.h"

namespace Ui {
class Ttest;
}

namespace korv::gui {

class Ttest : public SetBrowserDialog {
  Q_OBJECT

 public:
  explicit Ttest(AppContext& app, QWidget* parent = nullptr);
  ~Ttest() override;

 protected:
  jobs::RunResult run(jobs::RunFaces& faces, jobs::Selection& selection) override;

 private:
  std::unique_ptr<Ui::Ttest> ui;
};

}  // namespace korv::gui
