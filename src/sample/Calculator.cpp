// The ledger functions, SYSINFO, RPTDATE and DATEDIFF for every row of a batch.
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "sample/FuncInfo.h"

namespace sample {

using automation::Variant;

namespace {

// A row that cannot be computed: its text goes into the batch's error column.
struct RowError {
  std::u16string text;
};

class Arguments {
 public:
  explicit Arguments(const Variant& list) {
    if (list.isArray()) {
      for (const Variant& v : list.array().elements()) values_.push_back(v);
    } else if (!list.isEmpty()) {
      values_.push_back(list);
    }
  }
  std::size_t size() const { return values_.size(); }
  const Variant& at(std::size_t i) const {
    static const Variant none;
    return i < values_.size() ? values_[i] : none;
  }
  bool given(std::size_t i) const {
    const Variant& v = at(i);
    return !v.isEmpty() && !v.isMissing() && !(v.isString() && automation::trim(v.asString()).empty());
  }
  std::u16string text(std::size_t i, std::u16string fallback = {}) const {
    if (!given(i)) return fallback;
    try {
      return automation::trim(automation::toText(at(i)));
    } catch (const automation::AutomationError&) {
      throw RowError{u"#参数错误"};
    }
  }
  std::string utf8(std::size_t i, std::u16string fallback = {}) const {
    return automation::toUtf8(text(i, std::move(fallback)));
  }
  std::int32_t integer(std::size_t i, std::int32_t fallback) const {
    if (!given(i)) return fallback;
    try {
      return automation::toLong(at(i));
    } catch (const automation::AutomationError&) {
      throw RowError{u"#参数错误"};
    }
  }
  double number(std::size_t i, double fallback) const {
    if (!given(i)) return fallback;
    try {
      return automation::toDouble(at(i));
    } catch (const automation::AutomationError&) {
      throw RowError{u"#参数错误"};
    }
  }
  std::optional<automation::Date> date(std::size_t i) const {
    if (!given(i)) return std::nullopt;
    try {
      return automation::toDate(at(i));
    } catch (const automation::AutomationError&) {
      throw RowError{u"#参数错误"};
    }
  }

 private:
  std::vector<Variant> values_;
};

Amount amountOf(const std::u16string& kind) {
  if (kind == u"期初余额") return Amount::Opening;
  if (kind == u"期末余额") return Amount::Closing;
  if (kind == u"借方" || kind == u"借方发生额") return Amount::Debit;
  if (kind == u"贷方" || kind == u"贷方发生额") return Amount::Credit;
  if (kind == u"净额" || kind == u"净发生额") return Amount::Net;
  throw RowError{u"#参数错误"};
}

void civil(automation::Date d, int& year, int& month, int& day) {
  automation::dateParts(d, year, month, day);
}

class Calculator {
 public:
  Calculator(Ledger& ledger, const PushedContext& context) : ledger_(ledger), context_(context) {}

  Variant compute(const std::u16string& name, const Arguments& a) {
    if (name == u"QCYE") return balance(a, Amount::Opening);
    if (name == u"QMYE") return balance(a, Amount::Closing);
    if (name == u"JFFS") return balance(a, Amount::Debit);
    if (name == u"DFFS") return balance(a, Amount::Credit);
    if (name == u"JEFS") return balance(a, Amount::Net);
    if (name == u"LJFS") {
      const std::int32_t company = companyOf({});
      const std::string account = accountOf(company, a.utf8(0));
      const std::int32_t from = periodOf(a.integer(2, 1));
      const std::int32_t to = periodOf(a.integer(3, context_.period()));
      return Variant(ledger_.amount(company, account, baseCurrency(company), a.integer(1, context_.year()),
                                    from, to, amountOf(a.text(4, u"借方"))));
    }
    if (name == u"HL") {
      const std::string currency = a.utf8(0);
      if (currency.empty()) throw RowError{u"#参数错误"};
      int year = context_.year(), month = context_.period(), day = 1;
      if (auto d = a.date(1)) {
        civil(*d, year, month, day);
      } else if (auto end = automation::parseDate(context_.text(u"RptEndDate"))) {
        civil(*end, year, month, day);
      }
      const auto rate = ledger_.rate(currency, year, month);
      if (!rate) throw RowError{u"#币种不存在"};
      return Variant(*rate);
    }
    if (name == u"HJQM") {
      const std::int32_t company = companyOf({});
      double sum = 0;
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (!a.given(i)) continue;
        sum += ledger_.amount(company, accountOf(company, a.utf8(i)), baseCurrency(company), context_.year(),
                              context_.period(), context_.period(), Amount::Closing);
      }
      return Variant(sum);
    }
    if (name == u"ZBFX") {
      const std::int32_t company = companyOf({});
      const double closing = ledger_.amount(company, accountOf(company, a.utf8(0)), baseCurrency(company),
                                            a.integer(1, context_.year()), context_.period(),
                                            context_.period(), Amount::Closing);
      return Variant(closing * a.number(2, 1) + a.number(3, 0));
    }
    if (name == u"ACCT" || name == u"ACCTEXT") {
      const bool extended = name == u"ACCTEXT";
      const std::int32_t company = companyOf({});
      std::u16string chosen = a.text(0);
      chosen = chosen.substr(0, chosen.find(u'@'));
      const std::string account = accountOf(company, automation::toUtf8(chosen));
      const std::string currency =
          extended ? a.utf8(2, automation::fromUtf8(baseCurrency(company))) : baseCurrency(company);
      const std::int32_t period = periodOf(a.integer(extended ? 3 : 2, context_.period()));
      return Variant(ledger_.amount(company, account, currency, context_.year(), period, period,
                                    amountOf(a.text(1, u"期末余额"))));
    }
    if (name == u"SYSINFO") {
      const auto company = ledger_.company(companyOf({}));
      if (!company) throw RowError{u"#数据源不存在"};
      const std::u16string kind = a.text(0, u"公司名称");
      if (kind == u"公司名称") return Variant(automation::fromUtf8(company->name));
      if (kind == u"公司代码") return Variant(automation::fromUtf8(company->code));
      if (kind == u"本位币") return Variant(automation::fromUtf8(company->baseCurrency));
      if (kind == u"报表年度") return Variant(context_.year());
      if (kind == u"报表期间") return Variant(context_.period());
      throw RowError{u"#参数错误"};
    }
    if (name == u"RPTDATE") {
      const auto end = automation::parseDate(context_.text(u"RptEndDate"));
      if (!end) throw RowError{u"#参数错误"};
      int year = 0, month = 0, day = 0;
      civil(*end, year, month, day);
      std::u16string out = a.text(0, u"yyyy-mm-dd");
      const auto two = [](int v) {
        return std::u16string{static_cast<char16_t>(u'0' + v / 10), static_cast<char16_t>(u'0' + v % 10)};
      };
      out = automation::replace(out, u"yyyy", automation::decimalText(year), automation::Compare::Text);
      out = automation::replace(out, u"mm", two(month), automation::Compare::Text);
      out = automation::replace(out, u"dd", two(day), automation::Compare::Text);
      return Variant(out);
    }
    if (name == u"DATEDIFF") {
      const std::u16string interval = automation::lower(a.text(0, u"d"));
      const auto from = a.date(1);
      const auto to = a.date(2);
      if (!from || !to) throw RowError{u"#参数错误"};
      int y1, m1, d1, y2, m2, d2;
      civil(*from, y1, m1, d1);
      civil(*to, y2, m2, d2);
      if (interval == u"d")
        return Variant(static_cast<std::int32_t>(std::floor(to->value) - std::floor(from->value)));
      if (interval == u"m") return Variant((y2 - y1) * 12 + (m2 - m1));
      if (interval == u"yyyy") return Variant(y2 - y1);
      throw RowError{u"#参数错误"};
    }
    throw RowError{u"#函数未定义"};
  }

 private:
  Variant balance(const Arguments& a, Amount kind) {
    const std::int32_t company = companyOf(a.utf8(4));
    const std::string account = accountOf(company, a.utf8(0));
    const std::int32_t period = periodOf(a.integer(2, context_.period()));
    const std::string currency = a.utf8(3, automation::fromUtf8(baseCurrency(company)));
    if (!knownCurrency(currency)) throw RowError{u"#币种不存在"};
    return Variant(
        ledger_.amount(company, account, currency, a.integer(1, context_.year()), period, period, kind));
  }

  std::int32_t companyOf(const std::string& dataSource) {
    auto it = companies_.find(dataSource);
    if (it == companies_.end()) {
      std::int32_t company = -1;
      if (dataSource.empty()) {
        company = context_.company(ledger_);
      } else if (const auto ds = ledger_.dataSource(dataSource)) {
        company = ds->company;
      }
      it = companies_.emplace(dataSource, company).first;
    }
    if (it->second < 0) throw RowError{u"#数据源不存在"};
    return it->second;
  }

  // Charts of accounts, companies and currencies are read once per batch.
  std::string accountOf(std::int32_t company, const std::string& code) {
    if (code.empty()) throw RowError{u"#参数错误"};
    auto chart = charts_.find(company);
    if (chart == charts_.end()) {
      std::set<std::string> codes;
      for (const AccountRow& row : ledger_.accounts(company)) codes.insert(row.code);
      chart = charts_.emplace(company, std::move(codes)).first;
    }
    if (!chart->second.contains(code)) throw RowError{u"#科目不存在"};
    return code;
  }

  bool knownCurrency(const std::string& code) {
    if (currencies_.empty()) {
      for (const CodeName& c : ledger_.currencies()) currencies_.insert(c.code);
    }
    return currencies_.contains(code);
  }

  static std::int32_t periodOf(std::int32_t period) {
    if (period < 1 || period > 12) throw RowError{u"#期间不存在"};
    return period;
  }

  std::string baseCurrency(std::int32_t company) {
    auto it = bases_.find(company);
    if (it == bases_.end()) {
      const auto row = ledger_.company(company);
      it = bases_.emplace(company, row ? row->baseCurrency : "RMB").first;
    }
    return it->second;
  }

  Ledger& ledger_;
  const PushedContext& context_;
  std::map<std::int32_t, std::set<std::string>> charts_;
  std::map<std::int32_t, std::string> bases_;
  std::map<std::string, std::int32_t> companies_;  // by data source name; "" for the report's own
  std::set<std::string> currencies_;
};

}  // namespace

std::int32_t computeBatch(Ledger& ledger, const PushedContext& context, std::u16string_view func,
                          automation::VariantArray& batch) {
  if (batch.dimensions() != 2 || batch.ubound(2) - batch.lbound(2) < 2) {
    automation::raise(automation::errors::SubscriptOutOfRange,
                      u"CallFunc needs a batch of rows with three columns");
  }
  const std::u16string name = automation::upper(automation::trim(func));
  const std::int32_t c0 = batch.lbound(2);
  Calculator calculator(ledger, context);
  std::int32_t failed = 0;
  for (std::int32_t r = batch.lbound(1); r <= batch.ubound(1); ++r) {
    try {
      batch(r, c0 + 1) = calculator.compute(name, Arguments(batch(r, c0)));
      batch(r, c0 + 2) = Variant(u"");
    } catch (const RowError& e) {
      batch(r, c0 + 1) = Variant{};
      batch(r, c0 + 2) = Variant(e.text);
      ++failed;
    } catch (const std::exception& e) {
      batch(r, c0 + 1) = Variant{};
      batch(r, c0 + 2) = Variant(u"#" + automation::fromUtf8(e.what()));
      ++failed;
    }
  }
  return failed;
}

}  // namespace sample
