// RecallRpt on REF_F batches over stored reports of the sample system (headless):
//   - 1 000 000 calls over 100 reports, grouped by report, against a direct hash lookup of the
//     same cells (ns per call; three runs, the first of which reads the 100 stored workbooks);
//   - 100 000 calls over 100 reports of 1 000 cells each, grouped, loads included (ms per batch);
//   - the same 100 000 calls interleaved over two reports, against the grouped run (medians of
//     five runs each).
#include <string>
#include <unordered_map>

#include "BenchRatio.h"
#include "automation/ClassRegistry.h"
#include "automation/Dispatch.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"

namespace {

using automation::Variant;

constexpr int kReports = 100;
constexpr int kColumns = 10;  // A … J
constexpr int kRows = 100;    // 1 000 cells a report

std::string reportName(int r) {
  return "基准报表" + std::to_string(r);
}
std::u16string address(int cell) {
  const std::string a =
      std::string(1, static_cast<char>('A' + cell % kColumns)) + std::to_string(cell / kColumns + 1);
  return {a.begin(), a.end()};
}
double cellValue(int report, int cell) {
  return report * 10000.0 + cell + 0.25;
}

std::shared_ptr<sample::SampleSystem>& samples() {
  static std::shared_ptr<sample::SampleSystem> system;
  return system;
}

void storeReports() {
  for (int r = 0; r < kReports; ++r) {
    std::string cells;
    for (int c = 0; c < kColumns * kRows; ++c) {
      const std::u16string a = address(c);
      cells += (c ? "," : "") + std::string("\"") + std::string(a.begin(), a.end()) +
               "\":" + std::to_string(cellValue(r, c));
    }
    samples()->ledger().storeReport("本地账套", reportName(r),
                                    R"({"sheets":[{"name":"表1","cells":{)" + cells + "}}]}");
  }
}

Variant asText(const std::string& utf8) {
  return Variant(automation::fromUtf8(utf8));
}

Variant batchOfCalls(int calls, int perReport, bool interleaved) {
  automation::VariantArray batch({automation::Bounds{0, calls - 1}, automation::Bounds{0, 2}});
  for (int i = 0; i < calls; ++i) {
    const int report = interleaved ? i % 2 : i / perReport;
    batch(i, 0) = Variant(
        automation::VariantArray::of({asText(reportName(report)), Variant(address(i % (kColumns * kRows)))}));
  }
  return Variant(std::move(batch));
}

// One recalculation as a host does it: the batch is built for the call and handed over whole, so
// building and freeing it are the host's work and stay outside the timing.
void recall(benchmark::State& state, const automation::ObjectRef& host, int calls, int perReport,
            bool interleaved) {
  for (auto _ : state) {
    state.PauseTiming();
    Variant args[] = {Variant(u"REF_F"), batchOfCalls(calls, perReport, interleaved), Variant{}};
    state.ResumeTiming();
    host->invoke(u"RecallRpt", automation::InvokeKind::Method, args);
    benchmark::DoNotOptimize(args[1]);
    state.PauseTiming();
    args[1] = Variant{};
    state.ResumeTiming();
  }
}

automation::ObjectRef& host() {
  static automation::ObjectRef object;
  return object;
}

void GroupedMillion(benchmark::State& state) {
  recall(state, host(), 1000000, 10000, false);
  state.counters["ns/call"] = benchmark::Counter(
      1000000, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(GroupedMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

void HashLookupMillion(benchmark::State& state) {
  std::unordered_map<std::u16string, double> cells;
  for (int r = 0; r < kReports; ++r)
    for (int c = 0; c < kColumns * kRows; ++c)
      cells[automation::fromUtf8(reportName(r)) + u"!" + address(c)] = cellValue(r, c);
  std::vector<std::u16string> keys;
  keys.reserve(1000000);
  for (int i = 0; i < 1000000; ++i)
    keys.push_back(automation::fromUtf8(reportName(i / 10000)) + u"!" + address(i % 1000));
  for (auto _ : state) {
    double sum = 0;
    for (const auto& k : keys) sum += cells.at(k);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(HashLookupMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

void GroupedHundredThousand(benchmark::State& state) {
  recall(state, host(), 100000, 1000, false);
}
// Each 100 000-call batch is timed in five runs of three, and the ratio taken between the medians:
// one run of a few tens of milliseconds moves with whatever else the machine does.
BENCHMARK(GroupedHundredThousand)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);

void InterleavedHundredThousand(benchmark::State& state) {
  recall(state, host(), 100000, 1000, true);
}
BENCHMARK(InterleavedHundredThousand)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  samples() = sample::registerSampleComponents(automation::classRegistry(), sample::defaultOptions());
  cfunc::registerComponentClasses(automation::classRegistry());
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"Language=CHS"));
  storeReports();
  host() = automation::CreateObject(u"Formulist2.CFunc");
  return bench::runWithRatios(argc, argv,
                              {{"GroupedMillion", "HashLookupMillion", 10.0},
                               {"InterleavedHundredThousand", "GroupedHundredThousand", 2.0}});
}
