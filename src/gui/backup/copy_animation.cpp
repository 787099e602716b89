#include "gui/backup/copy_animation.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace korv::gui {

namespace {

void drawFolder(QPainter& p, QRectF r) {
  p.setPen(QPen(QColor(150, 110, 20), 1));
  p.setBrush(QColor(240, 200, 80));
  QPainterPath tab;
  tab.addRoundedRect(QRectF(r.left(), r.top(), r.width() * 0.45, r.height() * 0.3), 2, 2);
  p.drawPath(tab);
  p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.18, r.width(), r.height() * 0.82), 2,
                    2);
}

void drawCartridge(QPainter& p, QRectF r) {
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(70, 70, 80));
  p.drawRoundedRect(r, 3, 3);
  p.setBrush(QColor(230, 230, 230));
  const QRectF label(r.left() + 4, r.top() + 4, r.width() - 8, r.height() * 0.35);
  p.drawRect(label);
  p.setBrush(QColor(30, 30, 30));
  const double y = r.top() + r.height() * 0.68;
  const double radius = r.height() * 0.14;
  p.drawEllipse(QPointF(r.left() + r.width() * 0.3, y), radius, radius);
  p.drawEllipse(QPointF(r.left() + r.width() * 0.7, y), radius, radius);
}

void drawSheet(QPainter& p, QPointF centre) {
  const QRectF sheet(centre.x() - 8, centre.y() - 10, 16, 20);
  p.setPen(QPen(QColor(90, 90, 90), 1));
  p.setBrush(Qt::white);
  p.drawRect(sheet);
  p.setPen(QPen(QColor(120, 140, 200), 1));
  for (int line = 0; line < 4; ++line)
    p.drawLine(QPointF(sheet.left() + 3, sheet.top() + 5 + line * 4),
               QPointF(sheet.right() - 3, sheet.top() + 5 + line * 4));
}

}  // namespace

CopyAnimation::CopyAnimation(QWidget* parent) : QWidget(parent) {
  timer_.setInterval(kFrameMs);
  connect(&timer_, &QTimer::timeout, this, [this] {
    frame_ = (frame_ + 1) % kFrames;
    update();
  });
}

void CopyAnimation::start() {
  if (!timer_.isActive()) timer_.start();
}

void CopyAnimation::stop() {
  timer_.stop();
  frame_ = 0;
  update();
}

void CopyAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const double h = height();
  const QRectF folder(20, h * 0.3, 48, h * 0.55);
  const QRectF cartridge(width() - 78, h * 0.28, 58, h * 0.6);
  drawFolder(p, folder);
  drawCartridge(p, cartridge);
  if (!timer_.isActive()) return;
  // The sheet rises out of the folder, arcs over and drops into the cartridge.
  const double t = static_cast<double>(frame_) / (kFrames - 1);
  const double x0 = folder.center().x();
  const double x1 = cartridge.center().x();
  const double x = x0 + (x1 - x0) * t;
  // Its highest point keeps the whole sheet inside the widget.
  const double y = folder.top() + 4 - std::sin(t * 3.14159265) * (folder.top() + 4 - 11);
  drawSheet(p, QPointF(x, y));
}

}  // namespace korv::gui
