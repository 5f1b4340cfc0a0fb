#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "modules/effects/ring_eq_cs.h"
#include "tests/effects/dist_ring_reference.h"
#include "tests/support/module_harness.h"

namespace {

// The pole at a table position, straight from its frequency.
double pole(double position, double rate = 44100.0) {
  return std::exp(-2.0 * 3.141592653589793 * 440.0 * std::exp2(0.001 * position - 5.0) / rate);
}
float carrierAt(int64_t n) { return static_cast<float>(0.8 * std::sin(0.21 * static_cast<double>(n))); }
float modulatorAt(int64_t n) { return static_cast<float>(0.6 * std::sin(0.047 * n) + 0.3 * std::sin(1.3 * n)); }

struct RingEqCSTest : ::testing::Test {
  TestHost host;
  std::unique_ptr<AudioModule> module;

  std::vector<float> render(int32_t blocks, EventList* first, int64_t from = 0) {
    std::vector<float> out;
    for (int64_t n = from; n < from + blocks * 64; n += 64) {
      for (int32_t i = 0; i < 64; ++i) {
        module->audio(RingEqCS::CARRIER)[i] = carrierAt(n + i);
        module->audio(RingEqCS::MODULATOR)[i] = modulatorAt(n + i);
      }
      n == from&& first != nullptr ? module->process(64, *first) : module->process(64);
      out.insert(out.end(), module->audio(RingEqCS::OUTPUT), module->audio(RingEqCS::OUTPUT) + 64);
    }
    return out;
  }
  // A new module with the carrier band at `band` and the modulator's at 1 − band.
  std::vector<float> run(float band, int32_t mode, int32_t blocks, int32_t a = 1, int32_t b = 1, int64_t from = 0) {
    module = std::make_unique<AudioModule>(host, MP_TEXT("ZV-RING ZVQR CS"));
    module->fill(RingEqCS::CARRIER_BAND, band);
    module->fill(RingEqCS::MODULATOR_BAND, 1.0f - band);
    module->fill(RingEqCS::OUTPUT, std::numeric_limits<float>::quiet_NaN());
    module->open();
    EventList e;
    e.graphStart().value(0, RingEqCS::ENABLE_A, a).value(0, RingEqCS::ENABLE_B, b).value(0, RingEqCS::MODE, mode);
    return render(blocks, &e, from);
  }
};

TEST_F(RingEqCSTest, PoleTablePerRateAndBandCorners) {
  for (float rate : {48000.0f, 44100.0f}) {
    host.sampleRate = rate;
    run(0.5f, 0, 1);
    const float* table = host.namedMemory(MP_TEXT("ZV51_SE_RING_P6"), rate);
    for (int32_t i = 0; i <= 10000; i += 500) EXPECT_NEAR(table[i], pole(i, rate), 1e-6) << rate << " " << i;
    EXPECT_TRUE(std::isfinite(table[10001]));
  }
  SharedTable table;
  table.open(&host, MP_TEXT("ZV51_SE_RING_P6"), 44100.0f, RingEqCS::kTableEntries);
  const float bands[] = {0.0f, 0.25f, 0.75f, 1.0f, -3.0f, 7.0f, 0.123457f, 0.81234f, std::nanf("")};
  const double k1[] = {0, 5000, 10000, 10000, 0, 10000, 2469.14, 10000, 0};
  const double k2[] = {0, 0, 5000, 10000, 0, 10000, 0, 6246.8, 0};
  for (size_t i = 0; i < std::size(bands); ++i) {
    zv::effects::RingBandPass bp;
    RingEqCS::setCorners(table, bands[i], bp);
    EXPECT_NEAR(bp.k1, pole(k1[i]), 2e-6) << bands[i];
    EXPECT_NEAR(bp.k2, pole(k2[i]), 2e-6) << bands[i];
  }
}

TEST_F(RingEqCSTest, ProductOfTheBandsAtBothRates) {
  for (int32_t mode : {0, 1}) {
    auto out = run(0.3f, mode, 40);  // carrier corners at 6000/0, modulator at 10000/4000
    const double ka1 = pole(6000), ka2 = pole(0), km1 = pole(10000), km2 = pole(4000);
    double a1 = 0, a2 = 0, m1 = 0, m2 = 0, aPrev = 0, mPrev = 0, worst = 0, peak = 0;
    auto upA = ReferenceLowPass::twice(), upM = upA, down = upA;
    for (size_t n = 0; n < out.size(); ++n) {
      const double c = carrierAt(static_cast<int64_t>(n)), d = modulatorAt(static_cast<int64_t>(n));
      a1 = (a1 - c) * ka1 + c, a2 = (a2 - a1) * ka2 + a1;
      m1 = (m1 - d) * km1 + d, m2 = (m2 - m1) * km2 + m1;
      const double a = a1 - a2, b = m1 - m2;
      double expected = a * b;
      if (mode == 1) {
        expected = down.process(upA.process((aPrev + a) * 0.5) * upM.process((mPrev + b) * 0.5));
        down.process(upA.process(a) * upM.process(b));
        aPrev = a, mPrev = b;
      }
      worst = std::max(worst, std::fabs(out[n] - expected));
      peak = std::max(peak, std::fabs(expected));
    }
    EXPECT_GT(peak, 0.02) << "the test signals must pass the bands";
    EXPECT_LT(worst, peak * 2e-4) << "mode " << mode;
  }
}

TEST_F(RingEqCSTest, EitherEnableOffSilencesAndSleeps) {
  for (auto [a, b] : {std::pair{0, 1}, {1, 0}, {-2, -2}}) {
    host.clearRecords();
    auto out = run(0.5f, 0, 4, a, b);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }));
    EXPECT_FALSE(host.streamingOn(RingEqCS::OUTPUT).back().streaming);
    EXPECT_GE(host.sleepRequests, 1);
  }
}

TEST_F(RingEqCSTest, ModeChangeResetAndUnknownModeStartFromEmptyMemories) {
  // After each event the output is that of a module that never ran.
  const auto fresh = run(0.4f, 0, 6, 1, 1, 1000);
  run(0.4f, 1, 30);
  for (auto [pin, value] : {std::pair{RingEqCS::MODE, 0.0f}, {RingEqCS::RESET, 1.0f}, {RingEqCS::MODE, 5.0f}}) {
    EventList e;
    pin == RingEqCS::MODE ? e.value(0, pin, static_cast<int32_t>(value)) : e.value(0, pin, value);
    EXPECT_EQ(render(6, &e, 1000), fresh) << pin << " " << value;
    render(30, nullptr);
  }
}

}  // namespace
