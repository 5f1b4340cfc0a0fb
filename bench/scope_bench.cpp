// The scope's audio side against a plain copy of its input, per sample: a
// steady cycle of captures, hold-offs and waits on a 375 Hz sine, and the
// packing of one full capture on its own against copying it.
#include "bench/support/bench_support.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "bench/support/bench_host.h"
#include "modules/gui/zv_scope_trois.h"

namespace {

constexpr int32_t kBlock = 128;
constexpr float kPi = 3.14159265f;

std::vector<float> sine(int32_t n, int32_t period) {
  std::vector<float> x(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) x[i] = std::sin(2.0f * kPi * static_cast<float>(i) / static_cast<float>(period));
  return x;
}

void BM_CopyInput(benchmark::State& state) {
  const std::vector<float> in = sine(kBlock, kBlock);
  std::vector<float> out(kBlock);
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), sizeof(float) * kBlock);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_CopyInput);

// Time 1.0 (state 0): 480-sample captures at 48 kHz, one every 3200 samples
// or so. Time 10 (state 1): the longest captures, about half of all samples.
void BM_ScopeModule(benchmark::State& state) {
  BenchHost host;
  host.blockSize = kBlock;
  host.sampleRate = 48000.0f;
  BenchModule scope(host, MP_TEXT("ZV51MODS: ZV SCOPE V3"));
  const std::vector<float> x = sine(kBlock, kBlock);  // 375 Hz, one period a block
  std::memcpy(scope.audio(ZvScopeTrois::SIGNAL), x.data(), sizeof(float) * kBlock);
  scope.fill(ZvScopeTrois::TIME, state.range(0) == 0 ? 1.0f : 10.0f);
  scope.open();
  scope.process(kBlock, EventList().graphStart().streaming(0, ZvScopeTrois::SIGNAL, true));
  for (auto _ : state) {
    scope.process(kBlock);
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_ScopeModule)->Arg(0)->Arg(1);

void BM_CopyCapture(benchmark::State& state) {
  const std::vector<float> in = sine(zv::gui::kCaptureBytes, 100);
  std::vector<float> out(in.size());
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), sizeof(float) * in.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, zv::gui::kCaptureBytes);
}
BENCHMARK(BM_CopyCapture);

void BM_PackCapture(benchmark::State& state) {
  const std::vector<float> in = sine(zv::gui::kCaptureBytes, 100);
  std::vector<int8_t> out(in.size());
  for (auto _ : state) {
    zv::gui::packSamples(in.data(), out.data(), zv::gui::kCaptureBytes);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, zv::gui::kCaptureBytes);
}
BENCHMARK(BM_PackCapture);

}  // namespace

ZV_BENCH_MAIN({{"BM_ScopeModule/0", "BM_CopyInput"},
               {"BM_ScopeModule/1", "BM_CopyInput"},
               {"BM_PackCapture", "BM_CopyCapture"}})
