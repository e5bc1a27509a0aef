// The value tables of the F7 popup: captions, value rows, sort markers.
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "sample/FuncInfo.h"

namespace sample {

using automation::Variant;
using automation::VariantArray;

namespace {

using Row = std::vector<std::u16string>;

Variant table(const Row& captions, const std::vector<Row>& rows, const Row& markers) {
  if (rows.empty()) return Variant{};
  const auto height = static_cast<std::int32_t>(rows.size() + 2);
  const auto width = static_cast<std::int32_t>(captions.size());
  VariantArray t({automation::Bounds{0, height - 1}, automation::Bounds{0, width - 1}});
  for (std::int32_t c = 0; c < width; ++c) {
    const auto k = static_cast<std::size_t>(c);
    t(0, c) = Variant(captions[k]);
    for (std::size_t r = 0; r < rows.size(); ++r) t(static_cast<std::int32_t>(r + 1), c) = Variant(rows[r][k]);
    t(height - 1, c) = Variant(markers[k]);
  }
  return Variant(std::move(t));
}

std::u16string u(const std::string& s) { return automation::fromUtf8(s); }

}  // namespace

Variant valueList(Ledger& ledger, const PushedContext& context, const std::string& kind, std::u16string_view previous) {
  if (kind == "accounts") {
    const std::int32_t company = context.company(ledger);
    if (company < 0 || !ledger.company(company)) return automation::cvErr(automation::errors::InvalidProcedureCall);
    std::vector<Row> rows;
    for (const AccountRow& a : ledger.accounts(company)) rows.push_back({u(a.code), u(a.name), automation::decimalText(a.level)});
    return table({u"科目代码", u"科目名称", u"级次"}, rows, {u"Up", u"", u""});
  }
  if (kind == "periods") {
    // After a year row, the periods of that year; otherwise those of the report year.
    const double typed = automation::val(previous);
    const std::int32_t year = typed >= 1900 && typed <= 9999 ? static_cast<std::int32_t>(typed) : context.year();
    std::vector<Row> rows;
    for (const PeriodRow& p : ledger.periods(year)) rows.push_back({automation::decimalText(p.period), u(p.begin), u(p.end)});
    return table({u"期间", u"开始日期", u"结束日期"}, rows, {u"Up", u"", u""});
  }
  if (kind == "currencies") {
    std::vector<Row> rows;
    for (const CodeName& c : ledger.currencies()) rows.push_back({u(c.code), u(c.name)});
    return table({u"币种", u"名称"}, rows, {u"Up", u""});
  }
  if (kind == "datasources") {
    std::vector<Row> rows;
    for (const DataSourceRow& d : ledger.dataSources()) rows.push_back({u(d.name), u(d.description)});
    return table({u"数据源", u"说明"}, rows, {u"Up", u""});
  }
  if (kind == "amountKinds") {
    std::vector<Row> rows;
    for (const char16_t* k : {u"期初余额", u"期末余额", u"借方发生额", u"贷方发生额", u"净发生额"}) rows.push_back({k});
    return table({u"取数类型"}, rows, {u""});
  }
  if (kind == "sysinfo") {
    const std::int32_t company = context.company(ledger);
    const auto row = ledger.company(company);
    if (!row) return automation::cvErr(automation::errors::InvalidProcedureCall);
    const std::vector<Row> rows = {{u"公司名称", u(row->name)},
                                   {u"公司代码", u(row->code)},
                                   {u"本位币", u(row->baseCurrency)},
                                   {u"报表年度", automation::decimalText(context.year())},
                                   {u"报表期间", automation::decimalText(context.period())}};
    return table({u"信息类型", u"当前值"}, rows, {u"", u""});
  }
  return Variant{};
}

}  // namespace sample
