#include "designer/SheetModel.h"

#include <algorithm>
#include <cmath>

#include <QColor>

#include "automation/Conversions.h"
#include "forms/qt/QtBackend.h"

namespace designer {
namespace {

constexpr int kMinRows = 60;
constexpr int kMinColumns = 12;
constexpr int kMargin = 20;  // empty rows and columns past the last used one

}  // namespace

SheetModel::SheetModel(const Report& report, Edited edited) : report_(report), edited_(std::move(edited)) {
  refresh();
}

void SheetModel::setSheet(std::int32_t sheet) {
  sheet_ = sheet;
  refresh();
}

void SheetModel::refresh() {
  int rows = kMinRows;
  int columns = kMinColumns;
  if (sheet_ >= 0 && static_cast<std::size_t>(sheet_) < report_.sheets.size()) {
    for (const auto& [at, cell] : report_.sheets[static_cast<std::size_t>(sheet_)].cells) {
      rows = std::max(rows, at.row + kMargin);
      columns = std::max(columns, at.column + kMargin / 4);
    }
  }
  if (rows == rows_ && columns == columns_) {
    // Same shape: the view keeps its current cell and selection.
    emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
    return;
  }
  beginResetModel();
  rows_ = rows;
  columns_ = columns;
  endResetModel();
}

int SheetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int SheetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

const Cell* SheetModel::cellAt(const QModelIndex& index) const {
  return report_.cell(sheet_, addressOf(index));
}

QVariant SheetModel::data(const QModelIndex& index, int role) const {
  const Cell* cell = cellAt(index);
  if (cell == nullptr) return {};
  switch (role) {
    case Qt::DisplayRole:
      if (cell->isFormula() && cell->shown.error.empty() && !cell->shown.value.isString() &&
          cell->shown.value.type() != automation::VarType::Boolean &&
          automation::isNumeric(cell->shown.value) && !cell->shown.value.isEmpty()) {
        return moneyText(automation::toDouble(cell->shown.value));
      }
      return forms::qt::toQString(displayText(cell->shown));
    case Qt::EditRole:
      return forms::qt::toQString(cell->input);
    case Qt::ToolTipRole:
      if (!cell->shown.error.empty()) return forms::qt::toQString(cell->shown.error);
      return cell->isFormula() ? forms::qt::toQString(cell->input) : QVariant{};
    case Qt::TextAlignmentRole: {
      const bool number = cell->shown.error.empty() && !cell->shown.value.isString() &&
                          automation::isNumeric(cell->shown.value) && !cell->shown.value.isEmpty();
      return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    case Qt::ForegroundRole:
      if (!cell->shown.error.empty()) return QColor(Qt::darkRed);
      return {};
    default:
      return {};
  }
}

bool SheetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) return false;
  edited_(addressOf(index), forms::qt::fromQString(value.toString()));
  return true;
}

Qt::ItemFlags SheetModel::flags(const QModelIndex& index) const {
  return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

QString SheetModel::columnName(int column) {
  QString name;
  for (int c = column + 1; c > 0; c = (c - 1) / 26) name.prepend(QChar(u'A' + (c - 1) % 26));
  return name;
}

QString SheetModel::moneyText(double value, const QLocale& locale) {
  QLocale marks = locale;
  marks.setNumberOptions(marks.numberOptions() & ~QLocale::OmitGroupSeparator);
  // Half a cent below zero is no negative amount.
  if (std::fabs(value) < 0.005) value = 0;
  return marks.toString(value, 'f', 2);
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  return orientation == Qt::Horizontal ? QVariant(columnName(section)) : QVariant(section + 1);
}

}  // namespace designer
