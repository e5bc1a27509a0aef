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

// A value table of a known number of rows, written straight into the array's storage (the
// leftmost index varies fastest: element (r, c) is at r + c * height).
class Table {
 public:
  Table(const std::vector<std::u16string>& captions, const std::vector<std::u16string>& markers,
        std::size_t rows)
      : height_(rows + 2), width_(captions.size()), elements_(height_ * width_) {
    for (std::size_t c = 0; c < width_; ++c) {
      elements_[c * height_] = Variant(captions[c]);
      elements_[c * height_ + height_ - 1] = Variant(markers[c]);
    }
  }
  // Sets the value of row `row` (0 for the first value row) in `column`.
  void set(std::size_t row, std::size_t column, std::u16string value) {
    elements_[column * height_ + row + 1] = Variant(std::move(value));
  }
  Variant finish() {
    if (height_ == 2) return Variant{};  // no values
    return Variant(VariantArray::fromElements({automation::Bounds{0, static_cast<std::int32_t>(height_) - 1},
                                               automation::Bounds{0, static_cast<std::int32_t>(width_) - 1}},
                                              std::move(elements_)));
  }

 private:
  std::size_t height_;
  std::size_t width_;
  std::vector<Variant> elements_;
};

Variant table(const Row& captions, const std::vector<Row>& rows, const Row& markers) {
  Table t(captions, markers, rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) t.set(r, c, rows[r][c]);
  }
  return t.finish();
}

std::u16string u(const std::string& s) {
  return automation::fromUtf8(s);
}

}  // namespace

Variant valueList(Ledger& ledger, const PushedContext& context, const std::string& kind,
                  std::u16string_view previous) {
  if (kind == "accounts") {
    const std::int32_t company = context.company(ledger);
    if (company < 0 || !ledger.company(company))
      return automation::cvErr(automation::errors::InvalidProcedureCall);
    const std::vector<AccountRow> accounts = ledger.accounts(company);
    Table t({u"科目代码", u"科目名称", u"级次"}, {u"Up", u"", u""}, accounts.size());
    for (std::size_t r = 0; r < accounts.size(); ++r) {
      t.set(r, 0, u(accounts[r].code));
      t.set(r, 1, u(accounts[r].name));
      t.set(r, 2, automation::decimalText(accounts[r].level));
    }
    return t.finish();
  }
  if (kind == "periods") {
    // After a year row, the periods of that year; otherwise those of the report year.
    const double typed = automation::val(previous);
    const std::int32_t year =
        typed >= 1900 && typed <= 9999 ? static_cast<std::int32_t>(typed) : context.year();
    std::vector<Row> rows;
    for (const PeriodRow& p : ledger.periods(year))
      rows.push_back({automation::decimalText(p.period), u(p.begin), u(p.end)});
    return table({u"期间", u"开始日期", u"结束日期"}, rows, {u"", u"", u""});  // already in order
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
    for (const char16_t* k : {u"期初余额", u"期末余额", u"借方发生额", u"贷方发生额", u"净发生额"})
      rows.push_back({k});
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
