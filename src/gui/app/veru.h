#pragma once
// The version dialog `Ver`: the program's title and "Ver1.9", one button
// "了解". Created once, hidden, and reused.

#include <QDialog>

#include <memory>

namespace Ui {
class TVer;
}

namespace korv::gui {

class TVer : public QDialog {
  Q_OBJECT

 public:
  explicit TVer(QWidget* parent = nullptr);
  ~TVer() override;

 public slots:
  void Button1Click();

 private:
  std::unique_ptr<Ui::TVer> ui;
};

}  // namespace korv::gui
