// What the list benchmarks on Qt share: 100 000 rows of account-like texts, and the baseline that
// measures the widest text of each of their three columns with bare QFontMetricsF.
#pragma once

#include <benchmark/benchmark.h>

#include <QFontMetricsF>

#include <algorithm>
#include <string>
#include <vector>

#include "forms/qt/QtBackend.h"

namespace bench {

struct Row {
  std::u16string code, name, kind;
};

// Accounts as a ledger lists them: unique codes and names, a handful of kinds.
inline const std::vector<Row>& accountRows() {
  static const std::vector<Row> data = [] {
    constexpr int kRows = 100000;
    std::vector<Row> r;
    r.reserve(kRows);
    const std::u16string kinds[] = {u"期初余额", u"借方发生额", u"贷方发生额", u"期末余额", u"累计发生额"};
    for (int i = 0; i < kRows; ++i) {
      const std::string n = std::to_string(100000 + i);
      std::u16string code(n.begin(), n.end());
      r.push_back({code, u"科目 " + code + u" 明细", kinds[i % 5]});
    }
    return r;
  }();
  return data;
}

// Rows with the texts `code`, `name` and `kind`.
template <class Row>
void bareMeasure(benchmark::State& state, const std::vector<Row>& rows) {
  const auto& qt = static_cast<const forms::qt::QtBackend&>(forms::backend());
  const QFontMetricsF metrics(qt.qfont(forms::Font{}));
  for (auto _ : state) {
    double widest[3] = {0, 0, 0};
    for (const Row& row : rows) {
      widest[0] = std::max(widest[0], metrics.horizontalAdvance(forms::qt::toQString(row.code)));
      widest[1] = std::max(widest[1], metrics.horizontalAdvance(forms::qt::toQString(row.name)));
      widest[2] = std::max(widest[2], metrics.horizontalAdvance(forms::qt::toQString(row.kind)));
    }
    benchmark::DoNotOptimize(widest);
  }
}

}  // namespace bench
