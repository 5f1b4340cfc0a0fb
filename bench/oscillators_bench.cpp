// Wavetable oscillators per mode and sync family against a bare loop that
// only advances a phase and reads two neighbouring tables.
#include "bench/support/bench_support.h"

#include <vector>

#include "bench/support/bench_host.h"
#include "modules/oscillators/osc_zvqr.h"
#include "modules/oscillators/osc_zvqr_sync.h"
#include "modules/oscillators/wavetable_kernel.h"
#include "modules/oscillators/wavetable_sets.h"
#include "tools/wavetable_generator/wavetable_generator.h"

namespace {

constexpr int32_t kBlock = 64;

void loadSaw(BenchHost& host) {
  const auto saw = zvw::generateSet(zvw::Family::Saw);
  for (int32_t slot = 0; slot < 3; ++slot)
    std::copy(saw.begin(), saw.end(), host.namedMemory(zv::oscillators::setName(slot), -1.0f));
}

void BM_TwoTableBaseline(benchmark::State& state) {
  auto saw = zvw::generateSet(zvw::Family::Saw);
  saw.resize(zv::oscillators::kSetValues, 0.0f);
  const zv::oscillators::TableChoice t = zv::oscillators::chooseTables(5.05f);
  std::vector<float> out(kBlock);
  float phase = 0.0f;
  const float increment = 21.3f;
  for (auto _ : state) {
    for (int32_t i = 0; i < kBlock; ++i) {
      phase += increment;
      if (phase >= 2048.0f) phase -= 2048.0f;
      out[i] = zv::oscillators::readTables(saw.data(), t, phase);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_TwoTableBaseline);

// streamingPitch: a pitch input moving on every sample (a glide), which
// recomputes the table choice and increment each time.
void BM_Osc(benchmark::State& state, int32_t mode, int32_t retrigger, bool streamingPitch = false) {
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule osc(host, MP_TEXT("Osc ZVQR"));
  for (int pin = 0; pin <= OscZvqr::OFFSET_OUT; ++pin) osc.audio(pin);
  osc.audio(OscZvqr::UNUSED_AUDIO);
  osc.fill(OscZvqr::PITCH, 0.505f);
  osc.fill(OscZvqr::PHASE_OFFSET, 0.2f);
  osc.fill(OscZvqr::SHAPE, 0.3f);
  osc.fill(OscZvqr::ACTIVE, 1.0f);
  if (streamingPitch) {
    float* pitch = osc.audio(OscZvqr::PITCH);
    for (int32_t i = 0; i < kBlock; ++i) pitch[i] = 0.5f + 0.01f * static_cast<float>(i) / kBlock;
  }
  osc.open();
  loadSaw(host);
  osc.process(kBlock, EventList()
                          .graphStart()
                          .streaming(0, OscZvqr::PITCH, streamingPitch)
                          .value(0, OscZvqr::MODE, mode)
                          .value(0, OscZvqr::RETRIGGER, retrigger)
                          .value(0, OscZvqr::LEVEL_1, 1.0f)
                          .value(0, OscZvqr::LEVEL_2, 1.0f)
                          .value(0, OscZvqr::LEVEL_3, 1.0f));
  for (auto _ : state) {
    osc.process(kBlock);
    benchmark::DoNotOptimize(osc.audio(OscZvqr::OUTPUT));
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK_CAPTURE(BM_Osc, plain0, 0, 0);
BENCHMARK_CAPTURE(BM_Osc, plain1, 1, 0);
BENCHMARK_CAPTURE(BM_Osc, plain2, 2, 0);
BENCHMARK_CAPTURE(BM_Osc, plain3, 3, 0);
BENCHMARK_CAPTURE(BM_Osc, plain4, 4, 0);
BENCHMARK_CAPTURE(BM_Osc, restart0, 0, 20);
BENCHMARK_CAPTURE(BM_Osc, restart1, 1, 20);
BENCHMARK_CAPTURE(BM_Osc, restart2, 2, 20);
BENCHMARK_CAPTURE(BM_Osc, restart3, 3, 20);
BENCHMARK_CAPTURE(BM_Osc, restart4, 4, 20);
BENCHMARK_CAPTURE(BM_Osc, plain0_glide, 0, 0, true);
BENCHMARK_CAPTURE(BM_Osc, restart0_glide, 0, 20, true);

void BM_Sync(benchmark::State& state, int32_t kind) {
  BenchHost host;
  host.blockSize = kBlock;
  BenchModule osc(host, MP_TEXT("Osc ZVQR Sync"));
  for (int pin = 0; pin <= OscZvqrSync::OUTPUT; ++pin) osc.audio(pin);
  osc.audio(OscZvqrSync::UNUSED_AUDIO);
  osc.audio(OscZvqrSync::SOFTNESS);
  osc.fill(OscZvqrSync::PITCH, 0.605f);
  osc.fill(OscZvqrSync::PHASE_OFFSET, 1.0f);
  osc.fill(OscZvqrSync::ACTIVE, 1.0f);
  osc.fill(OscZvqrSync::MASTER_PITCH, 0.5f);
  osc.fill(OscZvqrSync::SOFTNESS, 0.5f);
  // An external master's state outputs: 440 Hz, wrapping every 100 samples.
  float* wrap = osc.audio(OscZvqrSync::MASTER_WRAP);
  for (int32_t i = 0; i < kBlock; ++i) wrap[i] = i % 50 == 49 ? 3.0f : 0.0f;
  osc.fill(OscZvqrSync::MASTER_INCREMENT, 20.43f);
  osc.fill(OscZvqrSync::MASTER_FRACTION, 0.0f);
  osc.fill(OscZvqrSync::MASTER_OFFSET, 4360.0f + 30 * 2048.0f);
  osc.open();
  loadSaw(host);
  osc.process(kBlock, EventList()
                          .graphStart()
                          .value(0, OscZvqrSync::MODE, int32_t{0})
                          .value(0, OscZvqrSync::SYNC, int32_t{1})
                          .value(0, OscZvqrSync::SYNC_KIND, kind)
                          .value(0, OscZvqrSync::LEVEL_1, 1.0f));
  for (auto _ : state) {
    osc.process(kBlock);
    benchmark::DoNotOptimize(osc.audio(OscZvqrSync::OUTPUT));
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK_CAPTURE(BM_Sync, external, 2);
BENCHMARK_CAPTURE(BM_Sync, internal_x2, -2);
BENCHMARK_CAPTURE(BM_Sync, internal_x4, -4);
BENCHMARK_CAPTURE(BM_Sync, internal_x8, -8);

}  // namespace

ZV_BENCH_MAIN({{"BM_Osc/plain0", "BM_TwoTableBaseline"},
               {"BM_Osc/plain1", "BM_TwoTableBaseline"},
               {"BM_Osc/plain2", "BM_TwoTableBaseline"},
               {"BM_Osc/plain3", "BM_TwoTableBaseline"},
               {"BM_Osc/plain4", "BM_TwoTableBaseline"},
               {"BM_Osc/restart0", "BM_TwoTableBaseline"},
               {"BM_Osc/restart1", "BM_TwoTableBaseline"},
               {"BM_Osc/restart2", "BM_TwoTableBaseline"},
               {"BM_Osc/restart3", "BM_TwoTableBaseline"},
               {"BM_Osc/restart4", "BM_TwoTableBaseline"},
               {"BM_Osc/plain0_glide", "BM_TwoTableBaseline"},
               {"BM_Osc/restart0_glide", "BM_TwoTableBaseline"},
               // What a streaming pitch costs over a held one.
               {"BM_Osc/plain0_glide", "BM_Osc/plain0"},
               {"BM_Osc/restart0_glide", "BM_Osc/restart0"},
               {"BM_Sync/external", "BM_TwoTableBaseline"},
               {"BM_Sync/internal_x2", "BM_TwoTableBaseline"},
               {"BM_Sync/internal_x4", "BM_TwoTableBaseline"},
               {"BM_Sync/internal_x8", "BM_TwoTableBaseline"}})
