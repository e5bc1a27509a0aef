// A list in report view: rows with columns, sorting by a column's text, hit testing.
#pragma once

#include <string>
#include <vector>

#include "forms/Control.h"

namespace forms {

enum class SortOrder { Ascending = 0, Descending = 1 };

class ListView final : public Control {
 public:
  struct Column {
    std::u16string text;
    Twips width = 1440;
  };
  struct Item {
    std::u16string text;
    std::vector<std::u16string> subItems;  // column 1, 2, …
    std::uint64_t id = 0;                  // identity that survives sorting
  };

  ListView(Form& form, std::u16string name, Control* container = nullptr)
      : Control(form, ControlKind::ListView, std::move(name), container) {}

  bool focusable() const override { return true; }

  // Columns.
  void addColumn(std::u16string text);
  std::int32_t columnCount() const { return static_cast<std::int32_t>(columns_.size()); }
  const Column& column(std::int32_t index) const;  // 0-based
  void setColumnWidth(std::int32_t index, Twips width);
  void clearColumns();

  // Rows. Indexes are 0-based here; the platform's ListItems count from 1.
  std::int32_t addItem(std::u16string text);  // returns the new row's index
  void addSubItem(std::int32_t row, std::u16string text);
  // Fills many rows at once (one notification to the backend).
  void setItems(std::vector<Item> items);
  std::int32_t itemCount() const { return static_cast<std::int32_t>(items_.size()); }
  const Item& item(std::int32_t row) const;  // error 35600 outside the list
  const std::vector<Item>& items() const { return items_; }
  void clearItems();

  // Look.
  bool HideColumnHeaders() const { return hideHeaders_; }
  void setHideColumnHeaders(bool v);
  bool FullRowSelect() const { return fullRowSelect_; }
  void setFullRowSelect(bool v);
  bool GridLines() const { return gridLines_; }
  void setGridLines(bool v);
  // The height of one row in the current font (twips); the backend measures it.
  Twips rowHeight() const;

  // Sorting compares the texts of the SortKey column (0 = the row text), ignoring letter case.
  bool Sorted() const { return sorted_; }
  void setSorted(bool v);
  std::int32_t SortKey() const { return sortKey_; }
  void setSortKey(std::int32_t column);
  SortOrder sortOrder() const { return sortOrder_; }
  void setSortOrder(SortOrder order);

  // Selection: the selected row's index, -1 when none.
  std::int32_t selectedIndex() const;
  void select(std::int32_t row);
  // The first row shown at the top, and scrolling a row into view.
  std::int32_t topIndex() const { return topIndex_; }
  void setTopIndex(std::int32_t row);
  void EnsureVisible(std::int32_t row);
  // Rows that fit in the control's height.
  std::int32_t visibleRows() const;
  // The row at a point of the control (twips), -1 when none.
  std::int32_t HitTest(Twips x, Twips y) const;
  void Refresh() { changed(Property::Items); }

  // Label editing is refused unless BeforeLabelEdit leaves `cancel` False.
  std::function<void(bool& cancel)> BeforeLabelEdit;
  bool requestLabelEdit();

 private:
  void sort();
  std::vector<Column> columns_;
  std::vector<Item> items_;
  std::uint64_t nextId_ = 1;
  std::uint64_t selectedId_ = 0;
  std::int32_t topIndex_ = 0;
  bool hideHeaders_ = false, fullRowSelect_ = false, gridLines_ = false;
  bool sorted_ = false;
  std::int32_t sortKey_ = 0;
  SortOrder sortOrder_ = SortOrder::Ascending;
};

}  // namespace forms
