#include "modules/effects/fx_svf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "modules/effects/all_filters.h"
#include "tests/effects/filter_driver.h"

namespace {

using namespace zv::effects::test;
constexpr double kPi = std::numbers::pi;
const MpString kId = MP_TEXT("ZV-SVF-02");

double hz(int32_t i) { return static_cast<float>(440.0 * std::pow(2.0, 0.001 * i - 5.0)); }

TEST(FxSvfTables, EntriesFollowTheirFormulasInTheirOwnBlocks) {
  TestHost host;
  const std::pair<const MpChar*, std::function<double(int32_t, double)>> tables[] = {
      {MP_TEXT("ZV51_SV2_volt"), [](int32_t i, double sr) { return 2.0 * std::sin(kPi * hz(i) / sr); }},
      {MP_TEXT("ZV51_SV2_res"),
       [](int32_t i, double) { return 0.1 * (0.0512 * i * (0.000025 * 0.0512 * i + 0.009) + 7.8); }},
      {MP_TEXT("ZV51_SE_P6"), [](int32_t i, double sr) { return std::exp(-2.0 * kPi * hz(i) / sr); }},
      {MP_TEXT("ZV51_SE_AP_COSA"), [](int32_t i, double sr) { return 2.0 * std::cos(2.0 * kPi * hz(i) / sr); }},
      {MP_TEXT("ZV51_SE_AP_EXPA"), [](int32_t i, double sr) { return std::exp(-kPi * hz(i) / sr); }},
      {MP_TEXT("ZV51_SE_AP_EXPB"), [](int32_t i, double sr) { return std::exp(-2.0 * kPi * hz(i) / sr); }},
  };
  for (float rate : {44100.0f, 48000.0f}) {
    host.sampleRate = rate;
    AudioModule filter(host, kId);
    filter.open();
    for (const auto& [name, formula] : tables) {
      const float* block = host.namedMemory(name, rate);
      ASSERT_NE(block, nullptr);
      int32_t bad = 0;
      for (int32_t i = 0; i <= 10000; ++i) {
        if (!(std::fabs(block[i] - formula(i, rate)) <= 2e-5 * std::max(1.0, std::fabs(formula(i, rate))))) ++bad;
      }
      EXPECT_EQ(bad, 0) << toUtf8(name) << " at " << rate;
      EXPECT_EQ(block[10001], block[10000]);
    }
  }
  EXPECT_EQ(host.namedMemoryBlocks(), 12u) << "no blocks shared with the multi-mode filter";
  // A second instance finds them filled and leaves them alone.
  float* p6 = host.namedMemory(MP_TEXT("ZV51_SE_P6"), 48000.0f);
  p6[7] = 99.0f;
  AudioModule again(host, kId);
  again.open();
  EXPECT_EQ(p6[7], 99.0f);
}

struct Rig {
  TestHost host;
  std::unique_ptr<FilterDriver> driver;
  explicit Rig(float rate = 44100.0f, const MpString& id = kId) {
    host.sampleRate = rate;
    driver = std::make_unique<FilterDriver>(host, id);
  }
  std::vector<float> run(int32_t mode, const std::vector<float>& x, const Curve& cutoff, const Curve& res,
                         const Curve& mix = constant(0.0f), int32_t on = 1) {
    EventList start;
    start.graphStart().value(0, MODE, mode).value(0, FxSvf::ON, on).streaming(0, SIGNAL, true);
    return driver->render(x, cutoff, res, mix, &start);
  }
};

double gain(int32_t mode, float cutoff, float res, double hz, float mix = 0.0f) {
  Rig rig;
  const int32_t n = 11025;
  const auto x = sine(n, hz, 44100.0);
  return rms(rig.run(mode, x, constant(cutoff), constant(res), constant(mix)), n / 2) / rms(x, n / 2);
}

TEST(FxSvf, EveryModeStaysBoundedUnderSweepsAtFourRates) {
  const int32_t n = 6000;
  const std::vector<std::vector<float>> inputs = {noise(n), impulses(n), square(n)};
  for (float rate : {32000.0f, 44100.0f, 48000.0f, 192000.0f}) {
    for (int32_t mode = 0; mode < FxSvf::kModeCount; ++mode) {
      for (const auto& x : inputs) {
        for (const auto& [cutoff, res] :
             {std::pair{sweep(-0.2f, 1.3f, n), constant(0.0f)}, std::pair{constant(0.6f), sweep(0.0f, 1.0f, n)},
              std::pair{sweep(1.3f, -0.2f, n), constant(1.0f)}, std::pair{constant(0.5f), constant(std::nanf(""))}}) {
          Rig rig(rate);
          size_t at = 0;
          const auto y = rig.run(mode, x, cutoff, res, sweep(0.0f, 1.0f, n));
          EXPECT_TRUE(wellBehaved(y, 40.0f, &at)) << "mode " << mode << " at " << rate << " Hz, sample " << at;
        }
      }
    }
  }
}

TEST(FxSvf, ResponseShapesOfTheModes) {
  // Cutoff 0.6 is 880 Hz.
  auto at = [](int32_t mode, double f) { return gain(mode, 0.6f, 0.0f, f); };
  EXPECT_LT(at(1, 16000.0), 0.05 * at(1, 40.0));  // driven low taps
  EXPECT_LT(at(2, 40.0), 0.05 * at(2, 16000.0));  // driven high taps
  EXPECT_GT(at(3, 880.0), 3.0 * at(3, 40.0));     // driven band taps
  EXPECT_GT(at(3, 880.0), 3.0 * at(3, 16000.0));
  EXPECT_LT(at(4, 880.0), 0.3 * at(4, 40.0));  // notch
  EXPECT_LT(at(4, 880.0), 0.3 * at(4, 16000.0));
  EXPECT_NEAR(at(5, 40.0), 1.0, 0.05);  // one-pole low-pass
  EXPECT_LT(at(5, 16000.0), 0.1);
  EXPECT_GT(at(6, 16000.0), 0.85);  // one-pole high-pass
  EXPECT_LT(at(6, 40.0), 0.1);
  for (double f : {40.0, 880.0, 5000.0, 16000.0}) EXPECT_NEAR(at(8, f), 1.0, 0.02) << f;  // all-pass
  // Driven pair: resonance raises the level at the cutoff.
  EXPECT_GT(gain(1, 0.6f, 0.9f, 880.0), 1.5 * gain(1, 0.6f, 0.0f, 880.0));
}

TEST(FxSvf, BandPassAtCutoffQuarterUsesTheClampedPoles) {
  Rig rig;
  const auto x = noise(500);
  const auto y = rig.run(7, x, constant(0.25f), constant(0.0f));
  const float* p6 = rig.host.namedMemory(MP_TEXT("ZV51_SE_P6"), 44100.0f);
  const float c1 = p6[5000], c2 = p6[0];
  float y1 = 0.0f, y2 = 0.0f;
  for (size_t i = 0; i < x.size(); ++i) {
    y1 = (y1 - x[i]) * c1 + x[i];
    y2 = (y2 - y1) * c2 + y1;
    ASSERT_NEAR(y[i], y1 - y2, 1e-5f) << i;
  }
}

TEST(FxSvf, SharedModesMatchTheMultiModeFilterExactly) {
  const int32_t n = 3000;
  const auto x = square(n, 77);
  for (int32_t mode = 1; mode <= 4; ++mode) {
    Rig svf;
    Rig multi(44100.0f, MP_TEXT("ZV-LPF over"));
    const auto cutoff = sweep(0.0f, 1.1f, n), res = sweep(1.05f, 0.0f, n), mix = sweep(0.0f, 1.0f, n);
    EventList start;
    start.graphStart().value(0, MODE, mode + 29).streaming(0, SIGNAL, true);
    EXPECT_EQ(svf.run(mode, x, cutoff, res, mix), multi.driver->render(x, cutoff, res, mix, &start)) << mode;
  }
  Rig bypass;
  EXPECT_EQ(bypass.run(0, x, constant(0.3f), constant(0.3f)), x);
  // Mix NaN reads as 0.
  for (int32_t mode = 1; mode <= 4; ++mode) {
    Rig nan, zero;
    EXPECT_EQ(nan.run(mode, x, constant(0.6f), constant(0.7f), constant(std::nanf(""))),
              zero.run(mode, x, constant(0.6f), constant(0.7f), constant(0.0f)))
        << mode;
  }
}

TEST(FxSvf, AllPassFollowsResonanceAndKeepsItsFloor) {
  const auto x = noise(1000);
  Rig negative, floor, stepped;
  const auto atFloor = floor.run(8, x, constant(0.6f), constant(0.0f));
  EXPECT_EQ(negative.run(8, x, constant(0.6f), constant(-1.0f)), atFloor);
  // A resonance change alone, cutoff held, must reach the coefficients.
  const auto y = stepped.run(8, x, constant(0.6f), [](int32_t i) { return i < 500 ? 0.0f : 1.0f; });
  EXPECT_EQ(y[499], atFloor[499]);
  EXPECT_NE(y[700], atFloor[700]);
  // Resonance keeps acting up to the top of e (4, at Resonance 2.33), and
  // NaN reads as the floor.
  Rig two, top, beyond, nan, low;
  const auto atTwo = two.run(8, x, constant(0.2f), constant(2.0f));
  EXPECT_NE(atTwo, low.run(8, x, constant(0.2f), constant(1.1f)));
  EXPECT_EQ(top.run(8, x, constant(0.2f), constant(2.5f)), beyond.run(8, x, constant(0.2f), constant(40.0f)));
  EXPECT_EQ(nan.run(8, x, constant(0.6f), constant(std::nanf(""))), atFloor);
}

TEST(FxSvf, ModeChangeAndResetLeaveNoMemory) {
  const int32_t n = 640;
  const auto before = square(n, 37), after = noise(n);
  const auto cutoff = sweep(0.3f, 0.8f, n), res = constant(0.8f), mix = constant(0.4f);
  for (int32_t mode : {1, 3, 4, 6, 7, 8}) {
    Rig fresh;
    const auto expected = fresh.run(mode, after, cutoff, res, mix);

    Rig switched;
    switched.run(mode == 2 ? 5 : 2, before, cutoff, res, mix);
    EventList change;
    change.value(0, MODE, mode);
    EXPECT_EQ(switched.driver->render(after, cutoff, res, mix, &change), expected) << "mode change to " << mode;

    Rig reset;
    reset.run(mode, before, cutoff, res, mix);
    EventList clear;
    clear.value(0, FxSvf::RESET, 1.0f);
    EXPECT_EQ(reset.driver->render(after, cutoff, res, mix, &clear), expected) << "reset in mode " << mode;
  }
}

TEST(FxSvf, OffOrSilentMeansZerosAndSleep) {
  Rig off;
  const auto y = off.run(5, noise(512), constant(0.5f), constant(0.0f), constant(0.0f), 0);
  for (float v : y) ASSERT_EQ(v, 0.0f);
  EXPECT_GE(off.host.sleepRequests, 1);
  EXPECT_FALSE(off.host.streamingOn(OUTPUT).back().streaming);

  Rig on;
  on.run(1, noise(256), constant(0.5f), constant(0.5f));
  EventList stop;
  stop.streaming(0, SIGNAL, false);
  const auto z =
      on.driver->render(std::vector<float>(256, 0.0f), constant(0.5f), constant(0.5f), constant(0.0f), &stop);
  for (float v : z) ASSERT_EQ(v, 0.0f);
  EXPECT_GE(on.host.sleepRequests, 1);

  // Switching off mid-way silences the next sample on.
  Rig later;
  later.run(5, noise(128), constant(0.5f), constant(0.0f));
  EventList turnOff;
  turnOff.value(0, FxSvf::ON, 0);
  const auto w = later.driver->render(noise(128), constant(0.5f), constant(0.0f), constant(0.0f), &turnOff);
  for (float v : w) ASSERT_EQ(v, 0.0f);
}

}  // namespace
