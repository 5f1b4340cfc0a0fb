// Modulation mixer against a bare loop of the same formula.
#include "bench/support/bench_support.h"

#include <vector>

#include "bench/support/bench_host.h"
#include "modules/routing/mixm.h"

namespace {

constexpr int32_t kBlock = 64;

void BM_BareBlendLoop(benchmark::State& state) {
  std::vector<float> x(kBlock, 0.5f), b(kBlock, 0.1f), m(kBlock, 0.3f), out(kBlock);
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) out[i] = zv::routing::modulationBlend(x[i], b[i], m[i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_BareBlendLoop);

void BM_MixmModule(benchmark::State& state) {
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule mixer(host, MP_TEXT("ZV MixM"));
  mixer.fill(Mixm::SIGNAL, 0.5f);
  mixer.fill(Mixm::BLEND, 0.1f);
  mixer.fill(Mixm::MODULATOR, 0.3f);
  mixer.audio(Mixm::OUTPUT);
  mixer.open();
  mixer.process(kBlock, EventList().graphStart().value(0, Mixm::ON, 1).streaming(0, Mixm::SIGNAL, true));
  for (auto _ : state) {
    mixer.process(kBlock);
    benchmark::DoNotOptimize(mixer.audio(Mixm::OUTPUT));
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_MixmModule);

}  // namespace

ZV_BENCH_MAIN({{"BM_MixmModule", "BM_BareBlendLoop"}})
