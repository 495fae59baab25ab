#include "scanning/PreviewPicture.h"

#include <QPaintEvent>
#include <QPainter>

namespace scanning {

void PreviewPicture::setPicture(const QImage& picture) {
  picture_ = picture;
  reduced_ = QImage();
  update();
}

void PreviewPicture::clearPicture() {
  picture_ = QImage();
  reduced_ = QImage();
  clear();
  update();
}

void PreviewPicture::paintEvent(QPaintEvent* event) {
  if (picture_.isNull() || width() <= 0 || height() <= 0) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  // Sampling a few source pixels per screen pixel would drop the thin lines of a page.
  if (2 * width() <= picture_.width() || 2 * height() <= picture_.height()) {
    if (reduced_.size() != size())
      reduced_ = picture_.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(event->rect(), reduced_, event->rect());
    return;
  }
  reduced_ = QImage();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(rect()), picture_, QRectF(picture_.rect()));
}

}  // namespace scanning
