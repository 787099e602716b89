#include "gui/restore/testu.h"

#include "gui/common/window_geometry.h"
#include "jobs/test_run.h"
#include "ui_testu.h"

namespace korv::gui {

namespace {

const QSize kClientSize(643, 426);

}  // namespace

Ttest::Ttest(AppContext& app, QWidget* parent)
    : SetBrowserDialog(app, parent), ui(std::make_unique<Ui::Ttest>()) {
  ui->setupUi(this);
  attach({ui->Button1, ui->Button2, ui->Button3, ui->Button4, ui->Button5, ui->Edit1, ui->Edit2,
          ui->Edit4, ui->Edit5, ui->ListBox1, ui->ListBox2, ui->Memo1});
  fixClientSize(*this, kClientSize);
}

Ttest::~Ttest() = default;

jobs::RunResult Ttest::run(jobs::RunFaces& faces, jobs::Selection& selection) {
  return jobs::testRun(app_.sf, selection, faces);
}

}  // namespace korv::gui
