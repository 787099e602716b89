#pragma once
// The progress dialog's file-copy animation, drawn here since Linux has no system one: a
// sheet flies from a folder to a tape cartridge in 26 frames. start() and stop() are
// what the dialog's setanimate does; a stopped animation shows its first frame.

#include <QTimer>
#include <QWidget>

namespace korv::gui {

class CopyAnimation : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kFrames = 26;
  static constexpr int kFrameMs = 80;

  explicit CopyAnimation(QWidget* parent = nullptr);

  void start();
  void stop();
  bool running() const { return timer_.isActive(); }
  int frame() const { return frame_; }

  QSize sizeHint() const override { return {272, 60}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer timer_;
  int frame_ = 0;
};

}  // namespace korv::gui
