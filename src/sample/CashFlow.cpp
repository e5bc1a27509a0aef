// CASHFLOW(scheme, item, period): the amount of a cash-flow item of a report scheme, in a period of
// the report year, for the company the report is for. A batch reads each scheme's items once, and
// the amounts of each scheme and year with one query.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "automation/Conversions.h"
#include "sample/BatchRows.h"
#include "sample/FuncInfo.h"

namespace sample {

using automation::Variant;

namespace {

class CashFlows {
 public:
  CashFlows(Ledger& ledger, const PushedContext& context)
      : ledger_(ledger),
        company_(context.company(ledger)),
        year_(context.year()),
        period_(context.period()) {}

  double amount(const Arguments& a) {
    if (company_ < 0) throw RowError{u"#数据源不存在"};
    const std::int32_t scheme = a.integer(0, 1);
    const std::set<std::string>& items = itemsOf(scheme);
    const std::u16string item = a.text(1);
    if (item.empty()) throw RowError{u"#未指定现金流量项目"};
    if (!items.contains(automation::toUtf8(item)))
      throw RowError{u"#报表方案 %1 没有现金流量项目“%2”", {automation::decimalText(scheme), item}};
    const std::int32_t period = a.integer(2, period_);
    const auto& amounts = amountsOf(scheme);
    const auto found = amounts.find({automation::toUtf8(item), period});
    if (found == amounts.end()) {
      throw RowError{u"#没有 %1 年第 %2 期的现金流量",
                     {automation::decimalText(year_), automation::decimalText(period)}};
    }
    return found->second;
  }

 private:
  // The item codes of a scheme.
  const std::set<std::string>& itemsOf(std::int32_t scheme) {
    auto it = items_.find(scheme);
    if (it == items_.end()) {
      std::optional<std::set<std::string>> codes;
      Statement known = ledger_.database().prepare("SELECT 1 FROM cashflow_schemes WHERE id = ?1");
      known.bind(1, std::int64_t{scheme});
      if (known.step()) {
        codes.emplace();
        Statement q = ledger_.database().prepare("SELECT code FROM cashflow_items WHERE scheme = ?1");
        q.bind(1, std::int64_t{scheme});
        while (q.step()) codes->insert(q.text(0));
      }
      it = items_.emplace(scheme, std::move(codes)).first;
    }
    if (!it->second) throw RowError{u"#现金流量报表方案 %1 不存在", {automation::decimalText(scheme)}};
    return *it->second;
  }

  // The scheme's amounts for the company in the report year, by item and period.
  const std::map<std::pair<std::string, std::int64_t>, double>& amountsOf(std::int32_t scheme) {
    auto it = amounts_.find(scheme);
    if (it == amounts_.end()) {
      Statement q = ledger_.database().prepare(
          "SELECT item, period, amount FROM cashflows WHERE company_id = ?1 AND scheme = ?2 AND year = ?3");
      q.bind(1, std::int64_t{company_}).bind(2, std::int64_t{scheme}).bind(3, std::int64_t{year_});
      std::map<std::pair<std::string, std::int64_t>, double> table;
      while (q.step()) table.emplace(std::pair(q.text(0), q.integer(1)), q.real(2));
      it = amounts_.emplace(scheme, std::move(table)).first;
    }
    return it->second;
  }

  Ledger& ledger_;
  const std::int32_t company_;  // -1 for a data source the ledger does not have
  const std::int32_t year_;
  const std::int32_t period_;
  std::map<std::int32_t, std::optional<std::set<std::string>>> items_;  // nothing for an unknown scheme
  std::map<std::int32_t, std::map<std::pair<std::string, std::int64_t>, double>> amounts_;
};

}  // namespace

std::int32_t computeCashFlows(Ledger& ledger, const PushedContext& context, automation::VariantArray& batch,
                              const Wording& wording) {
  const std::int32_t c0 = batch.lbound(2);
  CashFlows flows(ledger, context);
  std::int32_t failed = 0;
  for (std::int32_t r = batch.lbound(1); r <= batch.ubound(1); ++r) {
    guardedRow(
        batch, r, failed, [&] { writeValue(batch, r, Variant(flows.amount(Arguments(batch(r, c0))))); },
        wording);
  }
  return failed;
}

}  // namespace sample
