#include "app/DeviceListView.h"

#include <QPainter>

#include "app/Icons.h"

namespace app {

int DeviceRowModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

const DeviceData* DeviceRowModel::device(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
  return rows_.rows()[static_cast<std::size_t>(row)].data.get();
}

int DeviceRowModel::picture(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return -1;
  return rows_.rows()[static_cast<std::size_t>(row)].picture;
}

QVariant DeviceRowModel::data(const QModelIndex& index, int role) const {
  const DeviceData* d = device(index.row());
  if (!d) return {};
  if (role == Qt::DisplayRole) return QString::fromStdString(d->displayName);
  if (role == Qt::ToolTipRole) return QString::fromStdString(d->displayName + d->status);
  return {};
}

void DeviceRowModel::reload() {
  beginResetModel();
  endResetModel();
}

QSize DeviceRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return {option.rect.width(), kRowHeight};
}

void DeviceRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const auto* model = static_cast<const DeviceRowModel*>(index.model());
  const DeviceData* d = model->device(index.row());
  const QRect r = option.rect;
  const int right = option.widget ? option.widget->width() : r.right();
  painter->save();
  painter->setPen(QPen(QColor(192, 192, 192), 1));
  painter->drawLine(r.left(), r.bottom(), right, r.bottom());
  const QRect text(r.left(), r.top(), right - r.left(), r.height() - 1);
  painter->setPen(Qt::black);
  painter->drawText(QRect(text.left() + 68, text.top() + 8, text.width() - 68, 16),
                    Qt::AlignLeft | Qt::AlignVCenter,
                    index.data(Qt::DisplayRole).toString());
  int overlay = kNoOverlay;
  if (d) {
    const StatusLook look = LookOfStatus(*d, computerName_);
    overlay = look.overlay;
    painter->setPen(QColor::fromRgb(look.rgb));
    painter->drawText(QRect(text.left() + 68, text.top() + 28, text.width() - 68,
                            text.height() - 29),
                      Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(d->status));
  }
  const int picture = model->picture(index.row());
  if (picture >= 0) {
    painter->drawPixmap(r.left() + 12, r.top(), devicePicture(picture));
    if (overlay != kNoOverlay) painter->drawPixmap(r.left() + 12, r.top(), deviceOverlay(overlay));
  }
  painter->restore();
}

DeviceListView::DeviceListView(const DeviceRows& rows, const std::string& computerName,
                               QWidget* parent)
    : QListView(parent), model_(rows), delegate_(computerName) {
  setObjectName("ListView");
  setModel(&model_);
  setItemDelegate(&delegate_);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setMouseTracking(true);
  setStyleSheet("QListView { background: white; }");
}

}  // namespace app
