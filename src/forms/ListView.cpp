#include "forms/ListView.h"

#include <algorithm>
#include <cmath>

#include "automation/Error.h"
#include "automation/Text.h"
#include "forms/Backend.h"

namespace forms {
namespace {
[[noreturn]] void badIndex() {
  automation::raise(35600, u"Index out of bounds");
}
}  // namespace

void ListView::addColumn(std::u16string text) {
  columns_.push_back({std::move(text), 1440});
  changed(Property::Columns);
}

const ListView::Column& ListView::column(std::int32_t index) const {
  if (index < 0 || index >= columnCount()) badIndex();
  return columns_[static_cast<std::size_t>(index)];
}

void ListView::setColumnWidth(std::int32_t index, Twips width) {
  if (index < 0 || index >= columnCount()) badIndex();
  columns_[static_cast<std::size_t>(index)].width = width;
  changed(Property::Columns);
}

void ListView::clearColumns() {
  columns_.clear();
  changed(Property::Columns);
}

std::int32_t ListView::addItem(std::u16string text) {
  items_.push_back({std::move(text), {}, nextId_++});
  changed(Property::Items);
  return itemCount() - 1;
}

void ListView::addSubItem(std::int32_t row, std::u16string text) {
  if (row < 0 || row >= itemCount()) badIndex();
  items_[static_cast<std::size_t>(row)].subItems.push_back(std::move(text));
  changed(Property::Items);
}

void ListView::setItems(std::vector<Item> items) {
  items_ = std::move(items);
  for (Item& item : items_) item.id = nextId_++;
  selectedId_ = 0;
  topIndex_ = 0;
  if (sorted_) sort();
  changed(Property::Items);
}

const ListView::Item& ListView::item(std::int32_t row) const {
  if (row < 0 || row >= itemCount()) badIndex();
  return items_[static_cast<std::size_t>(row)];
}

void ListView::clearItems() {
  items_.clear();
  selectedId_ = 0;
  topIndex_ = 0;
  changed(Property::Items);
}

void ListView::setHideColumnHeaders(bool v) {
  hideHeaders_ = v;
  changed(Property::Style);
}

void ListView::setFullRowSelect(bool v) {
  fullRowSelect_ = v;
  changed(Property::Style);
}

void ListView::setGridLines(bool v) {
  gridLines_ = v;
  changed(Property::Style);
}

Twips ListView::rowHeight() const {
  return static_cast<Twips>(backend().rowHeight(font()));
}

void ListView::setSorted(bool v) {
  sorted_ = v;
  if (sorted_) sort();
}

void ListView::setSortKey(std::int32_t column) {
  if (column < 0) automation::raise(380, u"Invalid property value");
  sortKey_ = column;
  if (sorted_) sort();
}

void ListView::setSortOrder(SortOrder order) {
  sortOrder_ = order;
  if (sorted_) sort();
}

void ListView::sort() {
  const auto key = static_cast<std::size_t>(sortKey_);
  const auto textOf = [key](const Item& item) -> const std::u16string& {
    static const std::u16string none;
    if (key == 0) return item.text;
    return key <= item.subItems.size() ? item.subItems[key - 1] : none;
  };
  // Folding once per row keeps the sort fast for long lists.
  std::vector<std::pair<std::u16string, std::size_t>> keys;
  keys.reserve(items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i) keys.emplace_back(automation::upper(textOf(items_[i])), i);
  const bool descending = sortOrder_ == SortOrder::Descending;
  std::stable_sort(keys.begin(), keys.end(), [descending](const auto& a, const auto& b) {
    return descending ? b.first < a.first : a.first < b.first;
  });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (const auto& k : keys) sorted.push_back(std::move(items_[k.second]));
  items_ = std::move(sorted);
  changed(Property::Items);
}

std::int32_t ListView::selectedIndex() const {
  if (selectedId_ == 0) return -1;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].id == selectedId_) return static_cast<std::int32_t>(i);
  }
  return -1;
}

void ListView::select(std::int32_t row) {
  if (row < -1 || row >= itemCount()) badIndex();
  selectedId_ = row < 0 ? 0 : items_[static_cast<std::size_t>(row)].id;
  changed(Property::Selection);
}

std::int32_t ListView::visibleRows() const {
  const Twips header = hideHeaders_ ? 0 : rowHeight();
  const Twips h = rowHeight();
  return h <= 0 ? 0 : std::max(1, static_cast<std::int32_t>(std::floor((Height() - header) / h)));
}

void ListView::setTopIndex(std::int32_t row) {
  topIndex_ = std::clamp(row, 0, std::max(0, itemCount() - 1));
  changed(Property::Scroll);
}

void ListView::EnsureVisible(std::int32_t row) {
  if (row < 0 || row >= itemCount()) badIndex();
  if (row < topIndex_) {
    setTopIndex(row);
  } else if (row >= topIndex_ + visibleRows()) {
    setTopIndex(row - visibleRows() + 1);
  }
}

std::int32_t ListView::HitTest(Twips x, Twips y) const {
  const Twips header = hideHeaders_ ? 0 : rowHeight();
  const Twips h = rowHeight();
  if (x < 0 || y < header || h <= 0) return -1;
  Twips total = 0;
  for (const Column& c : columns_) total += c.width;
  if (!fullRowSelect_ && !columns_.empty() && x > columns_.front().width) return -1;
  if (x > total && !columns_.empty()) return -1;
  const auto row = topIndex_ + static_cast<std::int32_t>(std::floor((y - header) / h));
  return row < itemCount() ? row : -1;
}

bool ListView::requestLabelEdit() {
  bool cancel = false;
  if (BeforeLabelEdit) BeforeLabelEdit(cancel);
  return !cancel;
}

}  // namespace forms
