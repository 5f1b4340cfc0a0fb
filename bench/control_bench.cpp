// The BPM clock over a minute at 48 kHz in blocks of 64, against two ways
// of producing the same square wave by writing every sample: a per-sample
// clock, and a bare fill of each block with its level.
#include "bench/support/bench_support.h"

#include <algorithm>
#include <vector>

#include "bench/support/bench_host.h"
#include "modules/control/bpm_clock3.h"

namespace {

constexpr int32_t kBlock = 64;
constexpr int64_t kMinute = 60 * 48000;
constexpr int64_t kBlocks = kMinute / kBlock;

// Counts the clock's static declarations instead of keeping them, so that
// the run measures the clock rather than a growing record.
struct CountingHost : BenchHost {
  int32_t MP_STDCALL sendPinStreaming(int32_t, int32_t, bool) override {
    ++declarations;
    return MP_OK;
  }
  int64_t declarations = 0;
};

void BM_BpmClockMinute(benchmark::State& state) {
  CountingHost host;
  host.blockSize = kBlock;
  host.sampleRate = 48000.0f;
  BenchModule clock(host, MP_TEXT("ZV BPM Clock3"));
  clock.audio(BpmClock3::CLOCK);
  clock.open();
  clock.process(kBlock, EventList()
                            .graphStart()
                            .value(0, BpmClock3::TEMPO, 120.0f)
                            .value(0, BpmClock3::DIVISION, static_cast<int32_t>(state.range(0)))
                            .value(0, BpmClock3::ACTIVE, 1));
  for (auto _ : state) {
    for (int64_t b = 0; b < kBlocks; ++b) clock.process(kBlock);
    benchmark::DoNotOptimize(clock.audio(BpmClock3::CLOCK));
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kMinute);
}
BENCHMARK(BM_BpmClockMinute)->Arg(4)->Arg(16);

// A clock that tests its phase and writes every sample.
void BM_PerSampleClockMinute(benchmark::State& state) {
  std::vector<float> out(kBlock);
  const double increment = 120.0 / (48000.0 * 60.0) * static_cast<double>(state.range(0));
  double phase = 0.0;
  for (auto _ : state) {
    for (int64_t b = 0; b < kBlocks; ++b) {
      for (int32_t i = 0; i < kBlock; ++i) {
        out[i] = phase < 0.5 ? 1.0f : 0.0f;
        phase += increment;
        if (phase >= 1.0) phase -= 1.0;
      }
      benchmark::DoNotOptimize(out.data());
      benchmark::ClobberMemory();
    }
  }
  zvbench::countSamples(state, kMinute);
}
BENCHMARK(BM_PerSampleClockMinute)->Arg(4)->Arg(16);

// Only the writing: each block filled with a level that changes per block.
void BM_FillEveryBlockMinute(benchmark::State& state) {
  std::vector<float> out(kBlock);
  for (auto _ : state) {
    for (int64_t b = 0; b < kBlocks; ++b) {
      std::fill(out.begin(), out.end(), static_cast<float>(b & 1));
      benchmark::DoNotOptimize(out.data());
      benchmark::ClobberMemory();
    }
  }
  zvbench::countSamples(state, kMinute);
}
BENCHMARK(BM_FillEveryBlockMinute);

}  // namespace

ZV_BENCH_MAIN({{"BM_BpmClockMinute/4", "BM_PerSampleClockMinute/4"},
               {"BM_BpmClockMinute/16", "BM_PerSampleClockMinute/16"},
               {"BM_BpmClockMinute/4", "BM_FillEveryBlockMinute"},
               {"BM_BpmClockMinute/16", "BM_FillEveryBlockMinute"}})
