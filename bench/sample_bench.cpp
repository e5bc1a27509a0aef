// The sample report system: the account list of a 100 000-account ledger against the bare SQLite
// query of the same rows, CallFunc over a 100 000-row batch against the bare balance queries, and
// a 100 000-row batch computed set-wise against the same batch row by row.
#include <unistd.h>
#include <array>
#include <filesystem>

#include "BenchRatio.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "sample/FuncInfo.h"
#include "sample/SampleSystem.h"

namespace {

constexpr int kAccounts = 100000;
constexpr int kBatch = 100000;

struct Fixture {
  std::filesystem::path dir;
  std::shared_ptr<sample::Ledger> ledger;
  sample::PushedContext context;

  Fixture() {
    dir = std::filesystem::temp_directory_path() / ("formulist2-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "ledger.sqlite";
    sample::Ledger::build(sample::defaultOptions().data, file);
    {
      // A third company with a large chart of accounts.
      sample::Database db(file);
      db.execute("INSERT INTO companies VALUES (3, '03', '大型集团', 'RMB')");
      db.execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                 std::to_string(kAccounts) +
                 ") INSERT INTO accounts SELECT 3, printf('9%06d', i), '明细科目' || i, 2, '9', 1 FROM n");
    }
    ledger = std::make_shared<sample::Ledger>(file);
    context.set(u"RptYear", automation::Variant(2024));
    context.set(u"RptPeriod", automation::Variant(6));
  }
  ~Fixture() {
    ledger.reset();
    std::filesystem::remove_all(dir);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void AccountList(benchmark::State& state) {
  sample::PushedContext context;
  context.set(u"CompanyID", automation::Variant(3));
  for (auto _ : state) {
    automation::Variant table = sample::valueList(*fixture().ledger, context, "accounts", u"");
    benchmark::DoNotOptimize(table);
  }
}
BENCHMARK(AccountList)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BareAccountQuery(benchmark::State& state) {
  for (auto _ : state) {
    sample::Statement q = fixture().ledger->database().prepare(
        "SELECT code, name, level, is_leaf FROM accounts WHERE company_id = ?1 ORDER BY code");
    q.bind(1, std::int64_t{3});
    std::vector<std::array<std::string, 3>> rows;
    while (q.step()) rows.push_back({q.text(0), q.text(1), std::to_string(q.integer(2))});
    benchmark::DoNotOptimize(rows);
  }
}
BENCHMARK(BareAccountQuery)->Unit(benchmark::kMillisecond)->MinTime(1.0);

const std::vector<std::string>& leafCodes() {
  static const std::vector<std::string> codes = [] {
    std::vector<std::string> c;
    for (const auto& a : fixture().ledger->accounts(1)) c.push_back(a.code);
    return c;
  }();
  return codes;
}

void CallFuncBatch(benchmark::State& state) {
  const auto& codes = leafCodes();
  for (auto _ : state) {
    state.PauseTiming();
    automation::VariantArray batch({automation::Bounds{0, kBatch - 1}, automation::Bounds{0, 2}});
    for (int r = 0; r < kBatch; ++r) {
      batch(r, 0) = automation::Variant(automation::VariantArray::of(
          {automation::Variant(automation::fromUtf8(codes[static_cast<std::size_t>(r) % codes.size()])),
           automation::Variant(2024), automation::Variant(1 + r % 12)}));
    }
    state.ResumeTiming();
    benchmark::DoNotOptimize(sample::computeBatch(*fixture().ledger, fixture().context, u"QMYE", batch));
  }
  state.counters["rows/s"] = benchmark::Counter(
      static_cast<double>(kBatch) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(CallFuncBatch)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BareBalanceQueries(benchmark::State& state) {
  const auto& codes = leafCodes();
  for (auto _ : state) {
    double total = 0;
    for (int r = 0; r < kBatch; ++r) {
      total += fixture().ledger->amount(1, codes[static_cast<std::size_t>(r) % codes.size()], "RMB", 2024,
                                        1 + r % 12, 1 + r % 12, sample::Amount::Closing);
    }
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BareBalanceQueries)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A 100 000-row batch of closing balances over both companies, two years, two currencies and every
// account and period, computed set-wise and row by row. The batch is built and dropped untimed.
const std::vector<std::vector<automation::Variant>>& mixedRows() {
  static const std::vector<std::vector<automation::Variant>> rows = [] {
    using automation::Variant;
    const auto& codes = leafCodes();
    std::vector<std::vector<Variant>> list;
    for (int r = 0; r < kBatch; ++r) {
      list.push_back({Variant(automation::fromUtf8(codes[static_cast<std::size_t>(r) % codes.size()])),
                      Variant(2023 + r / 7 % 2), Variant(1 + r / 3 % 12),
                      Variant(r % 5 == 0 ? u"USD" : u"RMB"),
                      Variant(r % 3 == 0 ? u"华南账套" : u"本地账套")});
    }
    return list;
  }();
  return rows;
}

template <auto compute>
void mixedBatch(benchmark::State& state) {
  const auto& rows = mixedRows();
  automation::VariantArray batch;
  for (auto _ : state) {
    state.PauseTiming();
    batch = automation::VariantArray({automation::Bounds{0, kBatch - 1}, automation::Bounds{0, 2}});
    for (int r = 0; r < kBatch; ++r)
      batch(r, 0) = automation::Variant(automation::VariantArray::of(rows[static_cast<std::size_t>(r)]));
    state.ResumeTiming();
    benchmark::DoNotOptimize(compute(*fixture().ledger, fixture().context, u"QMYE", batch));
  }
  state.counters["rows/s"] = benchmark::Counter(
      static_cast<double>(kBatch) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void CallFuncSetWise(benchmark::State& state) {
  mixedBatch<sample::computeBatch>(state);
}
BENCHMARK(CallFuncSetWise)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void CallFuncPerRow(benchmark::State& state) {
  mixedBatch<sample::computeBatchPerRow>(state);
}
BENCHMARK(CallFuncPerRow)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  fixture();
  return bench::runWithRatios(argc, argv,
                              {{"AccountList", "BareAccountQuery", 1.5},
                               {"CallFuncBatch", "BareBalanceQueries", 2.0},
                               {"CallFuncSetWise", "CallFuncPerRow", 0.1}});
}
