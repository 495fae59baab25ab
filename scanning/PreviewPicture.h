#pragma once
// The preview of a page: the picture drawn at the widget's size, whatever that is. Only the part
// on the screen is drawn, straight from the picture, so a large page zoomed in costs no copy of
// itself; a view much smaller than the picture is drawn from one smoothed reduction.
#include <QImage>
#include <QLabel>

namespace scanning {

class PreviewPicture : public QLabel {
 public:
  using QLabel::QLabel;
  void setPicture(const QImage& picture);  // shared with the caller, not copied
  void clearPicture();
  const QImage& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  QImage reduced_;  // the picture at the widget's size, made when the view is under half size
};

}  // namespace scanning
