#include "app/DeviceListView.h"

#include <QPainter>
#include <algorithm>

#include "app/Icons.h"

namespace app {

int DeviceRowModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

bool DeviceRowModel::stillListed(const DeviceData* d) const {
  return std::any_of(rows_.rows().begin(), rows_.rows().end(),
                     [d](const DeviceRow& r) { return r.data.get() == d; });
}

// Rows may be deleted before the view hears of it (a dialog lets it paint meanwhile): a row is
// only read once it is known to be still listed.
const DeviceData* DeviceRowModel::device(int row) const {
  if (row < 0 || row >= static_cast<int>(shown_.size())) return nullptr;
  const DeviceData* d = shown_[static_cast<std::size_t>(row)];
  return stillListed(d) ? d : nullptr;
}

int DeviceRowModel::rowOf(const DeviceData* d) const {
  if (!d || !stillListed(d)) return -1;
  const auto it = std::find(shown_.begin(), shown_.end(), d);
  return it == shown_.end() ? -1 : static_cast<int>(it - shown_.begin());
}

int DeviceRowModel::picture(int row) const {
  const DeviceData* d = device(row);
  if (!d) return -1;
  for (const auto& r : rows_.rows())
    if (r.data.get() == d) return r.picture;
  return -1;
}

QVariant DeviceRowModel::data(const QModelIndex& index, int role) const {
  const DeviceData* d = device(index.row());
  if (!d) return {};
  if (role == Qt::DisplayRole) return QString::fromStdString(d->displayName);
  if (role == Qt::ToolTipRole) return QString::fromStdString(d->displayName + d->status);
  return {};
}

void DeviceRowModel::reload() {
  // Rows gone, from the bottom up so that the indexes below stay true.
  for (int i = static_cast<int>(shown_.size()) - 1; i >= 0; --i) {
    if (stillListed(shown_[static_cast<std::size_t>(i)])) continue;
    beginRemoveRows({}, i, i);
    shown_.erase(shown_.begin() + i);
    endRemoveRows();
  }
  // New rows, at the end for now.
  for (const auto& r : rows_.rows()) {
    if (std::find(shown_.begin(), shown_.end(), r.data.get()) != shown_.end()) continue;
    const int at = static_cast<int>(shown_.size());
    beginInsertRows({}, at, at);
    shown_.push_back(r.data.get());
    endInsertRows();
  }
  // The order of the rows: the current and selected rows move with their devices.
  std::vector<const DeviceData*> order;
  for (const auto& r : rows_.rows()) order.push_back(r.data.get());
  if (order != shown_) {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& i : before) {
      const DeviceData* d = shown_[static_cast<std::size_t>(i.row())];
      const auto at = std::find(order.begin(), order.end(), d) - order.begin();
      after.push_back(index(static_cast<int>(at), i.column()));
    }
    shown_ = std::move(order);
    changePersistentIndexList(before, after);
    emit layoutChanged();
  }
  if (!shown_.empty()) emit dataChanged(index(0), index(static_cast<int>(shown_.size()) - 1));
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
