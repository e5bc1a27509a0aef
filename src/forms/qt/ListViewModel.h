// The rows of a list view as a Qt table model, for the QTreeView that shows them.
#pragma once

#include <QAbstractTableModel>

#include "forms/ListView.h"
#include "forms/qt/QtBackend.h"

namespace forms::qt {

// The list view's rows, read straight from the model's vectors (no copies per row).
class ListViewModel final : public QAbstractTableModel {
 public:
  ListViewModel(const QtBackend& backend, ListView& list) : backend_(backend), list_(list) {}
  int rowCount(const QModelIndex& parent) const override;
  int columnCount(const QModelIndex& parent) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // The rows or columns changed: the view asks again for what it shows.
  void reset();

 private:
  const QtBackend& backend_;
  ListView& list_;
};

}  // namespace forms::qt
