// The ledger functions, SYSINFO, RPTDATE and DATEDIFF for every row of a batch.
//
// A batch is computed as a set: one pass parses and checks every row and notes the balance figures
// its value needs, the figures are read with one query per company, currency and year, and a last
// pass writes the values. computeBatchPerRow reads each figure as its row comes, one query apiece;
// both share the parsing, so rows fail with the same texts either way.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "sample/BatchRows.h"
#include "sample/Figures.h"
#include "sample/FuncInfo.h"

namespace sample {

using automation::Variant;

namespace {

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

// A row's value: ready as it is, or made of the figures the row needs, in the order it asked for
// them: the one figure, their sum, or the one figure times `scale` plus `offset`.
struct Formula {
  enum class Shape { Ready, One, Sum, Scaled };
  Shape shape = Shape::Ready;
  Variant value = Variant{};
  double scale = 1;
  double offset = 0;
};

template <typename Figure>
double combine(const Formula& f, std::size_t terms, Figure figure) {
  if (f.shape == Formula::Shape::Sum) {
    double sum = 0;
    for (std::size_t i = 0; i < terms; ++i) sum += figure(i);
    return sum;
  }
  if (f.shape == Formula::Shape::Scaled) return figure(0) * f.scale + f.offset;
  return figure(0);
}

class Calculator {
 public:
  // Row by row, a rate is read as its row asks; set-wise, the rates of a year are read at once.
  enum class Reading { RowByRow, SetWise };

  Calculator(Ledger& ledger, const PushedContext& context, Reading reading)
      : ledger_(ledger),
        context_(context),
        reading_(reading),
        year_(context.year()),
        period_(context.period()) {}

  // Parses and checks a row; the figures its value is made of are in needs() until the next row.
  Formula compute(const std::u16string& name, const Arguments& a) {
    needs_.clear();
    if (name == u"QCYE") return balance(a, Amount::Opening);
    if (name == u"QMYE") return balance(a, Amount::Closing);
    if (name == u"JFFS") return balance(a, Amount::Debit);
    if (name == u"DFFS") return balance(a, Amount::Credit);
    if (name == u"JEFS") return balance(a, Amount::Net);
    if (name == u"LJFS") {
      const std::int32_t company = companyOf({});
      const std::string account = accountOf(company, a.utf8(0));
      const std::int32_t from = periodOf(a.integer(2, 1));
      const std::int32_t to = periodOf(a.integer(3, period_));
      const std::int32_t year = a.integer(1, year_);
      need(company, account, baseCurrency(company), year, from, to, amountOf(a.text(4, u"借方")));
      return {Formula::Shape::One};
    }
    if (name == u"HL") {
      const std::string currency = a.utf8(0);
      if (currency.empty()) throw RowError{u"#参数错误"};
      int year = year_, month = period_, day = 1;
      if (auto d = a.date(1)) {
        civil(*d, year, month, day);
      } else if (auto end = automation::parseDate(context_.text(u"RptEndDate"))) {
        civil(*end, year, month, day);
      }
      const auto found = rate(currency, year, month);
      if (!found) throw RowError{u"#币种不存在"};
      return {Formula::Shape::Ready, Variant(*found)};
    }
    if (name == u"HJQM") {
      const std::int32_t company = companyOf({});
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (!a.given(i)) continue;
        need(company, accountOf(company, a.utf8(i)), baseCurrency(company), year_, period_, period_,
             Amount::Closing);
      }
      return {Formula::Shape::Sum};
    }
    if (name == u"ZBFX") {
      const std::int32_t company = companyOf({});
      const std::int32_t year = a.integer(1, year_);  // a bad year is the error, even beside a bad account
      const std::string account = accountOf(company, a.utf8(0));
      need(company, account, baseCurrency(company), year, period_, period_, Amount::Closing);
      const double scale = a.number(2, 1);
      return {Formula::Shape::Scaled, Variant{}, scale, a.number(3, 0)};
    }
    if (name == u"ACCT" || name == u"ACCTEXT") {
      const bool extended = name == u"ACCTEXT";
      const std::int32_t company = companyOf({});
      std::u16string chosen = a.text(0);
      chosen = chosen.substr(0, chosen.find(u'@'));
      const std::string account = accountOf(company, automation::toUtf8(chosen));
      const std::string currency = extended && a.given(2) ? a.utf8(2) : baseCurrency(company);
      const std::int32_t period = periodOf(a.integer(extended ? 3 : 2, period_));
      need(company, account, currency, year_, period, period, amountOf(a.text(1, u"期末余额")));
      return {Formula::Shape::One};
    }
    return {Formula::Shape::Ready, other(name, a)};
  }

  const std::vector<BalanceNeed>& needs() const { return needs_; }

 private:
  // The functions that read no balances.
  Variant other(const std::u16string& name, const Arguments& a) {
    if (name == u"SYSINFO") {
      const auto& company = companyRow(companyOf({}));
      if (!company) throw RowError{u"#数据源不存在"};
      const std::u16string kind = a.text(0, u"公司名称");
      if (kind == u"公司名称") return Variant(automation::fromUtf8(company->name));
      if (kind == u"公司代码") return Variant(automation::fromUtf8(company->code));
      if (kind == u"本位币") return Variant(automation::fromUtf8(company->baseCurrency));
      if (kind == u"报表年度") return Variant(year_);
      if (kind == u"报表期间") return Variant(period_);
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

  Formula balance(const Arguments& a, Amount kind) {
    const std::int32_t company = companyOf(a.utf8(4));
    const std::string account = accountOf(company, a.utf8(0));
    const std::int32_t period = periodOf(a.integer(2, period_));
    const std::string currency = a.given(3) ? a.utf8(3) : baseCurrency(company);
    if (!currencies().contains(currency)) throw RowError{u"#币种不存在"};
    need(company, account, currency, a.integer(1, year_), period, period, kind);
    return {Formula::Shape::One};
  }

  void need(std::int32_t company, const std::string& account, const std::string& currency, std::int32_t year,
            std::int32_t from, std::int32_t to, Amount kind) {
    needs_.push_back({company, currency, year, account, from, to, kind});
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

  // Charts of accounts, companies, currencies and rates are read once per batch.
  std::string accountOf(std::int32_t company, std::string code) {
    if (code.empty()) throw RowError{u"#参数错误"};
    auto chart = charts_.find(company);
    if (chart == charts_.end()) {
      std::unordered_set<std::string> codes;
      for (AccountRow& row : ledger_.accounts(company)) codes.insert(std::move(row.code));
      chart = charts_.emplace(company, std::move(codes)).first;
    }
    if (!chart->second.contains(code)) throw RowError{u"#科目不存在"};
    return code;
  }

  // Every currency code, and whether it is the base currency.
  const std::map<std::string, bool, std::less<>>& currencies() {
    if (!currencies_) {
      currencies_.emplace();
      Statement q = ledger_.database().prepare("SELECT code, is_base = 1 FROM currencies");
      while (q.step()) currencies_->emplace(q.text(0), q.integer(1) != 0);
    }
    return *currencies_;
  }

  // What Ledger::rate answers.
  std::optional<double> rate(const std::string& currency, std::int32_t year, std::int32_t period) {
    if (reading_ == Reading::RowByRow) return ledger_.rate(currency, year, period);
    const auto code = currencies().find(currency);
    if (code == currencies().end()) return std::nullopt;
    if (code->second) return 1.0;
    auto rates = rates_.find(year);
    if (rates == rates_.end()) {
      Statement q = ledger_.database().prepare("SELECT currency, period, rate FROM rates WHERE year = ?1");
      q.bind(1, std::int64_t{year});
      std::map<std::pair<std::string, std::int64_t>, double> table;
      while (q.step()) table.emplace(std::pair(q.text(0), q.integer(1)), q.real(2));
      rates = rates_.emplace(year, std::move(table)).first;
    }
    const auto found = rates->second.find({currency, period});
    if (found == rates->second.end()) return std::nullopt;
    return found->second;
  }

  static std::int32_t periodOf(std::int32_t period) {
    if (period < 1 || period > 12) throw RowError{u"#期间不存在"};
    return period;
  }

  const std::optional<CompanyRow>& companyRow(std::int32_t company) {
    auto it = companyRows_.find(company);
    if (it == companyRows_.end()) it = companyRows_.emplace(company, ledger_.company(company)).first;
    return it->second;
  }

  std::string baseCurrency(std::int32_t company) {
    const auto& row = companyRow(company);
    return row ? row->baseCurrency : "RMB";
  }

  Ledger& ledger_;
  const PushedContext& context_;
  const Reading reading_;
  const std::int32_t year_;  // the report's, as the context has it for the whole batch
  const std::int32_t period_;
  std::vector<BalanceNeed> needs_;  // of the row being computed
  std::map<std::int32_t, std::unordered_set<std::string>> charts_;
  std::map<std::int32_t, std::optional<CompanyRow>> companyRows_;
  std::map<std::string, std::int32_t> companies_;  // by data source name; "" for the report's own
  std::optional<std::map<std::string, bool, std::less<>>> currencies_;
  std::map<std::int32_t, std::map<std::pair<std::string, std::int64_t>, double>> rates_;  // by year
};

}  // namespace

std::int32_t computeBatch(Ledger& ledger, const PushedContext& context, std::u16string_view func,
                          automation::VariantArray& batch) {
  const std::u16string name = checkedName(batch, func);
  const std::int32_t c0 = batch.lbound(2);
  Calculator calculator(ledger, context, Calculator::Reading::SetWise);
  FigureBook book(ledger);
  // The rows whose values wait for their figures: terms[first] onwards are the figures' ids.
  struct Waiting {
    std::int32_t row;
    std::uint32_t first;
    std::uint32_t count;
    Formula formula;
  };
  std::vector<Waiting> waiting;
  std::vector<std::uint32_t> terms;
  std::int32_t failed = 0;
  for (std::int32_t r = batch.lbound(1); r <= batch.ubound(1); ++r) {
    guardedRow(batch, r, failed, [&] {
      Formula formula = calculator.compute(name, Arguments(batch(r, c0)));
      if (formula.shape == Formula::Shape::Ready) {
        writeValue(batch, r, std::move(formula.value));
        return;
      }
      const auto first = static_cast<std::uint32_t>(terms.size());
      for (const BalanceNeed& n : calculator.needs()) terms.push_back(book.add(n));
      waiting.push_back({r, first, static_cast<std::uint32_t>(terms.size()) - first, std::move(formula)});
    });
  }
  book.read();
  for (const Waiting& w : waiting) {
    const std::span<const std::uint32_t> ids(terms.data() + w.first, w.count);
    const auto broken =
        std::find_if(ids.begin(), ids.end(), [&](std::uint32_t id) { return book.failure(id); });
    if (broken != ids.end()) {
      writeError(batch, w.row, u"#" + automation::fromUtf8(*book.failure(*broken)));
      ++failed;
      continue;
    }
    writeValue(batch, w.row,
               Variant(combine(w.formula, w.count, [&](std::size_t i) { return book.figure(ids[i]); })));
  }
  return failed;
}

std::int32_t computeBatchPerRow(Ledger& ledger, const PushedContext& context, std::u16string_view func,
                                automation::VariantArray& batch) {
  const std::u16string name = checkedName(batch, func);
  const std::int32_t c0 = batch.lbound(2);
  Calculator calculator(ledger, context, Calculator::Reading::RowByRow);
  std::vector<double> figures;
  std::int32_t failed = 0;
  for (std::int32_t r = batch.lbound(1); r <= batch.ubound(1); ++r) {
    guardedRow(batch, r, failed, [&] {
      Formula formula = calculator.compute(name, Arguments(batch(r, c0)));
      if (formula.shape == Formula::Shape::Ready) {
        writeValue(batch, r, std::move(formula.value));
        return;
      }
      figures.clear();
      for (const BalanceNeed& n : calculator.needs())
        figures.push_back(ledger.amount(n.company, n.account, n.currency, n.year, n.from, n.to, n.kind));
      writeValue(batch, r,
                 Variant(combine(formula, figures.size(), [&](std::size_t i) { return figures[i]; })));
    });
  }
  return failed;
}

}  // namespace sample
