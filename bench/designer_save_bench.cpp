// Saving a report: the workbook text of 1 000 000 cells against that of 40 000 in the same run.
// Writing is linear when the ratio stays near 25; each cell is a formula with its last value or
// a constant, as in a real report.
#include <cstdio>
#include <string>

#include "BenchRatio.h"
#include "automation/Text.h"
#include "designer/Report.h"

namespace {

designer::Report reportOf(int cells) {
  designer::Report report;
  constexpr int kColumns = 20;
  for (int n = 0; n < cells; ++n) {
    const sample::CellAddress at{n / kColumns + 1, n % kColumns + 1};
    if (n % 2 == 0) {
      report.setInput(0, at, u"=QMYE(\"1001\",2024," + automation::decimalText(1 + n % 12) + u")");
      report.sheets[0].cells[at].shown.value = automation::Variant(116389.67 + n);
    } else {
      report.setInput(0, at, automation::decimalText(n));
    }
  }
  return report;
}

void save(benchmark::State& state, int cells) {
  const designer::Report report = reportOf(cells);
  for (auto _ : state) {
    const std::string text = report.toWorkbook();
    benchmark::DoNotOptimize(text.data());
  }
}

void Save40000Cells(benchmark::State& state) {
  save(state, 40000);
}
BENCHMARK(Save40000Cells)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly();

void Save1000000Cells(benchmark::State& state) {
  save(state, 1000000);
}
BENCHMARK(Save1000000Cells)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly();

}  // namespace

int main(int argc, char** argv) {
  return bench::runWithRatios(argc, argv, {{"Save1000000Cells", "Save40000Cells", 30}});
}
