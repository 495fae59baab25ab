#include "app/Icons.h"

#include <QPainter>
#include <QPixmap>

namespace app {
namespace {

// A small plug over a network cable; the attention icon adds an orange warning dot.
QPixmap drawTray(bool attention) {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(20, 60, 130), 2));
  p.setBrush(QColor(60, 130, 210));
  p.drawRoundedRect(6, 4, 20, 14, 3, 3);
  p.setBrush(Qt::white);
  p.drawRect(11, 8, 4, 5);
  p.drawRect(17, 8, 4, 5);
  p.setPen(QPen(QColor(20, 60, 130), 3));
  p.drawLine(16, 18, 16, 26);
  p.drawLine(6, 27, 26, 27);
  if (attention) {
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(QColor(240, 120, 0));
    p.drawEllipse(QRectF(18, 16, 13, 13));
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(QPointF(24.5, 19), QPointF(24.5, 24));
    p.drawPoint(QPointF(24.5, 26.5));
  }
  return pm;
}

}  // namespace

QIcon trayIcon(int index) {
  static const QIcon icons[2] = {QIcon(drawTray(false)), QIcon(drawTray(true))};
  return icons[index == 1 ? 1 : 0];
}

}  // namespace app
