// One sheet of a report as a table for QTableView: a cell shows its value (or its error, with the
// reason as tooltip) and edits as what the user typed. A formula's number shows as money; a number
// the user typed shows as typed.
#pragma once

#include <functional>

#include <QAbstractTableModel>
#include <QLocale>

#include "designer/Report.h"

namespace designer {

class SheetModel final : public QAbstractTableModel {
 public:
  // Told when the user typed into a cell.
  using Edited = std::function<void(sample::CellAddress at, const std::u16string& input)>;

  SheetModel(const Report& report, Edited edited);

  void setSheet(std::int32_t sheet);
  std::int32_t sheet() const { return sheet_; }
  // Everything may have changed: the report was recalculated or replaced.
  void refresh();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  static sample::CellAddress addressOf(const QModelIndex& index) {
    return {index.row() + 1, index.column() + 1};
  }
  // The column letters of a column from 0: A, B, … Z, AA …
  static QString columnName(int column);
  // A computed amount as a cell shows it: two decimals, thousands grouped, in the locale's marks.
  static QString moneyText(double value, const QLocale& locale = QLocale());

 private:
  const Cell* cellAt(const QModelIndex& index) const;

  const Report& report_;
  Edited edited_;
  std::int32_t sheet_ = 0;
  int rows_ = 0;
  int columns_ = 0;
};

}  // namespace designer
