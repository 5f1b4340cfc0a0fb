// Delay, distortion and ring modulator per sample, each next to a bare loop
// of its core (ring buffer, resampling pair, product).
#include "bench/support/bench_support.h"

#include <cmath>
#include <vector>

#include "bench/support/bench_host.h"
#include "modules/dsp/resampler.h"
#include "modules/effects/delay_trois.h"
#include "modules/effects/dist_over.h"
#include "modules/effects/ring_eq_cs.h"

namespace {

constexpr int32_t kBlock = 64;

void fillSine(BenchModule& m, int32_t pin, double step, double amplitude) {
  float* b = m.audio(pin);
  for (int32_t i = 0; i < kBlock; ++i) b[i] = static_cast<float>(amplitude * std::sin(step * i));
}

void BM_BareDelayLoop(benchmark::State& state) {
  std::vector<float> line(441000, 0.0f), in(kBlock, 0.3f), out(kBlock);
  size_t write = 0;
  for (auto _ : state) {
    for (int32_t i = 0; i < kBlock; ++i) {
      line[write] = in[i] + out[i] * 0.5f;
      size_t read = write >= 4410 ? write - 4410 : write + line.size() - 4410;
      out[i] = line[read];
      if (++write == line.size()) write = 0;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_BareDelayLoop);

void BM_DelayModule(benchmark::State& state) {
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule delay(host, MP_TEXT("ZV Delay v3"));
  fillSine(delay, DelayTrois::SIGNAL, 0.05, 0.5);
  delay.fill(DelayTrois::FEEDBACK, 0.5f);
  delay.fill(DelayTrois::TIME, 0.1037f);  // fractional distance
  delay.fill(DelayTrois::TIME_OFFSET, 0.0f);
  delay.fill(DelayTrois::LEVEL, 1.0f);
  delay.fill(DelayTrois::PAN, 0.3f);
  delay.fill(DelayTrois::CLEAR, 0.0f);
  delay.fill(DelayTrois::VOLUME, 1.0f);
  for (int pin : {DelayTrois::LEFT_OUT, DelayTrois::RIGHT_OUT, DelayTrois::DELAY_OUT}) delay.audio(pin);
  delay.open();
  delay.process(kBlock, EventList()
                            .graphStart()
                            .value(0, DelayTrois::ON, 1)
                            .value(0, DelayTrois::INTERPOLATION, static_cast<int32_t>(state.range(0)))
                            .streaming(0, DelayTrois::SIGNAL, true));
  for (auto _ : state) {
    delay.process(kBlock);
    benchmark::DoNotOptimize(delay.audio(DelayTrois::LEFT_OUT));
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_DelayModule)->Arg(0)->Arg(1)->ArgName("cubic");

template <class Filter, int32_t Factor>
void BM_BareResamplerPair(benchmark::State& state) {
  Filter up, down;
  std::vector<float> in(kBlock), out(kBlock);
  for (int32_t i = 0; i < kBlock; ++i) in[i] = static_cast<float>(std::sin(0.05 * i));
  for (auto _ : state) {
    for (int32_t i = 0; i < kBlock; ++i) {
      float first = 0.0f;
      for (int32_t j = 0; j < Factor; ++j) {
        const auto r = static_cast<float>(down.process(up.process(in[i])));
        if (j == 0) first = r;
      }
      out[i] = first;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_BareResamplerPair<zv::dsp::ResampleFilter2x, 2>)->Name("BM_BareResamplerPair2x");
BENCHMARK(BM_BareResamplerPair<zv::dsp::ResampleFilter4x, 4>)->Name("BM_BareResamplerPair4x");

void BM_DistModule(benchmark::State& state) {
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule dist(host, MP_TEXT("ZV DIST CS"));
  fillSine(dist, DistOver::SIGNAL, 0.05, 0.8);
  fillSine(dist, DistOver::MODULATOR, 0.01, 0.5);
  dist.fill(DistOver::GAIN, 1.5f);
  dist.fill(DistOver::DEPTH, 0.5f);
  dist.fill(DistOver::DRIVE, 2.0f);
  dist.fill(DistOver::SHAPE, 0.8f);
  dist.fill(DistOver::DIVISOR, 1.0f);
  dist.audio(DistOver::OUTPUT);
  dist.open();
  dist.process(kBlock, EventList()
                           .graphStart()
                           .value(0, DistOver::MODE, static_cast<int32_t>(state.range(0)))
                           .streaming(0, DistOver::SIGNAL, true));
  for (auto _ : state) {
    dist.process(kBlock);
    benchmark::DoNotOptimize(dist.audio(DistOver::OUTPUT));
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_DistModule)->DenseRange(0, 5)->ArgName("mode");

void BM_BareProduct(benchmark::State& state) {
  std::vector<float> a(kBlock, 0.3f), b(kBlock, 0.7f), out(kBlock);
  for (auto _ : state) {
    for (int32_t i = 0; i < kBlock; ++i) out[i] = a[i] * b[i];
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_BareProduct);

void BM_RingModule(benchmark::State& state) {
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule ring(host, MP_TEXT("ZV-RING ZVQR CS"));
  fillSine(ring, RingEqCS::CARRIER, 0.05, 0.8);
  fillSine(ring, RingEqCS::MODULATOR, 0.21, 0.5);
  ring.fill(RingEqCS::CARRIER_BAND, 0.4f);
  ring.fill(RingEqCS::MODULATOR_BAND, 0.6f);
  ring.audio(RingEqCS::OUTPUT);
  ring.open();
  ring.process(kBlock, EventList()
                           .graphStart()
                           .value(0, RingEqCS::ENABLE_A, 1)
                           .value(0, RingEqCS::ENABLE_B, 1)
                           .value(0, RingEqCS::MODE, static_cast<int32_t>(state.range(0))));
  for (auto _ : state) {
    ring.process(kBlock);
    benchmark::DoNotOptimize(ring.audio(RingEqCS::OUTPUT));
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_RingModule)->Arg(0)->Arg(1)->ArgName("mode");

}  // namespace

ZV_BENCH_MAIN({{"BM_DelayModule/cubic:0", "BM_BareDelayLoop"},
               {"BM_DelayModule/cubic:1", "BM_BareDelayLoop"},
               {"BM_DistModule/mode:0", "BM_BareProduct"},
               {"BM_DistModule/mode:1", "BM_BareResamplerPair2x"},
               {"BM_DistModule/mode:2", "BM_BareResamplerPair2x"},
               {"BM_DistModule/mode:3", "BM_BareResamplerPair4x"},
               {"BM_DistModule/mode:4", "BM_BareResamplerPair4x"},
               {"BM_DistModule/mode:5", "BM_BareResamplerPair2x"},
               {"BM_RingModule/mode:0", "BM_BareProduct"},
               {"BM_RingModule/mode:1", "BM_BareResamplerPair2x"}})
