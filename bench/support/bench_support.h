// Shared pieces of the benchmark programs: ns-per-sample counters and a
// report of each benchmark's cost as a ratio to its baseline in the same run.
//
//   BENCHMARK(BM_Module);  ... inside: zvbench::countSamples(state, frames);
//   ZV_BENCH_MAIN({{"BM_Module", "BM_Baseline"}})
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zvbench {

// Adds an "ns/sample" column: time per processed sample.
inline void countSamples(benchmark::State& state, int64_t samplesPerIteration) {
  state.counters["ns/sample"] =
      benchmark::Counter(static_cast<double>(samplesPerIteration) * 1e-9,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Console output as usual, then a table of ratios to the named baselines.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(std::vector<std::pair<std::string, std::string>> pairs) : pairs_(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      auto ns = run.counters.find("ns/sample");
      double value = ns != run.counters.end() ? static_cast<double>(ns->second) : run.GetAdjustedCPUTime();
      perSample_[run.benchmark_name()] = value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    if (pairs_.empty()) return;
    std::printf("\n%-48s %12s %12s %8s\n", "benchmark / baseline", "ns/sample", "baseline", "ratio");
    for (const auto& [name, baseline] : pairs_) {
      auto a = perSample_.find(name);
      auto b = perSample_.find(baseline);
      if (a == perSample_.end() || b == perSample_.end() || b->second <= 0.0) continue;
      std::printf("%-48s %12.3f %12.3f %8.2f\n", (name + " / " + baseline).c_str(), a->second, b->second,
                  a->second / b->second);
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
  std::map<std::string, double> perSample_;
};

inline int runWithRatios(int argc, char** argv, std::vector<std::pair<std::string, std::string>> pairs) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter(std::move(pairs));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace zvbench

// The program's main: pairs of {benchmark, baseline} names (with arguments,
// as printed, e.g. "BM_Filter/3").
#define ZV_BENCH_MAIN(...) \
  int main(int argc, char** argv) { return zvbench::runWithRatios(argc, argv, __VA_ARGS__); }
