// Multi-mode and state-variable filters, every mode with a fixed and with a
// per-sample swept cutoff, against a bare four-stage one-pole cascade.
#include "bench/support/bench_support.h"

#include <cmath>
#include <string>
#include <vector>

#include "bench/support/bench_host.h"
#include "modules/dsp/filter_kernels.h"
#include "modules/effects/all_filters.h"
#include "modules/effects/fx_svf.h"

namespace {

constexpr int32_t kBlock = 64;

std::vector<float> noiseBlock() {
  std::vector<float> v(kBlock);
  uint32_t state = 12345;
  for (auto& x : v) {
    state = state * 1664525u + 1013904223u;
    x = static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
  }
  return v;
}

void BM_OnePoleCascade(benchmark::State& state) {
  const auto x = noiseBlock();
  std::vector<float> out(kBlock);
  zv::dsp::OnePoleStage stages[4];
  for (auto _ : state) {
    for (int32_t i = 0; i < kBlock; ++i) {
      float u = x[i];
      for (auto& s : stages) u = s.run(u, 0.2f);
      out[i] = u;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_OnePoleCascade);

// Runs one module in one mode; the cutoff either holds at 0.6 or moves
// every sample (a full recomputation of the coefficients per sample).
void runFilter(benchmark::State& state, const MpString& id, int32_t onPin) {
  const auto mode = static_cast<int32_t>(state.range(0));
  const bool swept = state.range(1) != 0;
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule filter(host, id);
  const auto x = noiseBlock();
  std::copy(x.begin(), x.end(), filter.audio(0));
  for (int32_t i = 0; i < kBlock; ++i) {
    filter.audio(1)[i] = swept ? 0.3f + 0.6f * static_cast<float>(i) / kBlock : 0.6f;
  }
  filter.fill(2, 0.5f);
  filter.fill(6, 0.5f);
  filter.audio(3);
  filter.audio(5);
  filter.open();
  EventList start;
  start.graphStart().value(0, 4, mode).streaming(0, 0, true);
  if (onPin >= 0) start.value(0, onPin, 1);
  filter.process(kBlock, start);
  for (auto _ : state) {
    filter.process(kBlock);
    benchmark::DoNotOptimize(filter.audio(3));
  }
  zvbench::countSamples(state, kBlock);
}

void BM_AllFilters(benchmark::State& state) { runFilter(state, MP_TEXT("ZV-LPF over"), -1); }
BENCHMARK(BM_AllFilters)->ArgsProduct({benchmark::CreateDenseRange(0, AllFilters::kModeCount - 1, 1), {0, 1}});

void BM_FxSvf(benchmark::State& state) { runFilter(state, MP_TEXT("ZV-SVF-02"), FxSvf::ON); }
BENCHMARK(BM_FxSvf)->ArgsProduct({benchmark::CreateDenseRange(0, FxSvf::kModeCount - 1, 1), {0, 1}});

std::vector<std::pair<std::string, std::string>> ratioPairs() {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& [name, modes] : {std::pair{std::string("BM_AllFilters"), AllFilters::kModeCount},
                                    std::pair{std::string("BM_FxSvf"), FxSvf::kModeCount}}) {
    for (int32_t mode = 0; mode < modes; ++mode) {
      for (int32_t swept : {0, 1}) {
        pairs.emplace_back(name + "/" + std::to_string(mode) + "/" + std::to_string(swept), "BM_OnePoleCascade");
      }
    }
  }
  return pairs;
}

}  // namespace

ZV_BENCH_MAIN(ratioPairs())
