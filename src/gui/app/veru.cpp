#include "gui/app/veru.h"

#include "gui/common/app_font.h"
#include "gui/common/window_geometry.h"
#include "ui_veru.h"

namespace korv::gui {

namespace {
const QSize kClientSize(317, 148);
constexpr int kTitlePixels = 16;
}  // namespace

TVer::TVer(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TVer>()) {
  ui->setupUi(this);
  // A dialog border with a system menu only.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  ui->Label1->setFont(gothicFont(kTitlePixels));
  ui->Label2->setFont(gothicFont(kTitlePixels));
  connect(ui->Button1, &QPushButton::clicked, this, &TVer::Button1Click);
  fixClientSize(*this, kClientSize);
}

TVer::~TVer() = default;

void TVer::Button1Click() {
  accept();
}

}  // namespace korv::gui
