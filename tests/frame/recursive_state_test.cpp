// Every module whose state carries from sample to sample (filter and
// resampler memories, delay lines and feedback, envelope, oscillator and
// clock phases): a stretch of huge, infinite or NaN values on any one input
// leaves nothing behind. Once the input is ordinary again the outputs
// settle back to finite values of ordinary size, and keep moving where an
// ordinary input moves them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "modules/control/bpm_clock3.h"
#include "modules/effects/all_filters.h"
#include "modules/effects/delay_trois.h"
#include "modules/effects/dist_over.h"
#include "modules/effects/fx_svf.h"
#include "modules/effects/ring_eq_cs.h"
#include "modules/oscillators/osc_zvqr.h"
#include "modules/oscillators/osc_zvqr_sync.h"
#include "modules/routing/dadsr.h"
#include "modules/routing/pan_st_cs.h"
#include "modules/sampler/soundfont_oscillator3.h"
#include "tests/oscillators/wavetable_patterns.h"
#include "tests/sampler/test_banks.h"
#include "tests/support/module_harness.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// What a hit audio input is fed for a stretch: a value, or a value of
// random sign (which sets a filter ringing at its limit).
struct Bad {
  float value;
  bool randomSign = false;
};
constexpr Bad kBadInputs[] = {{1e30f}, {1e30f, true}, {kInf}, {-kInf}, {kNaN}};

constexpr int32_t kBlock = 64;
constexpr int32_t kWarmBlocks = 8;
constexpr int32_t kBadBlocks = 8;
constexpr int32_t kCheckBlocks = 16;

// A float pin that gets the bad value as an event, and its ordinary value
// afterwards.
struct EventHit {
  int32_t pin;
  float ordinary;
};

using Start = std::function<void(EventList&)>;

// One configuration of one module. Every held and every noise input gets
// the bad stretch in turn, and so does each event hit.
struct Case {
  std::string name = {};
  MpString id = {};
  std::vector<std::pair<int32_t, float>> held = {};  // audio inputs at a constant
  std::vector<int32_t> signals = {};                 // audio inputs fed noise
  std::vector<int32_t> outputs = {};                 // the first must move when `moves`
  Start start = nullptr;                             // pin values at graph start
  std::vector<EventHit> eventHits = {};
  float limit = 10.0f;
  bool moves = true;
  int32_t settleBlocks = 48;
  bool wavetables = false;
  std::function<IMpPlugin*(TestHost&)> make = nullptr;  // else through the factory
};

// Noise in ±0.5, the same for every run.
struct Noise {
  uint32_t state = 12345;
  float next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
  }
};

// Ordinary input, then `bad` on one input (an audio pin, or a float pin
// when `event`), then ordinary input again until the settling time is up.
void run(const Case& c, TestHost& host, int32_t hit, bool event, float ordinary, const Bad& bad) {
  SCOPED_TRACE(testing::Message() << "pin " << hit << " fed " << (bad.randomSign ? "random-sign " : "") << bad.value);
  // Zeros on every pin the case leaves out, so no routine reads a null buffer.
  std::vector<std::vector<float>> spare(40, std::vector<float>(kBlock, 0.0f));
  auto module = c.make ? std::make_unique<AudioModule>(host, c.make(host)) : std::make_unique<AudioModule>(host, c.id);
  for (int32_t pin = 0; pin < 40; ++pin) module->plugin()->attachPinBuffer(pin, spare[pin].data());
  for (const auto& [pin, value] : c.held) module->fill(pin, value);
  for (int32_t pin : c.outputs) module->audio(pin);
  module->open();
  if (c.wavetables) zv::oscillators::test::fillRamps(host);

  Noise noise;
  bool badStretch = false;
  std::vector<std::vector<float>> seen(c.outputs.size());
  auto render = [&](int32_t blocks, EventList& first) {
    for (int32_t b = 0; b < blocks; ++b) {
      for (int32_t pin : c.signals) std::generate_n(module->audio(pin), kBlock, [&] { return noise.next(); });
      if (badStretch && !event) {
        std::generate_n(module->audio(hit), kBlock,
                        [&] { return bad.randomSign && noise.next() < 0.0f ? -bad.value : bad.value; });
      }
      if (b == 0)
        module->process(kBlock, first);
      else
        module->process(kBlock);
      for (size_t k = 0; k < c.outputs.size(); ++k)
        seen[k].insert(seen[k].end(), module->audio(c.outputs[k]), module->audio(c.outputs[k]) + kBlock);
    }
  };

  EventList start;
  start.graphStart();
  for (int32_t pin : c.signals) start.streaming(0, pin, true);
  if (!event) start.streaming(0, hit, true);
  c.start(start);
  render(kWarmBlocks, start);
  EventList badEvent, restore, none;
  if (event) badEvent.value(0, hit, bad.value), restore.value(0, hit, ordinary);
  badStretch = true;
  render(kBadBlocks, badEvent);
  badStretch = false;
  for (const auto& [pin, value] : c.held)
    if (pin == hit) module->fill(pin, value);
  render(c.settleBlocks, restore);
  for (auto& s : seen) s.clear();
  render(kCheckBlocks, none);

  for (size_t k = 0; k < c.outputs.size(); ++k) {
    for (size_t i = 0; i < seen[k].size(); ++i) {
      ASSERT_TRUE(std::isfinite(seen[k][i]) && std::fabs(seen[k][i]) <= c.limit)
          << "output " << c.outputs[k] << " sample " << i << " = " << seen[k][i];
    }
  }
  if (c.moves) {
    const auto [low, high] = std::minmax_element(seen[0].begin(), seen[0].end());
    EXPECT_GT(*high - *low, 1e-6f) << "output " << c.outputs[0] << " stuck at " << *low;
  }
}

// ---- The table --------------------------------------------------------

Start values(std::vector<std::pair<int32_t, int32_t>> ints, std::vector<std::pair<int32_t, float>> floats = {}) {
  return [=](EventList& e) {
    for (const auto& [pin, v] : ints) e.value(0, pin, v);
    for (const auto& [pin, v] : floats) e.value(0, pin, v);
  };
}

// One looped zone (a pitch far up must not just play it out), opened on
// first use and kept for every run.
struct LoopedBank {
  LoopedBank()
      : bytes(write()), handle(registry.openPresetFromMemory(MP_TEXT("looped"), bytes.data(), bytes.size(), 0, 0)) {}
  static sf2::Bytes write() {
    sf2::Bank b;
    sf2::Sample ramp{"ramp", zv::sampler::test::ramp(1000, 10)};
    ramp.rootKey = 69;
    ramp.loopStart = 100;
    ramp.loopEnd = 200;
    b.samples.push_back(ramp);
    b.instruments.push_back({"looped", {sf2::Zone{{sf2::gen(54, 1), sf2::sampleId(0)}}}});
    b.presets.push_back({"looped", 0, 0, {sf2::Zone{{sf2::instrumentId(0)}}}});
    return sf2::write(b);
  }
  zv::sampler::SoundFontRegistry registry;
  sf2::Bytes bytes;
  zv::sampler::BankHandle handle;
};
LoopedBank& loopedBank() {
  static LoopedBank bank;
  return bank;
}

std::vector<Case> allCases() {
  std::vector<Case> cases;
  using F = AllFilters;
  for (int32_t mode = 0; mode < F::kModeCount; ++mode) {
    cases.push_back({.name = "AllFiltersMode" + std::to_string(mode),
                     .id = MP_TEXT("ZV-LPF over"),
                     .held = {{F::CUTOFF, 0.6f}, {F::RESONANCE, 0.5f}, {F::MIX, 0.5f}},
                     .signals = {F::SIGNAL},
                     .outputs = {F::OUTPUT},
                     .start = values({{F::MODE, mode}})});
  }
  for (int32_t mode = 0; mode < FxSvf::kModeCount; ++mode) {
    cases.push_back({.name = "FxSvfMode" + std::to_string(mode),
                     .id = MP_TEXT("ZV-SVF-02"),
                     .held = {{FxSvf::CUTOFF, 0.6f}, {FxSvf::RESONANCE, 0.5f}, {FxSvf::MIX, 0.5f}},
                     .signals = {FxSvf::SIGNAL},
                     .outputs = {FxSvf::OUTPUT},
                     .start = values({{FxSvf::MODE, mode}, {FxSvf::ON, 1}})});
  }
  using D = DelayTrois;
  for (int32_t interpolation : {0, 1}) {
    cases.push_back({.name = "DelayInterpolation" + std::to_string(interpolation),
                     .id = MP_TEXT("ZV Delay v3"),
                     .held = {{D::FEEDBACK, 0.5f},
                              {D::TIME, 0.001f},
                              {D::TIME_OFFSET, 0.0f},
                              {D::LEVEL, 1.0f},
                              {D::PAN, 0.5f},
                              {D::VOLUME, 1.0f}},
                     .signals = {D::SIGNAL},
                     .outputs = {D::DELAY_OUT, D::LEFT_OUT, D::RIGHT_OUT},
                     .start = values({{D::ON, 1}, {D::INTERPOLATION, interpolation}})});
  }
  using X = DistOver;
  for (int32_t mode = 0; mode <= 5; ++mode) {
    cases.push_back({.name = "DistortionMode" + std::to_string(mode),
                     .id = MP_TEXT("ZV DIST CS"),
                     .held = {{X::GAIN, 1.0f},
                              {X::MODULATOR, 0.5f},
                              {X::DEPTH, 0.5f},
                              {X::DRIVE, 2.0f},
                              {X::SHAPE, 0.5f},
                              {X::DIVISOR, 1.0f}},
                     .signals = {X::SIGNAL},
                     .outputs = {X::OUTPUT},
                     .start = values({{X::MODE, mode}})});
  }
  using R = RingEqCS;
  for (int32_t mode : {0, 1}) {
    // The lower band edge sits at 14 Hz: a memory at the state limit takes
    // a quarter of a second to fall to signal level.
    cases.push_back({.name = "RingMode" + std::to_string(mode),
                     .id = MP_TEXT("ZV-RING ZVQR CS"),
                     .held = {{R::CARRIER_BAND, 0.5f}, {R::MODULATOR_BAND, 0.45f}},
                     .signals = {R::CARRIER, R::MODULATOR},
                     .outputs = {R::OUTPUT},
                     .start = values({{R::ENABLE_A, 1}, {R::ENABLE_B, 1}, {R::MODE, mode}}),
                     .settleBlocks = 256});
  }
  using E = Dadsr;
  for (int32_t timing : {0, 1}) {
    // The bad stretch arrives during the attack; the envelope then settles
    // at its sustain level.
    cases.push_back(
        {.name = "EnvelopeTiming" + std::to_string(timing),
         .id = MP_TEXT("ZV51MODS ZV-ADSR D"),
         .held = {{E::ACTIVE, 1.0f},
                  {E::ATTACK, 0.5f},
                  {E::DECAY, 0.5f},
                  {E::SUSTAIN, 0.5f},
                  {E::RELEASE, 0.5f},
                  {E::LEVEL, 1.0f},
                  {E::DELAY, 0.0f}},
         .outputs = {E::OUTPUT},
         .start = values({{E::TIMING_MODE, timing}, {E::DECAY_CURVE, 3}, {E::TRIGGER, 1}}, {{E::GATE, 1.0f}}),
         .limit = 1.0f,
         .moves = false});
  }
  using O = OscZvqr;
  for (int32_t mode = 0; mode <= 4; ++mode) {
    for (int32_t retrigger : {0, 3}) {
      cases.push_back(
          {.name = "OscillatorMode" + std::to_string(mode) + "Retrigger" + std::to_string(retrigger),
           .id = MP_TEXT("Osc ZVQR"),
           .held = {{O::PITCH, 0.5f}, {O::PHASE_OFFSET, 0.3f}, {O::SHAPE, 0.2f}, {O::ACTIVE, 1.0f}, {O::GATE, 1.0f}},
           .outputs = {O::OUTPUT},
           .start = values({{O::MODE, mode}, {O::RETRIGGER, retrigger}},
                           {{O::LEVEL_1, 0.01f}, {O::LEVEL_2, 0.01f}, {O::LEVEL_3, 0.01f}}),
           .wavetables = true});
    }
  }
  using S = OscZvqrSync;
  // Plain, following an external master, and the internal master at each
  // factor (with the ring term: softness above 1). The levels reach the
  // decimation filter's memory, whose output is heard after 102 blocks.
  const std::pair<const char*, std::pair<int32_t, int32_t>> kinds[] = {
      {"Plain", {0, 0}},       {"External", {1, 0}},    {"ExternalFade", {1, 2}},
      {"Internal2x", {1, -2}}, {"Internal4x", {1, -4}}, {"Internal8x", {1, -8}}};
  for (const auto& [name, kind] : kinds) {
    cases.push_back({.name = std::string("SyncedOscillator") + name,
                     .id = MP_TEXT("Osc ZVQR Sync"),
                     .held = {{S::PITCH, 0.5f},
                              {S::PHASE_OFFSET, 0.3f},
                              {S::SHAPE, 0.2f},
                              {S::ACTIVE, 1.0f},
                              {S::GATE, 1.0f},
                              {S::MASTER_PITCH, 0.62f},
                              {S::MASTER_WRAP, 0.0f},
                              {S::MASTER_INCREMENT, 20.0f},
                              {S::MASTER_FRACTION, 0.3f},
                              {S::MASTER_OFFSET, 4360.0f + 2048.0f * 37.0f},
                              {S::SOFTNESS, 1.5f}},
                     .outputs = {S::OUTPUT},
                     .start = values({{S::MODE, 1}, {S::SYNC, kind.first}, {S::SYNC_KIND, kind.second}},
                                     {{S::LEVEL_1, 0.01f}, {S::LEVEL_2, 0.01f}, {S::LEVEL_3, 0.01f}}),
                     .eventHits = {{S::LEVEL_1, 0.01f}, {S::LEVEL_2, 0.01f}, {S::LEVEL_3, 0.01f}},
                     .limit = 50.0f,
                     .settleBlocks = 128,
                     .wavetables = true});
  }
  // 600 beats a minute in sixteenths: an edge every 551 samples.
  cases.push_back({.name = "Clock",
                   .id = MP_TEXT("ZV BPM Clock3"),
                   .outputs = {BpmClock3::CLOCK},
                   .start = values({{BpmClock3::DIVISION, 4}, {BpmClock3::ACTIVE, 1}}, {{BpmClock3::TEMPO, 600.0f}}),
                   .eventHits = {{BpmClock3::TEMPO, 600.0f}, {BpmClock3::POSITION, 0.0f}},
                   .limit = 1.0f});
  using Q = SoundfontOscillator3;
  for (int32_t interpolation : {1, 8}) {
    cases.push_back({.name = "SoundfontInterpolation" + std::to_string(interpolation),
                     .held = {{Q::PITCH, 0.5f}, {Q::GATE, 1.0f}, {Q::VELOCITY, 0.8f}, {Q::PITCH_MODULATION, 0.0f}},
                     .outputs = {Q::LEFT, Q::RIGHT},
                     .start =
                         [interpolation](EventList& e) {
                           e.value(0, Q::ACTIVE, 1).value(0, Q::BANK_HANDLE, loopedBank().handle);
                           e.value(0, Q::INTERPOLATION, interpolation).streaming(0, Q::GATE, false);
                         },
                     .limit = 1.0f,
                     .make = [](TestHost& host) -> IMpPlugin* {
                       return new SoundfontOscillator3(host.unknown(), loopedBank().registry);
                     }});
  }
  return cases;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RecursiveState : public ::testing::TestWithParam<Case> {};

TEST_P(RecursiveState, BadInputLeavesNothingBehind) {
  const Case& c = GetParam();
  TestHost host;  // shared by the runs, so the tables are filled once
  host.blockSize = kBlock;
  for (const Bad& bad : kBadInputs) {
    for (const auto& [pin, value] : c.held) run(c, host, pin, false, value, bad);
    for (int32_t pin : c.signals) run(c, host, pin, false, 0.0f, bad);
    for (const auto& [pin, ordinary] : c.eventHits)
      if (!bad.randomSign) run(c, host, pin, true, ordinary, bad);
    if (HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryModule, RecursiveState, ::testing::ValuesIn(allCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
