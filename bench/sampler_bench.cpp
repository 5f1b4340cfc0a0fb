// SoundFont oscillator: cost per voice-sample for each interpolation, fixed
// and tracking pitch (a vibrato streaming in), mono and stereo zones,
// against a bare loop (16-bit samples, 8.24 phase, linear interpolation,
// pan gains) and tracking against fixed; and the demo bank played by 16 and
// 64 oscillators, with its realtime factor.
#include "bench/support/bench_support.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/bench_host.h"
#include "modules/sampler/soundfont_oscillator3.h"
#include "tools/sf2_generator/demo_bank.h"

namespace {

using namespace zv::sampler;

constexpr int32_t kBlock = 64;
constexpr float kRate = 44100.0f;

// A long looped mono sample and a looped stereo pair, at every key.
const sf2::Bytes& benchBank() {
  static const sf2::Bytes bytes = [] {
    sf2::Bank b;
    std::vector<int16_t> tone(44100);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(20000.0 * std::sin(i * 0.0627));
    sf2::Sample mono{"mono", tone, 1000, 44000};
    mono.rootKey = 69;
    sf2::Sample right = mono, left = mono;
    right.type = 2;
    right.link = 2;
    left.type = 4;
    left.link = 1;
    b.samples = {mono, right, left};
    b.instruments.push_back({"mono", {sf2::Zone{{sf2::gen(54, 1), sf2::sampleId(0)}}}});
    b.instruments.push_back({"stereo", {sf2::Zone{{sf2::gen(54, 1), sf2::sampleId(1)}}}});
    b.presets.push_back({"mono", 0, 0, {sf2::Zone{{sf2::instrumentId(0)}}}});
    b.presets.push_back({"stereo", 1, 0, {sf2::Zone{{sf2::instrumentId(1)}}}});
    return sf2::write(b);
  }();
  return bytes;
}

void BM_BareLoop(benchmark::State& state) {
  std::vector<int16_t> samples(44100 + 8);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(20000.0 * std::sin(i * 0.0627));
  std::vector<float> left(kBlock), right(kBlock);
  const float leftGain = 0.7071f, rightGain = 0.7071f;
  const uint32_t increment = 0x1234567;  // a little above one sample per step
  uint32_t fraction = 0;
  int32_t position = 1000;
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) {
      fraction += increment;
      position += static_cast<int32_t>(fraction >> 24);
      fraction &= 0xFFFFFF;
      if (position >= 44000) position -= 43000;
      const int64_t sum = static_cast<int64_t>(0x1000000 - fraction) * samples[position] +
                          static_cast<int64_t>(fraction) * samples[position + 1];
      const float v = static_cast<float>(sum) * (1.0f / 1099511627776.0f);
      left[i] = leftGain * v;
      right[i] = rightGain * v;
    }
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
    benchmark::ClobberMemory();
  }
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_BareLoop);

// One oscillator, one looping voice. Args: interpolation pin value,
// tracking pitch (0/1), stereo zone (0/1).
void BM_Voice(benchmark::State& state) {
  const int32_t interpolation = static_cast<int32_t>(state.range(0));
  const bool tracking = state.range(1) != 0;
  const int32_t preset = static_cast<int32_t>(state.range(2));
  BenchHost host;
  host.blockSize = kBlock;
  host.sampleRate = kRate;
  const BankHandle handle = soundFontRegistry().openPresetFromMemory(MP_TEXT("bench bank"), benchBank().data(),
                                                                     benchBank().size(), 0, preset);
  {
    BenchModule osc(host, MP_TEXT("SampleOscillator3"));
    osc.fill(SoundfontOscillator3::PITCH, 0.51f);
    osc.fill(SoundfontOscillator3::PITCH_MODULATION, 0.0f);
    osc.fill(SoundfontOscillator3::TRIGGER, 0.0f);
    osc.fill(SoundfontOscillator3::GATE, 1.0f);
    osc.fill(SoundfontOscillator3::VELOCITY, 0.8f);
    osc.audio(SoundfontOscillator3::LEFT);
    osc.audio(SoundfontOscillator3::RIGHT);
    if (tracking) {
      float* pitch = osc.audio(SoundfontOscillator3::PITCH);
      for (int32_t i = 0; i < kBlock; ++i) pitch[i] = 0.51f + 0.002f * std::sin(static_cast<float>(i) * 0.1f);
    }
    osc.open();
    osc.process(kBlock, EventList()
                            .graphStart()
                            .value(0, SoundfontOscillator3::ACTIVE, 1)
                            .value(0, SoundfontOscillator3::BANK_HANDLE, handle)
                            .value(0, SoundfontOscillator3::INTERPOLATION, interpolation)
                            .streaming(0, SoundfontOscillator3::GATE, false)
                            .streaming(0, SoundfontOscillator3::PITCH, tracking));
    for (auto _ : state) {
      osc.process(kBlock);
      benchmark::DoNotOptimize(osc.audio(SoundfontOscillator3::LEFT));
    }
  }
  soundFontRegistry().releaseUser(handle);
  zvbench::countSamples(state, kBlock);
}
BENCHMARK(BM_Voice)->ArgNames({"interp", "tracking", "stereo"})->ArgsProduct({{0, 1, 4, 8}, {0, 1}, {0, 1}});

// The demo bank's looping keys preset: one oscillator per voice, each holding a
// different note. Reports seconds of audio rendered per second.
void BM_DemoVoices(benchmark::State& state) {
  const auto voices = static_cast<int>(state.range(0));
  static const sf2::Bytes demo = sf2::write(sf2::demoBank());
  BenchHost host;
  host.blockSize = kBlock;
  host.sampleRate = kRate;
  const BankHandle handle =
      soundFontRegistry().openPresetFromMemory(MP_TEXT("demo bank"), demo.data(), demo.size(), 0, 0);
  {
    std::vector<std::unique_ptr<BenchModule>> oscs;
    for (int v = 0; v < voices; ++v) {
      auto osc = std::make_unique<BenchModule>(host, MP_TEXT("SampleOscillator3"));
      osc->fill(SoundfontOscillator3::PITCH, 0.5f + static_cast<float>(36 + (v * 7) % 60 - 69) / 120.0f);
      osc->fill(SoundfontOscillator3::PITCH_MODULATION, 0.0f);
      osc->fill(SoundfontOscillator3::TRIGGER, 0.0f);
      osc->fill(SoundfontOscillator3::GATE, 1.0f);
      osc->fill(SoundfontOscillator3::VELOCITY, static_cast<float>(v % 2) * 0.5f + 0.3f);
      osc->audio(SoundfontOscillator3::LEFT);
      osc->audio(SoundfontOscillator3::RIGHT);
      osc->open();
      osc->process(kBlock, EventList()
                               .graphStart()
                               .value(0, SoundfontOscillator3::ACTIVE, 1)
                               .value(0, SoundfontOscillator3::BANK_HANDLE, handle)
                               .value(0, SoundfontOscillator3::INTERPOLATION, 4)
                               .streaming(0, SoundfontOscillator3::GATE, false));
      oscs.push_back(std::move(osc));
    }
    for (auto _ : state) {
      for (auto& osc : oscs) osc->process(kBlock);
      benchmark::ClobberMemory();
    }
  }
  soundFontRegistry().releaseUser(handle);
  state.counters["x realtime"] = benchmark::Counter(kBlock / kRate, benchmark::Counter::kIsIterationInvariantRate);
  zvbench::countSamples(state, static_cast<int64_t>(kBlock) * voices);
}
BENCHMARK(BM_DemoVoices)->ArgName("voices")->Arg(16)->Arg(64);

std::vector<std::pair<std::string, std::string>> ratios() {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int interp : {0, 1, 4, 8}) {
    for (int tracking : {0, 1}) {
      for (int stereo : {0, 1}) {
        pairs.push_back({"BM_Voice/interp:" + std::to_string(interp) + "/tracking:" + std::to_string(tracking) +
                             "/stereo:" + std::to_string(stereo),
                         "BM_BareLoop"});
      }
    }
  }
  for (int interp : {0, 1, 4, 8}) {
    for (int stereo : {0, 1}) {
      const std::string prefix = "BM_Voice/interp:" + std::to_string(interp) + "/tracking:";
      const std::string suffix = "/stereo:" + std::to_string(stereo);
      pairs.push_back({prefix + "1" + suffix, prefix + "0" + suffix});
    }
  }
  pairs.push_back({"BM_DemoVoices/voices:16", "BM_BareLoop"});
  pairs.push_back({"BM_DemoVoices/voices:64", "BM_BareLoop"});
  return pairs;
}

}  // namespace

ZV_BENCH_MAIN(ratios())
