#include "modules/effects/all_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <set>

#include "tests/effects/filter_driver.h"

namespace {

using namespace zv::effects::test;
constexpr double kPi = std::numbers::pi;
const MpString kId = MP_TEXT("ZV-LPF over");

// ---- Tables -------------------------------------------------------------

double hz(int32_t i, double octave) { return static_cast<float>(440.0 * std::pow(2.0, 0.001 * i - 5.0 + octave)); }
double polyA(double a) { return 3.516399 * a - 0.52505 * a * a - 1.0; }
double polyH(double a) { return 1.8409 * a - 3.9364 * a * a + 0.9968; }
double polyG(double a) { return 1.873 * a * a * a + 0.4955 * a * a - 0.649 * a + 0.9988; }
double threePoleHz(int32_t i) {
  const double x = 0.001 * i - 0.4;
  return 440.0 * std::pow(2.0, std::clamp(x + (x - 9.1) * 0.093, 0.0, 10.0) - 5.0);
}
double threePoleR(int32_t i) { return std::max(0.0, 0.102 * (20.8 - (2.0 * (0.001 * i - 0.4) - 7.8))); }

struct Expected {
  const MpChar* name;
  int32_t entries;
  std::function<double(int32_t, double)> entry;
};

std::vector<Expected> expectedTables() {
  auto k0 = [](int32_t i, double sr) { return polyA(2.0 * hz(i, -0.152999) / sr); };
  auto k2 = [](int32_t i, double sr) { return polyA(hz(i, -0.152999) / sr); };
  auto k18 = [](int32_t i, double sr) {
    const double a = 2.0 * threePoleHz(i) / sr;
    return 3.2 * a - 0.71 * a * a - 0.9987;
  };
  auto k18o = [](int32_t i, double sr) {
    const double c = threePoleHz(i) / sr;
    return 3.2 * c - 0.71 * c * c - 0.9987;
  };
  return {
      {MP_TEXT("ZV51_CS_ok0-pitch"), 10551, k0},
      {MP_TEXT("ZV51_CS_ok0_2-pitch"), 10551, k2},
      {MP_TEXT("ZV51_CS_os0-pitch"), 10551,
       [=](int32_t i, double sr) { return std::exp((1.449986 - (k0(i, sr) + 1) * 0.5) * 1.229991) - 0.930001; }},
      {MP_TEXT("ZV51_CS_osloo1-pitch"), 10551,
       [=](int32_t i, double sr) { return std::exp(3.15 - 1.75 * (k0(i, sr) + 1) * 0.5); }},
      {MP_TEXT("ZV51_CS_ohp-pitch"), 10551,
       [](int32_t i, double sr) {
         const double b = 2.0 * (sr * 0.5 - hz(i, -0.152999)) / sr;
         return 3.6 * b - 1.5999 * b * b - 1.0;
       }},
      {MP_TEXT("ZV51_CS_oslo-pitch"), 10551,
       [=](int32_t i, double sr) { return std::exp(((k2(i, sr) + 1) * 0.25 - 0.78) * -2.2) - 1.3; }},
      {MP_TEXT("ZV51_CS_oslo1-pitch"), 10551,
       [=](int32_t i, double sr) { return std::exp(3.15 - 1.75 * (k2(i, sr) + 1) * 0.5); }},
      {MP_TEXT("ZV51_CS_o_Tanh"), 20001, [](int32_t i, double) { return std::tanh(0.0001 * i - 1.0); }},
      {MP_TEXT("ZV51_CS_SV-volt"), 10001, [](int32_t i, double sr) { return 2.0 * std::sin(kPi * hz(i, 0.0) / sr); }},
      {MP_TEXT("ZV51_CS_SV-res"), 10001,
       [](int32_t i, double) {
         const double q = 0.0512 * i;
         return 0.1 * (q * (0.000025 * q + 0.009) + 7.8);
       }},
      {MP_TEXT("ZV51_CS_ok0_18_b"), 10401, k18},
      {MP_TEXT("ZV51_CS_or0_18_b"), 10401,
       [=](int32_t i, double sr) { return threePoleR(i) * std::exp(3.15 - 1.75 * (k18(i, sr) + 1) * 0.5); }},
      {MP_TEXT("ZV51_CS_ok0_18_bo"), 10401, k18o},
      {MP_TEXT("ZV51_CS_or0_18_bo"), 10401,
       [=](int32_t i, double sr) { return threePoleR(i) * std::exp(3.15 - 1.75 * (k18o(i, sr) + 1) * 0.5); }},
      {MP_TEXT("ZV51_okacr"), 10501, [](int32_t i, double sr) { return polyH(2.0 * hz(i, 0.022) / sr); }},
      {MP_TEXT("ZV51_ok2vg"), 10501,
       [](int32_t i, double sr) {
         const double f = hz(i, 0.022);
         return 1.0 - std::exp(-2.0 * kPi * (f / sr) * polyG(2.0 * f / sr));
       }},
      {MP_TEXT("ZV51_okacro"), 10501, [](int32_t i, double sr) { return polyH(hz(i, 0.022) / sr); }},
      {MP_TEXT("ZV51_ok2vgo"), 10501,
       [](int32_t i, double sr) {
         const double f = hz(i, 0.022);
         return 1.0 - std::exp(-2.0 * kPi * (f / (2.0 * sr)) * polyG(f / sr));
       }},
      {MP_TEXT("ZV51_okacro4"), 10501, [](int32_t i, double sr) { return polyH(hz(i, 0.022) / (2.0 * sr)); }},
      {MP_TEXT("ZV51_ok2vgo4"), 10501,
       [](int32_t i, double sr) {
         const double f = hz(i, 0.022);
         return 1.0 - std::exp(-2.0 * kPi * (f / (4.0 * sr)) * polyG(f / (2.0 * sr)));
       }},
  };
}

TEST(AllFiltersTables, EveryEntryFollowsItsFormulaAt44And48kHz) {
  TestHost host;
  for (float rate : {44100.0f, 48000.0f}) {
    host.sampleRate = rate;
    AudioModule filter(host, kId);
    filter.open();
    for (const auto& t : expectedTables()) {
      const float* block = host.namedMemory(t.name, rate);
      ASSERT_NE(block, nullptr) << toUtf8(t.name);
      int32_t bad = 0;
      for (int32_t i = 0; i < t.entries; ++i) {
        const double want = t.entry(i, rate);
        if (!(std::fabs(block[i] - want) <= 2e-5 * std::max(1.0, std::fabs(want)))) ++bad;
      }
      EXPECT_EQ(bad, 0) << toUtf8(t.name) << " at " << rate;
      EXPECT_EQ(block[t.entries], block[t.entries - 1]) << "spare entry of " << toUtf8(t.name);
    }
  }
  EXPECT_EQ(host.namedMemoryBlocks(), 40u) << "twenty blocks per sample rate";
  EXPECT_NE(host.namedMemory(MP_TEXT("ZV51_CS_ok0-pitch"), 44100.0f)[5000],
            host.namedMemory(MP_TEXT("ZV51_CS_ok0-pitch"), 48000.0f)[5000]);
}

TEST(AllFiltersTables, FilledOnceAndSharedByLaterInstances) {
  TestHost host;
  AudioModule first(host, kId);
  first.open();
  float* k = host.namedMemory(MP_TEXT("ZV51_CS_ok0-pitch"), 44100.0f);
  float* tanh = host.namedMemory(MP_TEXT("ZV51_CS_o_Tanh"), 44100.0f);
  k[3] = 123.0f;
  tanh[3] = 456.0f;
  AudioModule second(host, kId);
  second.open();
  EXPECT_EQ(k[3], 123.0f);
  EXPECT_EQ(tanh[3], 456.0f);
  EXPECT_EQ(host.namedMemoryOpenCount(MP_TEXT("ZV51_ok2vgo4"), 44100.0f), 2);
}

TEST(AllFiltersTables, ReadCoefficientsStayStableAtUnusualRates) {
  for (float rate : {22050.0f, 32000.0f, 96000.0f, 192000.0f}) {
    TestHost host;
    host.sampleRate = rate;
    AudioModule filter(host, kId);
    filter.open();
    const float* k = host.namedMemory(MP_TEXT("ZV51_CS_ok0-pitch"), rate);
    const float* k2 = host.namedMemory(MP_TEXT("ZV51_CS_ok0_2-pitch"), rate);
    const float* k18 = host.namedMemory(MP_TEXT("ZV51_CS_ok0_18_b"), rate);
    const float* hp = host.namedMemory(MP_TEXT("ZV51_CS_ohp-pitch"), rate);
    for (int32_t i = 0; i <= 9901; ++i) ASSERT_LT(std::fabs(k[i]), 1.0f) << rate << " " << i;
    for (int32_t i = 0; i <= 10541; ++i) ASSERT_LT(std::fabs(k2[i]), 1.0f) << rate << " " << i;
    for (int32_t i = 0; i <= 10391; ++i) {
      ASSERT_LT(std::fabs(k18[i]), 1.0f) << rate << " " << i;
      ASSERT_LT(std::fabs(hp[i]), 1.0f) << rate << " " << i;
    }
  }
}

// ---- Modes through the host -----------------------------------------------

struct Rig {
  TestHost host;
  std::unique_ptr<FilterDriver> driver;
  explicit Rig(float rate = 44100.0f, int32_t block = 64) {
    host.sampleRate = rate;
    host.blockSize = block;
    driver = std::make_unique<FilterDriver>(host, kId);
  }
  std::vector<float> run(int32_t mode, const std::vector<float>& x, const Curve& cutoff, const Curve& res,
                         const Curve& mix = constant(0.0f)) {
    EventList start;
    start.graphStart().value(0, MODE, mode).streaming(0, SIGNAL, true);
    return driver->render(x, cutoff, res, mix, &start);
  }
};

// Output level over input level for a sine, after settling.
double gain(int32_t mode, float cutoff, float res, double hz, float rate = 44100.0f, float mix = 0.0f,
            float amplitude = 0.25f) {
  Rig rig(rate);
  const auto n = static_cast<int32_t>(rate * 0.25f);
  const auto x = sine(n, hz, rate, amplitude);
  const auto y = rig.run(mode, x, constant(cutoff), constant(res), constant(mix));
  return rms(y, n / 2) / rms(x, n / 2);
}

TEST(AllFilters, EveryModeStaysBoundedUnderSweepsAtFourRates) {
  const int32_t n = 6000;
  const std::vector<std::vector<float>> inputs = {noise(n), impulses(n), square(n)};
  for (float rate : {32000.0f, 44100.0f, 48000.0f, 192000.0f}) {
    for (int32_t mode = 0; mode < AllFilters::kModeCount; ++mode) {
      for (const auto& x : inputs) {
        for (const auto& [cutoff, res] :
             {std::pair{sweep(-0.2f, 1.3f, n), constant(0.0f)}, std::pair{constant(0.6f), sweep(0.0f, 1.0f, n)},
              std::pair{sweep(1.3f, -0.2f, n), constant(1.0f)}}) {
          Rig rig(rate);
          const auto y = rig.run(mode, x, cutoff, res, sweep(0.0f, 1.0f, n));
          size_t at = 0;
          EXPECT_TRUE(wellBehaved(y, 40.0f, &at))
              << "mode " << mode << " at " << rate << " Hz, sample " << at << " = " << y[at];
        }
      }
    }
  }
}

const std::set<int32_t> kLowPass = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 16, 21, 22, 23, 27, 30, 34, 35};
const std::set<int32_t> kHighPass = {19, 24, 28, 31};
const std::set<int32_t> kBandPass = {11, 12, 14, 15, 17, 18, 25, 29, 32};
const std::set<int32_t> kNotch = {26, 33};

TEST(AllFilters, ResponseShapesFollowEachFamily) {
  for (int32_t mode = 0; mode < AllFilters::kModeCount; ++mode) {
    if (mode == AllFilters::kBypassMode) continue;
    // Cutoff 0.6 is near 880 Hz.
    const double low = gain(mode, 0.6f, 0.0f, 40.0);
    const double mid = gain(mode, 0.6f, 0.0f, 880.0);
    const double high = gain(mode, 0.6f, 0.0f, 16000.0);
    SCOPED_TRACE(::testing::Message() << "mode " << mode << " gains " << low << " " << mid << " " << high);
    if (kLowPass.count(mode) != 0) {
      EXPECT_GT(low, 0.3);
      EXPECT_LT(high, 0.05 * low);
    } else if (kHighPass.count(mode) != 0) {
      EXPECT_GT(high, 0.3);
      EXPECT_LT(low, 0.05 * high);
    } else if (kBandPass.count(mode) != 0) {
      EXPECT_GT(mid, 3.0 * low);
      EXPECT_GT(mid, 3.0 * high);
    } else if (kNotch.count(mode) != 0) {
      EXPECT_LT(mid, 0.3 * low);
      EXPECT_LT(mid, 0.3 * high);
    } else {
      ADD_FAILURE() << "mode not classified";
    }
  }
}

TEST(AllFilters, ResonancePeaksNearTheCutoff) {
  for (int32_t mode : {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 21, 22, 23, 27, 30, 34, 35}) {
    // Mode 22 triples its input into a saturator: a small signal shows the peak.
    const float level = mode == 22 ? 0.02f : 0.25f;
    const double flat = gain(mode, 0.6f, 0.0f, 880.0, 44100.0f, 0.0f, level);
    const double peaked = gain(mode, 0.6f, 0.9f, 880.0, 44100.0f, 0.0f, level);
    EXPECT_GT(peaked, 1.5 * flat) << "mode " << mode << ": " << flat << " -> " << peaked;
  }
}

TEST(AllFilters, LowPassModesWorkAt48kHz) {
  for (int32_t mode : kLowPass) {
    const double low = gain(mode, 0.6f, 0.3f, 40.0, 48000.0f);
    EXPECT_GT(low, 0.3) << "mode " << mode;
    const double slope = mode == 16 ? 0.1 : 0.05;  // mode 16 taps the first pole only
    EXPECT_LT(gain(mode, 0.6f, 0.3f, 16000.0, 48000.0f), slope * low) << "mode " << mode;
  }
}

TEST(AllFilters, BypassCopiesTheInputExactly) {
  Rig rig;
  const auto x = noise(1000);
  EXPECT_EQ(rig.run(AllFilters::kBypassMode, x, sweep(-1.0f, 2.0f, 1000), sweep(0.0f, 1.0f, 1000)), x);
}

TEST(AllFilters, SameOutputForAnyBlockSize) {
  const int32_t n = 1500;
  const auto x = noise(n);
  for (int32_t mode : {0, 4, 8, 14, 23, 30, 34}) {
    std::vector<std::vector<float>> outputs;
    for (int32_t block : {1, 13, 64}) {
      Rig rig(44100.0f, block);
      outputs.push_back(rig.run(mode, x, sweep(0.2f, 0.9f, n), sweep(0.0f, 1.0f, n), sweep(0.0f, 1.0f, n)));
    }
    EXPECT_EQ(outputs[0], outputs[1]) << "mode " << mode;
    EXPECT_EQ(outputs[0], outputs[2]) << "mode " << mode;
  }
}

TEST(AllFilters, ModeChangeAndResetLeaveNoMemory) {
  const int32_t n = 640;
  const auto before = square(n, 37), after = noise(n);
  const auto cutoff = sweep(0.3f, 0.8f, n), res = constant(0.8f), mix = constant(0.4f);
  for (int32_t mode : {0, 3, 4, 11, 23, 31, 33, 34}) {
    Rig fresh;
    const auto expected = fresh.run(mode, after, cutoff, res, mix);

    Rig switched;
    switched.run(mode == 9 ? 35 : 9, before, cutoff, res, mix);
    EventList change;
    change.value(0, MODE, mode);
    EXPECT_EQ(switched.driver->render(after, cutoff, res, mix, &change), expected) << "mode change to " << mode;

    Rig reset;
    reset.run(mode, before, cutoff, res, mix);
    EventList clear;
    clear.value(0, AllFilters::RESET, 1.0f);
    EXPECT_EQ(reset.driver->render(after, cutoff, res, mix, &clear), expected) << "reset in mode " << mode;
  }
}

// A stretch of ±1e30, infinities or NaN leaves nothing behind: afterwards
// every mode forgets it and follows an instance that never saw it, no Reset
// needed. (A mode that saturates its input would hide a memory stuck on NaN
// from a look at the output alone.)
TEST(AllFilters, RecoversFromHugeInputWithoutReset) {
  const int32_t n = 4000, from = 500, to = 1000;
  const auto x = noise(n);
  auto calm = x;
  std::fill(calm.begin() + from, calm.begin() + to, 0.0f);
  for (float bad : {1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
    auto hit = x;
    for (int32_t i = from; i < to; ++i) hit[i] = x[i] < 0.0f ? -bad : bad;
    for (int32_t mode = 0; mode < AllFilters::kModeCount; ++mode) {
      Rig huge, plain;
      const auto y = huge.run(mode, hit, constant(0.6f), constant(0.5f), constant(0.5f));
      const auto expected = plain.run(mode, calm, constant(0.6f), constant(0.5f), constant(0.5f));
      double worst = 0.0;
      for (int32_t i = n - 1000; i < n; ++i) {
        const double d = std::fabs(static_cast<double>(y[i]) - expected[i]);
        if (!(d <= worst)) worst = d;  // NaN sticks
      }
      EXPECT_LT(worst, 1e-4) << "mode " << mode << " after " << bad;
    }
  }
}

TEST(AllFilters, ModesOutsideTheRangeKeepThePreviousRoutine) {
  const auto x = noise(640);
  Rig unknown;
  for (float v : unknown.run(36, x, constant(0.5f), constant(0.5f))) ASSERT_EQ(v, 0.0f);

  Rig kept, plain;
  kept.run(1, x, constant(0.5f), constant(0.5f));
  EventList change;
  change.value(0, MODE, -3);
  EXPECT_EQ(kept.driver->render(x, constant(0.5f), constant(0.5f), constant(0.0f), &change),
            plain.run(1, x, constant(0.5f), constant(0.5f)))
      << "the previous mode, with cleared memories";
}

TEST(AllFilters, SilentInputSleepsWithZeros) {
  Rig rig;
  rig.run(1, noise(256), constant(0.5f), constant(0.5f));
  AudioModule& m = rig.driver->module();
  std::fill_n(m.audio(OUTPUT), rig.host.blockSize, 9.0f);
  EventList stop;
  stop.streaming(0, SIGNAL, false);
  const auto y =
      rig.driver->render(std::vector<float>(256, 0.0f), constant(0.5f), constant(0.5f), constant(0.0f), &stop);
  for (float v : y) ASSERT_EQ(v, 0.0f);
  EXPECT_FALSE(rig.host.streamingOn(OUTPUT).back().streaming);
  EXPECT_GE(rig.host.sleepRequests, 1);

  // A constant non-zero input keeps it running.
  Rig held;
  EventList start;
  start.graphStart().value(0, MODE, 1);
  const auto z =
      held.driver->render(std::vector<float>(4096, 0.5f), constant(0.5f), constant(0.0f), constant(0.0f), &start);
  EXPECT_NEAR(z.back(), 0.5f, 0.01f);
  EXPECT_EQ(held.host.sleepRequests, 0);
}

TEST(AllFilters, CutoffOutsideTheRangeActsAsItsEnds) {
  const int32_t n = 800;
  const auto x = noise(n);
  const std::pair<int32_t, float> top[] = {{1, 0.99f}, {3, 1.011f}, {4, 1.05f},  {10, 1.039f}, {19, 1.039f},
                                           {23, 1.0f}, {27, 0.9f},  {33, 0.93f}, {35, 1.054f}, {30, 1.0f}};
  for (const auto& [mode, vmax] : top) {
    Rig above, at;
    EXPECT_EQ(above.run(mode, x, constant(5.0f), constant(0.5f)), at.run(mode, x, constant(vmax), constant(0.5f)))
        << "mode " << mode;
  }
  for (int32_t mode = 0; mode < AllFilters::kModeCount; ++mode) {
    Rig below, zero, nan;
    const auto atZero = zero.run(mode, x, constant(0.0f), constant(0.5f));
    EXPECT_EQ(below.run(mode, x, constant(-3.0f), constant(0.5f)), atZero) << "mode " << mode;
    EXPECT_EQ(nan.run(mode, x, constant(std::nanf("")), constant(0.5f)), atZero) << "mode " << mode;
  }
}

TEST(AllFilters, ControlsOutsideTheDesignGiveDefinedResults) {
  const int32_t n = 3000;
  const auto x = square(n, 60);
  // Resonance −1 makes the input divisor Res + 1 zero; NaN resonance and
  // far-out values must not reach the memories either.
  for (int32_t mode = 0; mode < AllFilters::kModeCount; ++mode) {
    for (float res : {-1.0f, -5.0f, 7.0f, std::nanf("")}) {
      Rig rig;
      EXPECT_TRUE(wellBehaved(rig.run(mode, x, sweep(0.0f, 1.1f, n), constant(res)), 200.0f))
          << "mode " << mode << " resonance " << res;
    }
  }
  // At Resonance −1 the divisor of the scaled-input modes is zero; silence
  // must still give silence (0/0 would come out of the ±2 clamp as −2).
  for (int32_t mode : {6, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 22}) {
    Rig rig;
    for (float v : rig.run(mode, std::vector<float>(500, 0.0f), constant(0.5f), constant(-1.0f)))
      ASSERT_EQ(v, 0.0f) << "mode " << mode;
  }
  // A loud input (100 V) never drives a mode into overflow; the sharpest
  // resonances stay within a hundred times the input.
  auto loud = square(n, 60);
  for (auto& v : loud) v *= 10.0f;
  for (int32_t mode = 0; mode < AllFilters::kModeCount; ++mode) {
    for (float res : {0.5f, 1.1f}) {
      Rig rig;
      size_t at = 0;
      const auto y = rig.run(mode, loud, sweep(0.0f, 1.1f, n), constant(res));
      EXPECT_TRUE(wellBehaved(y, 1000.0f, &at))
          << "mode " << mode << " resonance " << res << " sample " << at << " = " << y[at];
    }
  }
  // A host reporting no usable sample rate gets the 44.1 kHz tables.
  for (float rate : {0.0f, -48000.0f, std::nanf("")}) {
    Rig rig(rate);
    EXPECT_TRUE(wellBehaved(rig.run(1, x, constant(0.5f), constant(0.5f)), 40.0f)) << rate;
    EXPECT_NE(rig.host.namedMemory(MP_TEXT("ZV51_CS_ok0-pitch"), 44100.0f), nullptr) << rate;
  }
  // Mix NaN reads as 0 wherever Mix blends or shapes.
  for (int32_t mode : {23, 24, 25, 26, 30, 31, 32, 33, 34, 35}) {
    Rig nan, zero;
    EXPECT_EQ(nan.run(mode, x, sweep(0.0f, 1.1f, n), constant(0.7f), constant(std::nanf(""))),
              zero.run(mode, x, sweep(0.0f, 1.1f, n), constant(0.7f), constant(0.0f)))
        << "mode " << mode;
  }
  for (int32_t mode : {34, 35}) {
    // Resonance above 1.1 is limited to 1.1.
    Rig high, limit;
    EXPECT_EQ(high.run(mode, x, constant(0.7f), constant(3.0f)), limit.run(mode, x, constant(0.7f), constant(1.1f)));
    // Mix is a blend: beyond 0..1 it acts as its nearer end (unlimited it
    // would scale the shaper's negative half at will).
    for (const auto& [mix, end] : {std::pair{100.0f, 1.0f}, std::pair{-100.0f, 0.0f}}) {
      Rig far, atEnd;
      const auto y = far.run(mode, x, sweep(0.0f, 1.2f, n), constant(1.0f), constant(mix));
      EXPECT_EQ(y, atEnd.run(mode, x, sweep(0.0f, 1.2f, n), constant(1.0f), constant(end)))
          << "mode " << mode << " mix " << mix;
      EXPECT_TRUE(wellBehaved(y, 40.0f)) << "mode " << mode << " mix " << mix;
    }
  }
}

}  // namespace
