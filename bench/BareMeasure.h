// The baseline of the list benchmarks on Qt: the widest text of each of three columns, measured with
// bare QFontMetricsF in the toolkit's default font.
#pragma once

#include <benchmark/benchmark.h>

#include <QFontMetricsF>

#include <algorithm>
#include <vector>

#include "forms/qt/QtBackend.h"

namespace bench {

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
