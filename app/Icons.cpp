#include "app/Icons.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

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

constexpr int kSize = 48;

void drawPaper(QPainter& p, int x, int y, int w, int h) {
  p.setPen(QPen(QColor(90, 90, 90), 1));
  p.setBrush(Qt::white);
  p.drawRect(x, y, w, h);
  p.setPen(QPen(QColor(160, 160, 160), 1));
  for (int line = y + 3; line < y + h - 1; line += 3) p.drawLine(x + 2, line, x + w - 2, line);
}

void drawPrinterBody(QPainter& p, const QColor& body) {
  drawPaper(p, 14, 4, 20, 14);  // paper going in
  p.setPen(QPen(QColor(50, 50, 50), 1.5));
  p.setBrush(body);
  p.drawRoundedRect(5, 16, 38, 18, 3, 3);
  p.setBrush(QColor(40, 40, 40));
  p.drawRect(12, 30, 24, 3);
  drawPaper(p, 14, 33, 20, 10);  // paper coming out
  p.setBrush(QColor(60, 200, 80));
  p.setPen(Qt::NoPen);
  p.drawEllipse(35, 20, 4, 4);
}

void drawScannerBody(QPainter& p, int top) {
  p.setPen(QPen(QColor(50, 50, 50), 1.5));
  p.setBrush(QColor(200, 205, 215));
  p.drawRoundedRect(4, top, 40, 12, 3, 3);
  p.setBrush(QColor(120, 170, 230));
  p.drawRect(8, top + 3, 32, 4);
}

QPixmap drawDevice(int index) {
  QPixmap pm(kSize, kSize);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0:  // MFP: a printer with a scanner lid
      drawPrinterBody(p, QColor(215, 215, 220));
      drawScannerBody(p, 9);
      break;
    case 1:
      drawPrinterBody(p, QColor(215, 215, 220));
      break;
    case 2:  // storage: a USB stick
      p.setPen(QPen(QColor(50, 50, 50), 1.5));
      p.setBrush(QColor(70, 110, 190));
      p.drawRoundedRect(10, 14, 26, 22, 4, 4);
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(36, 19, 8, 12);
      p.setBrush(QColor(60, 60, 60));
      p.drawRect(39, 22, 2, 2);
      p.drawRect(39, 26, 2, 2);
      break;
    case 3:  // scanner: a flatbed with its lid raised
      p.setPen(QPen(QColor(50, 50, 50), 1.5));
      p.setBrush(QColor(230, 230, 235));
      p.drawPolygon(QPolygon({{6, 24}, {42, 24}, {36, 8}, {12, 8}}));
      drawScannerBody(p, 24);
      break;
    default:  // another USB device: the USB trident
      p.setPen(QPen(QColor(60, 60, 60), 3));
      p.drawLine(24, 8, 24, 40);
      p.drawLine(24, 30, 14, 22);
      p.drawLine(24, 24, 34, 18);
      p.setBrush(QColor(60, 60, 60));
      p.drawEllipse(QPointF(24, 40), 4, 4);
      p.drawEllipse(QPointF(14, 21), 3, 3);
      p.drawRect(32, 14, 5, 5);
      p.drawPolygon(QPolygon({{24, 4}, {20, 10}, {28, 10}}));
      break;
  }
  return pm;
}

// A badge in the lower left corner: a green check (here), a red bar (elsewhere), a blue dot (free).
QPixmap drawOverlay(int index) {
  QPixmap pm(kSize, kSize);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor colours[] = {QColor(0, 126, 0), QColor(220, 0, 0), QColor(0, 90, 230)};
  p.setPen(QPen(Qt::white, 1.5));
  p.setBrush(colours[index]);
  p.drawEllipse(QRectF(1, 29, 18, 18));
  p.setPen(QPen(Qt::white, 2.5));
  if (index == 0) p.drawPolyline(QPolygonF({{5.5, 38}, {9, 42}, {15, 34}}));
  if (index == 1) p.drawLine(QPointF(5.5, 38), QPointF(14.5, 38));
  if (index == 2) {
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(7.5, 35.5, 5, 5));
  }
  return pm;
}

}  // namespace

const QPixmap& devicePicture(int index) {
  static const QPixmap pictures[5] = {drawDevice(0), drawDevice(1), drawDevice(2), drawDevice(3),
                                      drawDevice(4)};
  return pictures[index >= 0 && index < 5 ? index : 4];
}

const QPixmap& deviceOverlay(int index) {
  static const QPixmap overlays[3] = {drawOverlay(0), drawOverlay(1), drawOverlay(2)};
  return overlays[index >= 0 && index < 3 ? index : 0];
}

QIcon trayIcon(int index) {
  static const QIcon icons[2] = {QIcon(drawTray(false)), QIcon(drawTray(true))};
  return icons[index == 1 ? 1 : 0];
}

namespace {

// A plug and a socket: joined (connect), apart with a red cross (disconnect).
void drawPlug(QPainter& p, bool joined) {
  const int gap = joined ? 0 : 4;
  p.setPen(QPen(QColor(20, 60, 130), 1.5));
  p.setBrush(QColor(60, 130, 210));
  p.drawRoundedRect(QRectF(1, 6, 7, 8), 1.5, 1.5);  // the socket
  p.drawLine(QPointF(8, 8), QPointF(10.0 - gap, 8));
  p.drawLine(QPointF(8, 12), QPointF(10.0 - gap, 12));
  p.drawRoundedRect(QRectF(10 + gap / 2.0, 5, 6, 10), 1.5, 1.5);  // the plug
  p.drawLine(QPointF(16 + gap / 2.0, 10), QPointF(19, 10));
}

QPixmap drawMenuPicture(int index) {
  QPixmap pm(20, 20);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  if (index == 0) {
    drawPlug(p, true);
    p.setPen(QPen(QColor(0, 150, 40), 2));
    p.drawLine(QPointF(3, 17), QPointF(6, 19));
    p.drawLine(QPointF(6, 19), QPointF(11, 14));
  } else if (index == 1) {
    drawPlug(p, false);
    p.setPen(QPen(QColor(210, 30, 30), 2));
    p.drawLine(QPointF(12, 12), QPointF(18, 18));
    p.drawLine(QPointF(18, 12), QPointF(12, 18));
  } else if (index == 4) {
    // A speech bubble with a question mark: asking the holder.
    p.setPen(QPen(QColor(20, 60, 130), 1.5));
    p.setBrush(QColor(255, 240, 170));
    p.drawRoundedRect(QRectF(1.5, 1.5, 17, 12), 3, 3);
    p.drawPolygon(QPolygonF({QPointF(5, 13.5), QPointF(5, 18), QPointF(9.5, 13.5)}));
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(1.5, 1, 17, 12), Qt::AlignCenter, "?");
  }
  return pm;
}

}  // namespace

QIcon menuPicture(int index) { return QIcon(drawMenuPicture(index)); }

}  // namespace app
