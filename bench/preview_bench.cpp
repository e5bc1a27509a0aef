// The editor's live result: one row of each function of the sample catalogue through RecallRpt, as
// the preview computes it once typing pauses. Reported per function (no baseline: the figure to
// watch is the slowest, which must stay far below the 300 ms pause before a preview runs).
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "automation/ClassRegistry.h"
#include "automation/Dispatch.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"

namespace {

using automation::Variant;

automation::ObjectRef& component() {
  static automation::ObjectRef object;
  return object;
}

void preview(benchmark::State& state, const std::u16string& name, std::vector<Variant> args) {
  for (auto _ : state) {
    automation::VariantArray rows({automation::Bounds{0, 0}, automation::Bounds{0, 2}});
    rows(0, 0) = Variant(automation::VariantArray::of(args));
    Variant call[] = {Variant(name), Variant(std::move(rows)), Variant{}};
    component()->invoke(u"RecallRpt", automation::InvokeKind::Method, call);
    benchmark::DoNotOptimize(call[1]);
  }
}

#define PREVIEW(NAME, ...)                                                                     \
  BENCHMARK_CAPTURE(preview, NAME, u## #NAME, std::vector<Variant>{__VA_ARGS__})                \
      ->Unit(benchmark::kMicrosecond)

PREVIEW(QMYE, Variant(u"1002"), Variant(2024.0), Variant(3.0));
PREVIEW(QCYE, Variant(u"1"), Variant(2024.0), Variant(1.0));  // an account with every sub-account
PREVIEW(JFFS, Variant(u"6001"), Variant(2024.0), Variant(12.0));
PREVIEW(HJQM, Variant(u"1001"), Variant(u"1002"), Variant(u"1122"), Variant(u"2202"));
PREVIEW(HL, Variant(u"USD"), Variant(u"2024-06-30"));
PREVIEW(ZBFX, Variant(u"1002"), Variant(2024.0), Variant(1.5), Variant(100.0));
PREVIEW(REF_F, Variant(u"资产负债表"), Variant(u"C4"), Variant(1.0));
PREVIEW(VEX_REF_F, Variant(1.0), Variant(u"C4"), Variant(1.0));
PREVIEW(SYSINFO, Variant(u"公司名称"));
PREVIEW(DATEDIFF, Variant(u"d"), Variant(u"2024-01-01"), Variant(u"2024-12-31"));

}  // namespace

int main(int argc, char** argv) {
  const auto system = sample::registerSampleComponents(automation::classRegistry(), sample::defaultOptions());
  cfunc::registerComponentClasses(automation::classRegistry());
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"DSN=本地账套;COMPANY=1;Language=CHS"));
  component() = automation::CreateObject(u"Formulist2.CFunc");
  automation::put(component(), u"RptYear", Variant(2024));
  automation::put(component(), u"RptPeriod", Variant(12));
  const int status = bench::runWithRatios(argc, argv, {});
  component().reset();
  return status;
}
