// Runs the registered benchmarks and reports each measured case as a ratio to its baseline,
// measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Keeps each benchmark's time under its function name: the median when it ran repeatedly.
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        times_[name] = run.GetAdjustedRealTime();
      } else if (run.run_type == Run::RT_Iteration && !times_.contains(name)) {
        times_[name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double time(const std::string& name) const {
    const auto it = times_.find(name);
    return it == times_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> times_;
};

// pairs: (measured, baseline, target ratio, 0 for none); prints one line per pair.
inline int runWithRatios(int argc, char** argv,
                         const std::vector<std::tuple<std::string, std::string, double>>& pairs) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [measured, baseline, target] : pairs) {
    const double m = reporter.time(measured);
    const double b = reporter.time(baseline);
    if (m <= 0 || b <= 0) continue;
    if (target <= 0) {  // reported, without a target
      std::printf("ratio %s / %s = %.2f (%s %.1f ms)\n", measured.c_str(), baseline.c_str(), m / b,
                  measured.c_str(), m);
      continue;
    }
    std::printf("ratio %s / %s = %.2f (target <= %.2f)%s\n", measured.c_str(), baseline.c_str(), m / b,
                target, m / b <= target ? "" : "  ABOVE TARGET");
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
