// The report designer's recalculation of a 10 000-cell sheet of report-function calls, against the
// RecallRpt batches alone (the same calls, batches built beforehand) in the same run: what the
// designer adds is reading the formulas, gathering and building the batches, and putting the
// values back into the cells.
#include <map>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "automation/ClassRegistry.h"
#include "automation/Dispatch.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "designer/Recalc.h"
#include "designer/Report.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"

namespace {

using automation::Variant;

constexpr int kRows = 1000;
constexpr int kColumns = 10;
const char16_t* const kFunctions[] = {u"QMYE", u"QCYE", u"JFFS", u"DFFS"};
const char16_t* const kAccounts[] = {u"1001", u"1002", u"1122", u"2202", u"4001", u"6001"};

automation::ObjectRef& component() {
  static automation::ObjectRef object;
  return object;
}

// Cell (r, c) calls one function of one account for one period.
designer::Report sheetOfCalls() {
  designer::Report report;
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const int n = r * kColumns + c;
      const std::u16string formula = u"=" + std::u16string(kFunctions[n % 4]) + u"(\"" + kAccounts[(n / 4) % 6] +
                                     u"\",2024," + automation::decimalText(1 + n % 12) + u")";
      report.setInput(0, {r + 1, c + 1}, formula);
    }
  }
  return report;
}

void DesignerRecalculation(benchmark::State& state) {
  designer::Report report = sheetOfCalls();
  designer::recalculate(report, component());  // the formulas are read once, as after opening a report
  for (auto _ : state) {
    const auto stats = designer::recalculate(report, component());
    benchmark::DoNotOptimize(stats);
  }
}
BENCHMARK(DesignerRecalculation)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

void RecallBatchesAlone(benchmark::State& state) {
  std::map<std::u16string, std::vector<std::vector<Variant>>> calls;
  for (int n = 0; n < kRows * kColumns; ++n) {
    calls[kFunctions[n % 4]].push_back(
        {Variant(std::u16string(kAccounts[(n / 4) % 6])), Variant(2024.0), Variant(double(1 + n % 12))});
  }
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::pair<std::u16string, Variant>> batches;
    for (const auto& [name, rows] : calls) {
      const auto count = static_cast<std::int32_t>(rows.size());
      automation::VariantArray batch({automation::Bounds{0, count - 1}, automation::Bounds{0, 2}});
      for (std::int32_t i = 0; i < count; ++i)
        batch(i, 0) = Variant(automation::VariantArray::of(rows[static_cast<std::size_t>(i)]));
      batches.emplace_back(name, Variant(std::move(batch)));
    }
    state.ResumeTiming();
    for (auto& [name, batch] : batches) {
      Variant args[] = {Variant(name), std::move(batch), Variant{}};
      component()->invoke(u"RecallRpt", automation::InvokeKind::Method, args);
      benchmark::DoNotOptimize(args[1]);
    }
  }
}
BENCHMARK(RecallBatchesAlone)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace

int main(int argc, char** argv) {
  const auto system = sample::registerSampleComponents(automation::classRegistry(), sample::defaultOptions());
  cfunc::registerComponentClasses(automation::classRegistry());
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"DSN=本地账套;COMPANY=1;Language=CHS"));
  component() = automation::CreateObject(u"Formulist2.CFunc");
  automation::put(component(), u"CompanyID", Variant(1));
  automation::put(component(), u"RptYear", Variant(2024));
  automation::put(component(), u"RptPeriod", Variant(12));
  const int status = bench::runWithRatios(argc, argv, {{"DesignerRecalculation", "RecallBatchesAlone", 1.5}});
  component().reset();
  return status;
}
