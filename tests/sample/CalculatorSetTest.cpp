// CallFunc's batch computed as a set against the same batch computed row by row: every cell must
// come out the same, the values to the last bit and the error texts alike.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "sample/Database.h"
#include "sample/FuncInfo.h"
#include "sample/Ledger.h"
#include "sample/SampleSystem.h"

namespace {

using namespace automation;
using Row = std::vector<Variant>;

class CalculatorSetTest : public ::testing::Test {
 protected:
  // The sample ledger, with figures that only come out right when they are read the way the
  // ledger's own query reads them.
  static void SetUpTestSuite() {
    std::string pattern = (std::filesystem::temp_directory_path() / "formulist2-calc-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
    const auto file = dir_ / "ledger.sqlite";
    sample::Ledger::build(sample::defaultOptions().data, file);
    {
      sample::Database db(file);
      // Codes ending in bytes above 0x7E: the range of the sub-accounts of 10中 runs up to "11", so
      // it takes in 10丰 as well. What their figures add up to depends on the order and the way they
      // are added: only the ledger's own way gives the ledger's figure.
      db.execute(
          "INSERT INTO accounts VALUES (1, '10中', '中', 1, NULL, 0), (1, '10中01', '中一', 2, '10中', 1), "
          "(1, '10丰', '丰', 1, NULL, 1);"
          "INSERT INTO balances VALUES (1, '10中', 'RMB', 2024, 3, 0.1, 0.2, 0.3, 1.5),"
          "(1, '10中01', 'RMB', 2024, 3, 1e16, 0.7, 0.1, 1e16),"
          "(1, '10丰', 'RMB', 2024, 3, -1e16, 1e16, -1e16, -1e16),"
          "(1, '10中01', 'RMB', 2024, 4, 0.3, 1e-3, 1e17, 0.1);"
          // An adjustment period after the twelfth, which only the report period reaches.
          "INSERT INTO balances VALUES (1, '100101', 'RMB', 2024, 13, 1.25, 2.5, 3.75, 0.1),"
          "(2, '100201', 'RMB', 2024, 13, 5.5, 6.5, 7.5, 0.7);"
          // A third currency with figures, in the second company only.
          "INSERT INTO balances SELECT company_id, account, 'EUR', year, period, opening * 0.13, "
          "debit * 0.13, credit * 0.13, closing * 0.13 FROM balances "
          "WHERE company_id = 2 AND currency = 'RMB' AND account LIKE '6%'");
    }
    ledger_ = std::make_unique<sample::Ledger>(file);
  }
  static void TearDownTestSuite() {
    ledger_.reset();
    std::filesystem::remove_all(dir_);
  }

  static VariantArray batchOf(const std::vector<Row>& rows) {
    VariantArray batch({Bounds{1, static_cast<std::int32_t>(rows.size())}, Bounds{0, 2}});
    for (std::size_t r = 0; r < rows.size(); ++r)
      batch(static_cast<std::int32_t>(r) + 1, 0) = Variant(VariantArray::of(rows[r]));
    return batch;
  }

  static std::string describe(const Variant& v) {
    try {
      return toUtf8(typeName(v.type()) + u" " + toText(v));
    } catch (...) {
      return toUtf8(typeName(v.type()));
    }
  }

  // Runs a batch both ways and compares every cell; answers the set-wise batch.
  VariantArray bothWays(const sample::PushedContext& context, const std::u16string& func,
                        const std::vector<Row>& rows) {
    VariantArray setWise = batchOf(rows);
    VariantArray perRow = batchOf(rows);
    const std::int32_t failedSetWise = sample::computeBatch(*ledger_, context, func, setWise);
    const std::int32_t failedPerRow = sample::computeBatchPerRow(*ledger_, context, func, perRow);
    EXPECT_EQ(failedSetWise, failedPerRow) << toUtf8(func);
    int differences = 0;
    for (std::int32_t r = 1; r <= static_cast<std::int32_t>(rows.size()); ++r) {
      for (std::int32_t c = 1; c <= 2; ++c) {
        const Variant& a = setWise(r, c);
        const Variant& b = perRow(r, c);
        const bool same =
            a.type() == VarType::Double && b.type() == VarType::Double
                ? std::bit_cast<std::uint64_t>(a.asDouble()) == std::bit_cast<std::uint64_t>(b.asDouble())
                : a == b;
        if (!same && ++differences <= 10) {
          ADD_FAILURE() << toUtf8(func) << " row " << r << " column " << c << ": set-wise " << describe(a)
                        << ", per row " << describe(b);
        }
      }
    }
    EXPECT_EQ(differences, 0) << toUtf8(func);
    return setWise;
  }

  static sample::PushedContext reportContext() {
    sample::PushedContext context;
    context.set(u"RptYear", Variant(2024));
    context.set(u"RptPeriod", Variant(3));
    context.set(u"RptEndDate", Variant(u"2024-03-31"));
    return context;
  }

  static inline std::filesystem::path dir_;
  static inline std::unique_ptr<sample::Ledger> ledger_;
};

Variant t(const char16_t* text) {
  return Variant(text);
}
Variant n(std::int32_t value) {
  return Variant(value);
}

// Rows of every function, good and bad, each of them twice.
std::map<std::u16string, std::vector<Row>> mixedRows() {
  const std::vector<Row> balances = {
      {t(u"1002")},
      {t(u"1002"), n(2023), n(5)},
      {t(u"100201"), n(2024), n(12), t(u"USD")},
      {t(u"1002"), n(2024), n(3), t(u"USD"), t(u"华南账套")},
      {t(u"6001"), n(2024), n(7), t(u"EUR"), t(u"华南账套")},
      {t(u"6001"), n(2024), n(7), t(u"EUR")},
      {t(u"10中")},
      {t(u"10中"), n(2024), n(4)},
      {t(u"10丰"), n(2024), n(3)},
      {t(u"1001"), n(2030), n(1)},
      {Variant(1001), Variant(2024.0), t(u"2"), t(u"RMB"), t(u"本地账套")},
      {t(u" 6602 "), Variant::missing(), Variant::missing(), t(u""), t(u"华南账套")},
      {t(u"9999")},
      {t(u"1001"), n(2024), n(13)},
      {t(u"1001"), n(2024), n(0)},
      {t(u"1001"), t(u"x")},
      {t(u"1001"), n(2024), n(1), t(u"RMB"), t(u"无此账套")},
      {t(u"1001"), n(2024), n(1), t(u"JPY")},
      {t(u"1001"), n(2024), n(1), t(u"usd")},
      {},
      {t(u"  ")},
      {Variant(VariantArray::of({n(1)}))},
  };
  std::map<std::u16string, std::vector<Row>> rows = {
      {u"LJFS",
       {{t(u"1001"), n(2024), n(1), n(3), t(u"贷方")},
        {t(u"6602"), n(2023), n(2), n(11), t(u"净额")},
        {t(u"1002")},
        {t(u"1122"), n(2024), n(5), n(2)},
        {t(u"1001"), n(2024), n(1), n(3), t(u"期初余额")},
        {t(u"1001"), n(2024), n(1), n(3), t(u"期末余额")},
        {t(u"10中"), n(2024), n(1), n(12), t(u"借方发生额")},
        {t(u"10中"), n(2024), n(3), n(4), t(u"净发生额")},
        {t(u"1001"), n(2024), n(0), n(3)},
        {t(u"1001"), n(2024), n(1), n(3), t(u"无此")},
        {t(u"x")}}},
      {u"HL",
       {{t(u"USD"), Variant(makeDate(2023, 6, 15))},
        {t(u"RMB")},
        {t(u"EUR"), t(u"2023-02-10")},
        {t(u"HKD")},
        {t(u"JPY")},
        {t(u"")},
        {t(u"USD"), t(u"not a date")},
        {t(u"USD"), Variant(makeDate(2030, 1, 1))},
        {t(u"usd")}}},
      {u"HJQM",
       {{t(u"1001"), t(u"1002"), t(u"")},
        {t(u"10中"), t(u"10丰")},
        {t(u"1001"), t(u"1001")},
        {t(u"1001"), t(u"9999")},
        {}}},
      {u"ZBFX",
       {{t(u"1002"), n(2024), Variant(0.5), n(100)},
        {t(u"1002")},
        {t(u"10中"), n(2024), n(3), n(-1)},
        {t(u"1002"), n(2024), t(u"x")},
        {t(u"9999")},
        {t(u"9999"), t(u"x")}}},
      {u"ACCT",
       {{t(u"1002@银行存款"), t(u"期初余额"), n(2)},
        {t(u"1002"), t(u""), n(3)},
        {t(u"1002"), t(u"净额")},
        {t(u"10中@中"), t(u"期末余额"), n(4)},
        {t(u"1002"), t(u"期末余额"), n(13)},
        {t(u"1002"), t(u"bad")},
        {t(u"@")}}},
      {u"ACCTEXT",
       {{t(u"1002@银行存款"), t(u"期末余额"), t(u"USD"), n(3)},
        {t(u"1002"), t(u"借方"), t(u"ZZZ"), n(2)},
        {t(u"1002"), t(u"贷方"), t(u""), n(12)},
        {t(u"1002"), t(u"贷方"), t(u"RMB"), n(14)}}},
      {u"SYSINFO", {{t(u"公司名称")}, {t(u"本位币")}, {t(u"报表期间")}, {t(u"坏")}, {}}},
      {u"RPTDATE", {{t(u"yyyy/mm/dd")}, {}}},
      {u"DATEDIFF",
       {{t(u"d"), t(u"2024-01-01"), t(u"2024-03-01")},
        {t(u"yyyy"), t(u"2020-05-01"), t(u"2024-03-01")},
        {t(u"q"), t(u"2020-05-01"), t(u"2024-03-01")},
        {t(u"m"), t(u"2020-05-01")}}},
      {u"NOSUCH", {{t(u"1")}}},
  };
  for (const char16_t* f : {u"QCYE", u"QMYE", u"JFFS", u"DFFS", u"JEFS"}) rows[f] = balances;
  for (auto& [func, list] : rows) {
    const std::vector<Row> once = list;
    list.insert(list.end(), once.begin(), once.end());
  }
  return rows;
}

TEST_F(CalculatorSetTest, EveryFunctionComesOutTheSameBothWaysOnAMixedBatch) {
  // The report's own context, and one of the second company whose period lies after the twelfth.
  sample::PushedContext odd;
  odd.set(u"RptYear", Variant(2024));
  odd.set(u"RptPeriod", Variant(13));
  odd.set(u"DefPropsString", Variant(u"DSN=华南账套;COMPANY=2"));
  std::set<std::u16string> texts;
  std::size_t figures = 0;
  for (const sample::PushedContext& context : {reportContext(), odd}) {
    for (const auto& [func, rows] : mixedRows()) {
      const VariantArray done = bothWays(context, func, rows);
      for (std::int32_t r = 1; r <= static_cast<std::int32_t>(rows.size()); ++r) {
        texts.insert(done(r, 2).asString());
        if (done(r, 1).type() == VarType::Double && done(r, 1).asDouble() != 0) ++figures;
      }
    }
  }
  // A bad year is what ZBFX reports of a row whose account is bad as well.
  const std::vector<Row> both = {{t(u"9999"), t(u"x")}};
  EXPECT_EQ(bothWays(reportContext(), u"ZBFX", both)(1, 2), Variant(u"#参数错误"));
  // The batches hold failures of every kind, and figures that are not all zero.
  EXPECT_EQ(texts, (std::set<std::u16string>{u"", u"#科目不存在", u"#期间不存在", u"#参数错误",
                                             u"#数据源不存在", u"#币种不存在", u"#函数未定义"}));
  EXPECT_GT(figures, 100u);
}

TEST_F(CalculatorSetTest, ALargeRandomBatchComesOutTheSameBothWays) {
  std::vector<Variant> accounts;
  for (const sample::AccountRow& a : ledger_->accounts(1)) accounts.push_back(Variant(fromUtf8(a.code)));
  for (const char16_t* odd : {u"9999", u"", u"1002@银行存款"}) accounts.push_back(t(odd));
  const std::vector<Variant> years = {n(2023), n(2024), n(2025), Variant::missing(), t(u"x")};
  std::vector<Variant> periods = {Variant::missing()};
  for (std::int32_t p = 0; p <= 13; ++p) periods.push_back(n(p));
  const std::vector<Variant> currencies = {t(u"RMB"), t(u"USD"), t(u"EUR"), t(u"JPY"), Variant::missing()};
  const std::vector<Variant> sources = {Variant::missing(), t(u"本地账套"), t(u"华南账套"), t(u"无此账套")};
  const std::vector<Variant> kinds = {t(u"借方"),     t(u"贷方"),     t(u"净额"),
                                      t(u"期初余额"), t(u"期末余额"), t(u"?")};

  std::mt19937 random(20240611);
  const auto pick = [&random](const std::vector<Variant>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  };
  const std::map<std::u16string, std::function<Row()>> shapes = {
      {u"QMYE",
       [&] {
         return Row{pick(accounts), pick(years), pick(periods), pick(currencies), pick(sources)};
       }},
      {u"JEFS",
       [&] {
         return Row{pick(accounts), pick(years), pick(periods), pick(currencies), pick(sources)};
       }},
      {u"LJFS",
       [&] {
         return Row{pick(accounts), pick(years), pick(periods), pick(periods), pick(kinds)};
       }},
      {u"HJQM",
       [&] {
         return Row{pick(accounts), pick(accounts), pick(accounts)};
       }},
      {u"ZBFX",
       [&] {
         return Row{pick(accounts), pick(years), Variant(0.37), pick(periods)};
       }},
      {u"ACCTEXT",
       [&] {
         return Row{pick(accounts), pick(kinds), pick(currencies), pick(periods)};
       }},
  };
  for (const auto& [func, shape] : shapes) {
    std::vector<Row> rows;
    for (int i = 0; i < 4000; ++i) rows.push_back(shape());
    bothWays(reportContext(), func, rows);
  }
}

TEST_F(CalculatorSetTest, TheSetWisePassQueriesOncePerCompanyCurrencyAndYearNotPerRow) {
  // Two companies, two currencies and two years: eight groups of balances, whatever the batch's size.
  const auto rows = [](int count) {
    std::vector<Row> list;
    const char16_t* codes[] = {u"1001", u"100201", u"1002", u"6602", u"660203"};
    for (int i = 0; i < count; ++i) {
      list.push_back({t(codes[i % 5]), n(2023 + i % 2), n(1 + i % 12), t(i % 3 == 0 ? u"USD" : u"RMB"),
                      t(i % 7 < 3 ? u"本地账套" : u"华南账套")});
    }
    return list;
  };
  const sample::PushedContext context = reportContext();
  const auto queries = [&](auto compute, int count) {
    VariantArray batch = batchOf(rows(count));
    const std::uint64_t before = ledger_->database().statementsRun();
    EXPECT_EQ(compute(*ledger_, context, u"QMYE", batch), 0);
    return ledger_->database().statementsRun() - before;
  };
  const std::uint64_t small = queries(sample::computeBatch, 1000);
  const std::uint64_t large = queries(sample::computeBatch, 20000);
  EXPECT_EQ(small, large);
  // The eight groups, and the data sources, charts, companies and currencies the rows name.
  EXPECT_LE(large, 8u + 7u);
  EXPECT_GE(queries(sample::computeBatchPerRow, 1000), 1000u);
}

}  // namespace
