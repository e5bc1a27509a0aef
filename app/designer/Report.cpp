#include "designer/Report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"

namespace designer {
namespace {

using automation::Variant;
using nlohmann::ordered_json;

std::string utf8(const std::u16string& text) {
  return automation::toUtf8(text);
}

ordered_json jsonOf(const Variant& v) {
  switch (v.type()) {
    case automation::VarType::Empty:
    case automation::VarType::Null:
      return nullptr;
    case automation::VarType::Boolean:
      return v.asBoolean();
    case automation::VarType::String:
      return utf8(v.asString());
    default:
      if (automation::isNumeric(v)) return significant15(automation::toDouble(v));
      return utf8(automation::toText(v));
  }
}

std::string isoDate(std::int32_t year, std::int32_t month, std::int32_t day) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

std::int32_t lastDay(std::int32_t year, std::int32_t month) {
  static constexpr std::int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[(month - 1) % 12];
}

}  // namespace

std::string Context::beginDate() const {
  return isoDate(year, std::clamp(period, 1, 12), 1);
}

std::string Context::endDate() const {
  const std::int32_t month = std::clamp(period, 1, 12);
  return isoDate(year, month, lastDay(year, month));
}

std::u16string Context::propsString() const {
  return u"DSN=" + dataSource + u";COMPANY=" + automation::decimalText(company);
}

Report::Report() : name(u"新报表") {
  sheets.push_back({u"表1", {}});
}

void Report::setInput(std::int32_t sheet, sample::CellAddress at, const std::u16string& input) {
  auto& cells = sheets.at(static_cast<std::size_t>(sheet)).cells;
  if (automation::trim(input).empty()) {
    cells.erase(at);
    return;
  }
  Cell& cell = cells[at];
  if (cell.input == input) return;
  cell.input = input;
  cell.formula.reset();
  cell.shown = cell.isFormula() ? Value{} : Value{constantOf(input), {}};
}

const Cell* Report::cell(std::int32_t sheet, sample::CellAddress at) const {
  if (sheet < 0 || static_cast<std::size_t>(sheet) >= sheets.size()) return nullptr;
  const auto& cells = sheets[static_cast<std::size_t>(sheet)].cells;
  const auto it = cells.find(at);
  return it == cells.end() ? nullptr : &it->second;
}

std::string Report::toWorkbook(const std::function<void(std::size_t, std::size_t)>& written) const {
  std::size_t total = 0, done = 0;
  for (const SheetData& sheet : sheets) total += sheet.cells.size();
  ordered_json root;
  root["names"] = {{"__SelfDsn__", utf8(context.propsString() + u";DB=LEDGER")},
                   {"__RptYear__", context.year},
                   {"__IncludeVoucher__", "N"},
                   {"__RptCurrency__", utf8(context.currency)}};
  ordered_json sheetList = ordered_json::array();
  for (const SheetData& sheet : sheets) {
    // The cells are appended in the order the sheet keeps them, each address once: the ordered
    // object's own insert would search every member before it, and a large sheet would take
    // quadratic time to save.
    ordered_json::object_t cells;
    auto& members = static_cast<ordered_json::object_t::Container&>(cells);
    members.reserve(sheet.cells.size());
    for (const auto& [at, cell] : sheet.cells) {
      if (written && ++done % 8192 == 0) written(done, total);
      std::string address = utf8(sample::addressText(at));
      if (cell.isFormula()) {
        ordered_json formula = {{"formula", utf8(cell.input)}};
        if (cell.shown.error.empty() && !cell.shown.value.isEmpty())
          formula["value"] = jsonOf(cell.shown.value);
        members.emplace_back(std::move(address), std::move(formula));
      } else {
        members.emplace_back(std::move(address), jsonOf(constantOf(cell.input)));
      }
    }
    sheetList.push_back({{"name", utf8(sheet.name)},
                         {"names",
                          {{"__RptPeriod__", context.period},
                           {"__RptEndPeriod__", context.period},
                           {"__RptBeginDate__", context.beginDate()},
                           {"__RptEndDate__", context.endDate()}}},
                         {"cells", ordered_json(std::move(cells))}});
  }
  root["sheets"] = std::move(sheetList);
  return root.dump(1);
}

Report Report::fromWorkbook(const std::u16string& name, const std::string& workbook) {
  const auto book = sample::parseWorkbook(workbook);
  Report report;
  report.name = name;
  report.sheets.clear();
  // A value the context cannot hold is refused with the name it was found under.
  const auto named = [](std::u16string_view field, const auto& read) {
    try {
      return read();
    } catch (const automation::AutomationError& e) {
      automation::raise(e.number(), std::u16string(field) + u": " + e.description());
    }
  };
  const auto number = [&](std::u16string_view field, const Variant* v, std::int32_t fallback) {
    if (v == nullptr || !automation::isNumeric(*v)) return fallback;
    return named(field, [&] { return automation::toLong(*v); });
  };
  if (const Variant* self = book->names.find(u"__SelfDsn__"); self != nullptr && self->isString()) {
    if (auto dsn = automation::propertyValue(self->asString(), u"DSN"))
      report.context.dataSource = automation::trim(*dsn);
    if (auto company = automation::propertyValue(self->asString(), u"COMPANY")) {
      report.context.company = named(u"__SelfDsn__ COMPANY",
                                     [&] { return automation::toLong(Variant(automation::val(*company))); });
    }
  }
  report.context.year = number(u"__RptYear__", book->names.find(u"__RptYear__"), report.context.year);
  if (const Variant* currency = book->names.find(u"__RptCurrency__");
      currency != nullptr && currency->isString())
    report.context.currency = currency->asString();
  if (!book->sheets.empty())
    report.context.period =
        number(u"__RptPeriod__", book->sheets.front().names.find(u"__RptPeriod__"), report.context.period);
  for (const sample::Sheet& sheet : book->sheets) {
    SheetData data{sheet.name, {}};
    for (const auto& [at, stored] : sheet.cells) {
      Cell cell;
      if (!stored.formula.empty()) {
        cell.input = stored.formula.front() == u'=' ? stored.formula : u"=" + stored.formula;
        cell.shown.value = stored.value;
      } else if (!stored.value.isEmpty()) {
        cell.input = stored.value.type() == automation::VarType::Double ? numberText(stored.value.asDouble())
                                                                        : automation::toText(stored.value);
        if (stored.value.type() == automation::VarType::Boolean)
          cell.input = stored.value.asBoolean() ? u"TRUE" : u"FALSE";
        cell.shown.value = stored.value;
      } else {
        continue;
      }
      data.cells.emplace(at, std::move(cell));
    }
    report.sheets.push_back(std::move(data));
  }
  return report;
}

Variant constantOf(const std::u16string& input) {
  const std::u16string t = automation::trim(input);
  if (!t.empty() && t.size() < 64 && std::all_of(t.begin(), t.end(), [](char16_t c) { return c < 0x80; })) {
    const std::string a(t.begin(), t.end());
    double v = 0;
    const auto [end, ec] = std::from_chars(a.data(), a.data() + a.size(), v);
    if (ec == std::errc{} && end == a.data() + a.size() && std::isfinite(v)) return Variant(v);
  }
  return Variant(input);
}

std::u16string displayText(const Value& value) {
  if (!value.error.empty()) return value.error;
  const Variant& v = value.value;
  switch (v.type()) {
    case automation::VarType::Empty:
    case automation::VarType::Null:
      return {};
    case automation::VarType::Boolean:
      return v.asBoolean() ? u"TRUE" : u"FALSE";
    case automation::VarType::String:
      return v.asString();
    default:
      if (automation::isNumeric(v)) return numberText(automation::toDouble(v));
      return automation::toText(v);
  }
}

}  // namespace designer
