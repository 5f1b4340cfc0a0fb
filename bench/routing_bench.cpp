// Envelope per stage and curve family, pan per mode, and the twelve-channel
// multiplier against a bare multiply loop.
#include "bench/support/bench_support.h"

#include <memory>
#include <vector>

#include "bench/support/bench_host.h"
#include "modules/routing/dadsr.h"
#include "modules/routing/mat_douze.h"
#include "modules/routing/pan_st_cs.h"

namespace {

constexpr int32_t kBlock = 64;
constexpr float kForever = 10.0f;  // a time control whose stage outlasts any run

enum Stage { ATTACK_STAGE, DECAY_STAGE, SUSTAIN_STAGE, RELEASE_STAGE };

// Drives an envelope into one stage and keeps it there; curve 2 is the
// linear family, curve 1 a table family.
void envelope(benchmark::State& state, Stage stage, int32_t curve, int32_t timingMode) {
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule env(host, MP_TEXT("ZV51MODS ZV-ADSR D"));
  env.fill(Dadsr::ACTIVE, 1.0f);
  env.fill(Dadsr::ATTACK, stage == ATTACK_STAGE ? kForever : 0.0f);
  env.fill(Dadsr::DECAY, stage == DECAY_STAGE ? kForever : 0.0f);
  env.fill(Dadsr::SUSTAIN, 0.5f);
  env.fill(Dadsr::RELEASE, stage == RELEASE_STAGE ? kForever : 0.0f);
  env.fill(Dadsr::LEVEL, 0.8f);
  env.fill(Dadsr::DELAY, 0.0f);
  env.audio(Dadsr::OUTPUT);
  env.open();
  env.process(kBlock, EventList()
                          .graphStart()
                          .value(0, Dadsr::TIMING_MODE, timingMode)
                          .value(0, Dadsr::ATTACK_CURVE, curve)
                          .value(0, Dadsr::DECAY_CURVE, curve)
                          .value(0, Dadsr::RELEASE_CURVE, curve)
                          .value(0, Dadsr::TRIGGER, 1));
  for (int b = 0; b < 4; ++b) env.process(kBlock);
  if (stage == RELEASE_STAGE) env.process(kBlock, EventList().value(0, Dadsr::TRIGGER, 0));
  for (auto _ : state) {
    env.process(kBlock);
    benchmark::DoNotOptimize(env.audio(Dadsr::OUTPUT));
  }
  zvbench::countSamples(state, kBlock);
}

void BM_EnvelopeAttackLinear(benchmark::State& s) { envelope(s, ATTACK_STAGE, 2, 1); }
void BM_EnvelopeAttackTable(benchmark::State& s) { envelope(s, ATTACK_STAGE, 1, 1); }
void BM_EnvelopeAttackTableSpan(benchmark::State& s) { envelope(s, ATTACK_STAGE, 1, 0); }
void BM_EnvelopeDecayLinear(benchmark::State& s) { envelope(s, DECAY_STAGE, 2, 1); }
void BM_EnvelopeDecayTable(benchmark::State& s) { envelope(s, DECAY_STAGE, 1, 1); }
void BM_EnvelopeSustain(benchmark::State& s) { envelope(s, SUSTAIN_STAGE, 2, 1); }
void BM_EnvelopeReleaseLinear(benchmark::State& s) { envelope(s, RELEASE_STAGE, 2, 1); }
void BM_EnvelopeReleaseTable(benchmark::State& s) { envelope(s, RELEASE_STAGE, 1, 1); }
void BM_EnvelopeReleaseTableSpan(benchmark::State& s) { envelope(s, RELEASE_STAGE, 1, 0); }
BENCHMARK(BM_EnvelopeAttackLinear);
BENCHMARK(BM_EnvelopeAttackTable);
BENCHMARK(BM_EnvelopeAttackTableSpan);
BENCHMARK(BM_EnvelopeDecayLinear);
BENCHMARK(BM_EnvelopeDecayTable);
BENCHMARK(BM_EnvelopeSustain);
BENCHMARK(BM_EnvelopeReleaseLinear);
BENCHMARK(BM_EnvelopeReleaseTable);
BENCHMARK(BM_EnvelopeReleaseTableSpan);

// A bare loop writing a constant envelope times Level: the floor for any envelope.
void BM_ConstantTimesLevel(benchmark::State& state) {
  std::vector<float> level(kBlock, 0.8f), out(kBlock);
  float value = 0.5f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(value);
    for (int i = 0; i < kBlock; ++i) out[i] = value * level[i];
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_ConstantTimesLevel);

void pan(benchmark::State& state, int32_t mode, bool movingPan) {
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule module(host, MP_TEXT("ZV PanST CS"));
  module.fill(PanStCS::LEFT_IN, 0.3f);
  module.fill(PanStCS::RIGHT_IN, -0.2f);
  float* p = module.audio(PanStCS::PAN);
  for (int i = 0; i < kBlock; ++i) p[i] = movingPan ? static_cast<float>(i) / kBlock : 0.3f;
  module.audio(PanStCS::LEFT_OUT);
  module.audio(PanStCS::RIGHT_OUT);
  module.open();
  module.process(kBlock, EventList().graphStart().value(0, PanStCS::MODE, mode).streaming(0, PanStCS::LEFT_IN, true));
  for (auto _ : state) {
    module.process(kBlock);
    benchmark::DoNotOptimize(module.audio(PanStCS::LEFT_OUT));
  }
  zvbench::countSamples(state, kBlock);
}
void BM_PanMonoSum(benchmark::State& s) { pan(s, 0, false); }
void BM_PanRotation(benchmark::State& s) { pan(s, 1, false); }
void BM_PanRotationMoving(benchmark::State& s) { pan(s, 1, true); }
BENCHMARK(BM_PanMonoSum);
BENCHMARK(BM_PanRotation);
BENCHMARK(BM_PanRotationMoving);

// Fixed gains on a stereo pair: what the pan costs without its lookups.
void BM_BareStereoGains(benchmark::State& state) {
  std::vector<float> l(kBlock, 0.3f), r(kBlock, -0.2f), lo(kBlock), ro(kBlock);
  float gc = 0.8f, gs = 0.6f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(gc);
    for (int i = 0; i < kBlock; ++i) {
      lo[i] = l[i] * gc + r[i] * gs;
      ro[i] = r[i] * gc + l[i] * gs;
    }
    benchmark::DoNotOptimize(lo.data());
    benchmark::DoNotOptimize(ro.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_BareStereoGains);

void BM_MatDouzeModule(benchmark::State& state) {
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule matrix(host, MP_TEXT("ZV MATRICE 12"));
  matrix.fill(MatDouze::MODULATOR, 0.7f);
  for (int32_t k = 1; k <= 12; ++k) {
    matrix.fill(MatDouze::input(k), 0.1f * static_cast<float>(k));
    matrix.audio(MatDouze::output(k));
  }
  matrix.open();
  matrix.process(kBlock,
                 EventList().graphStart().value(0, MatDouze::ACTIVE, 1).streaming(0, MatDouze::MODULATOR, true));
  for (auto _ : state) {
    matrix.process(kBlock);
    benchmark::DoNotOptimize(matrix.audio(MatDouze::output(12)));
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_MatDouzeModule);

void BM_BareTwelveChannelMultiply(benchmark::State& state) {
  std::vector<float> modulator(kBlock, 0.7f);
  std::vector<std::vector<float>> in(12, std::vector<float>(kBlock, 0.5f)), out(12, std::vector<float>(kBlock));
  for (auto _ : state) {
    for (int k = 0; k < 12; ++k)
      for (int i = 0; i < kBlock; ++i) out[k][i] = in[k][i] * modulator[i];
    benchmark::DoNotOptimize(out[11].data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_BareTwelveChannelMultiply);

}  // namespace

ZV_BENCH_MAIN({{"BM_EnvelopeAttackLinear", "BM_ConstantTimesLevel"},
               {"BM_EnvelopeAttackTable", "BM_ConstantTimesLevel"},
               {"BM_EnvelopeDecayTable", "BM_ConstantTimesLevel"},
               {"BM_EnvelopeSustain", "BM_ConstantTimesLevel"},
               {"BM_EnvelopeReleaseTable", "BM_ConstantTimesLevel"},
               {"BM_PanRotation", "BM_BareStereoGains"},
               {"BM_PanRotationMoving", "BM_BareStereoGains"},
               {"BM_MatDouzeModule", "BM_BareTwelveChannelMultiply"}})
