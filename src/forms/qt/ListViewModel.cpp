#include "forms/qt/ListViewModel.h"

#include <QSize>
#include <algorithm>

namespace forms::qt {

int ListViewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : list_.itemCount();
}

int ListViewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max(1, list_.columnCount());
}

QVariant ListViewModel::data(const QModelIndex& index, int role) const {
  if (index.row() >= list_.itemCount()) return {};
  if (role == Qt::SizeHintRole) return QSize(-1, backend_.pixelsY(list_.rowHeight()));
  if (role != Qt::DisplayRole) return {};
  const auto& item = list_.items()[static_cast<std::size_t>(index.row())];
  if (index.column() == 0) return toQString(item.text);
  const auto k = static_cast<std::size_t>(index.column() - 1);
  return k < item.subItems.size() ? toQString(item.subItems[k]) : QString();
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= list_.columnCount()) return {};
  return toQString(list_.column(section).text);
}

void ListViewModel::reset() {
  beginResetModel();
  endResetModel();
}

}  // namespace forms::qt
