#pragma once
// The list view of the device rows: a thin model over DeviceRows and a delegate that draws each
// row itself (picture with its overlay, caption, coloured status, a silver line; no selection
// highlight).
#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <string>
#include <vector>

#include "app/DeviceRows.h"

namespace app {

class DeviceRowModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit DeviceRowModel(const DeviceRows& rows, QObject* parent = nullptr)
      : QAbstractListModel(parent), rows_(rows) {}
  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // The rows changed: rows gone are removed, new ones inserted, the order and the texts brought
  // up to date in place, so that the view keeps its current row while it exists.
  void reload();
  // The row's device; null for a row whose device is gone and not yet removed from the view.
  const DeviceData* device(int row) const;
  int picture(int row) const;
  int rowOf(const DeviceData* d) const;  // -1 when the view does not show it

 private:
  bool stillListed(const DeviceData* d) const;

  const DeviceRows& rows_;
  std::vector<const DeviceData*> shown_;  // the rows as the view knows them
};

class DeviceRowDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  static constexpr int kRowHeight = 52;
  DeviceRowDelegate(const std::string& computerName, QObject* parent = nullptr)
      : QStyledItemDelegate(parent), computerName_(computerName) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  const std::string& computerName_;
};

class DeviceListView : public QListView {
  Q_OBJECT
 public:
  DeviceListView(const DeviceRows& rows, const std::string& computerName, QWidget* parent = nullptr);
  DeviceRowModel& model() { return model_; }
  void reload() { model_.reload(); }

 private:
  DeviceRowModel model_;
  DeviceRowDelegate delegate_;
};

}  // namespace app
