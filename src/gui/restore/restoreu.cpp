#include "gui/restore/restoreu.h"

#include <QDir>

#include "gui/common/window_geometry.h"
#include "gui/widgets/folder_tree.h"
#include "jobs/restore_run.h"
#include "ui_restoreu.h"

namespace korv::gui {

namespace {

const QSize kClientSize(673, 499);

QString withSeparator(QString folder) {
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

}  // namespace

QString destinationText(const QString& folder) {
  return withSeparator(folder.isEmpty() ? QDir::currentPath() : folder);
}

Trestore::Trestore(AppContext& app, QWidget* parent)
    : SetBrowserDialog(app, parent), ui(std::make_unique<Ui::Trestore>()) {
  ui->setupUi(this);
  attach({ui->Button1, ui->Button2, ui->Button3, ui->Button4, ui->Button5, ui->Edit1, ui->Edit2,
          ui->Edit4, ui->Edit5, ui->ListBox1, ui->ListBox2, ui->Memo1});
  ui->fv->setMessages(&app.messages);
  connect(ui->fv, &TFolderTreeViewEx::OnChange, this, &Trestore::fvChange);
  fixClientSize(*this, kClientSize);
}

Trestore::~Trestore() = default;

void Trestore::fvChange(const QString& folder) {
  ui->Edit3->setText(destinationText(folder));
}

TFolderTreeViewEx& Trestore::folderTree() {
  return *ui->fv;
}

std::string Trestore::destination() {
  return ui->Edit3->text().toStdString();
}

jobs::RunResult Trestore::run(jobs::RunFaces& faces, jobs::Selection& selection) {
  return jobs::restoreRun(app_.sf, selection, *this, faces);
}

void Trestore::runFinished() {
  emptyFileList();
}

}  // namespace korv::gui
