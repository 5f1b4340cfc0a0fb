#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "modules/effects/ring_eq_cs.h"
#include "tests/effects/dist_ring_reference.h"
#include "tests/support/module_harness.h"

namespace {

constexpr double kPi = 3.141592653589793;

// The pole at a table position, straight from its frequency.
double pole(double position, double rate) {
  return std::exp(-2.0 * kPi * 440.0 * std::exp2(0.001 * position - 5.0) / rate);
}

struct RingTest : ::testing::Test {
  TestHost host;
  RingEqCS* ring = nullptr;
  std::unique_ptr<AudioModule> module;

  void SetUp() override {
    host.blockSize = 32;
    ring = make(module);
  }
  RingEqCS* make(std::unique_ptr<AudioModule>& holder) {
    auto* r = new RingEqCS(host.unknown());
    holder = std::make_unique<AudioModule>(host, r);
    for (int pin : {RingEqCS::CARRIER, RingEqCS::MODULATOR, RingEqCS::SPARE, RingEqCS::SPARE_2,
                    RingEqCS::CARRIER_BAND, RingEqCS::MODULATOR_BAND}) {
      holder->fill(pin, 0.0f);
    }
    holder->fill(RingEqCS::OUTPUT, std::numeric_limits<float>::quiet_NaN());
    holder->open();
    return r;
  }
  static void enable(EventList& e, int32_t mode, int32_t a = 1, int32_t b = 1) {
    e.graphStart()
        .value(0, RingEqCS::ENABLE_A, a)
        .value(0, RingEqCS::ENABLE_B, b)
        .value(0, RingEqCS::MODE, mode)
        .streaming(0, RingEqCS::CARRIER, true)
        .streaming(0, RingEqCS::MODULATOR, true);
  }
};

float carrierAt(int64_t n) { return static_cast<float>(0.8 * std::sin(0.21 * static_cast<double>(n))); }
float modulatorAt(int64_t n) {
  return static_cast<float>(0.6 * std::sin(0.047 * static_cast<double>(n)) + 0.3 * std::sin(1.3 * n));
}

// Renders `blocks` blocks of the two test signals from sample `start`;
// the first block carries `first` events.
std::vector<float> renderSignals(AudioModule& m, int32_t blockSize, int32_t blocks, EventList* first,
                                 int64_t start = 0) {
  std::vector<float> out;
  for (int32_t b = 0; b < blocks; ++b) {
    float* c = m.audio(RingEqCS::CARRIER);
    float* d = m.audio(RingEqCS::MODULATOR);
    for (int32_t i = 0; i < blockSize; ++i) {
      c[i] = carrierAt(start + b * blockSize + i);
      d[i] = modulatorAt(start + b * blockSize + i);
    }
    if (b == 0 && first != nullptr) {
      m.process(blockSize, *first);
    } else {
      m.process(blockSize);
    }
    const float* o = m.audio(RingEqCS::OUTPUT);
    out.insert(out.end(), o, o + blockSize);
  }
  return out;
}

TEST_F(RingTest, PoleTableFollowsTheSampleRate) {
  for (float rate : {44100.0f, 48000.0f}) {
    const float* table = host.namedMemory(MP_TEXT("ZV51_SE_RING_P6"), rate);
    if (rate != host.sampleRate) {
      EXPECT_EQ(table, nullptr);
      host.sampleRate = rate;
      std::unique_ptr<AudioModule> other;
      make(other);
      table = host.namedMemory(MP_TEXT("ZV51_SE_RING_P6"), rate);
    }
    ASSERT_NE(table, nullptr);
    for (int32_t i = 0; i <= 10000; i += 500) EXPECT_NEAR(table[i], pole(i, rate), 1e-6) << rate << " " << i;
    EXPECT_TRUE(std::isfinite(table[10001]));
  }
}

TEST_F(RingTest, BandsMoveOneCornerEach) {
  SharedTable table;
  table.open(&host, MP_TEXT("ZV51_SE_RING_P6"), 44100.0f, RingEqCS::kTableEntries);
  struct Case {
    float band;
    double k1Position, k2Position;
  } cases[] = {
      {0.0f, 0.0, 0.0},       {0.25f, 5000.0, 0.0},     {0.5f, 10000.0, 0.0},  {0.75f, 10000.0, 5000.0},
      {1.0f, 10000.0, 10000.0}, {-3.0f, 0.0, 0.0},      {7.0f, 10000.0, 10000.0},
      {0.123457f, 2469.14, 0.0}, {0.81234f, 10000.0, 6246.8},
  };
  for (const auto& c : cases) {
    RingBandPass bp;
    RingEqCS::setCorners(table, c.band, bp);
    EXPECT_NEAR(bp.k1, pole(c.k1Position, 44100.0), 2e-6) << c.band;
    EXPECT_NEAR(bp.k2, pole(c.k2Position, 44100.0), 2e-6) << c.band;
  }
  RingBandPass bp;
  RingEqCS::setCorners(table, std::numeric_limits<float>::quiet_NaN(), bp);
  EXPECT_TRUE(std::isfinite(bp.k1));
  EXPECT_TRUE(std::isfinite(bp.k2));
}

TEST(RingBandPassKernel, PassesItsBandAndBlocksDc) {
  const double rate = 44100.0;
  auto rms = [&](RingBandPass bp, double hz) {
    double sum = 0.0;
    for (int n = 0; n < 20000; ++n) {
      const float y = bp.process(static_cast<float>(std::sin(2.0 * kPi * hz * n / rate)));
      if (n >= 10000) sum += static_cast<double>(y) * y;
    }
    return std::sqrt(sum / 10000.0);
  };
  RingBandPass wide;  // corners near 110 Hz and 3.5 kHz
  wide.k1 = static_cast<float>(pole(8000, rate));
  wide.k2 = static_cast<float>(pole(3000, rate));
  EXPECT_GT(rms(wide, 600.0), 0.5);
  EXPECT_LT(rms(wide, 15000.0), 0.2);
  RingBandPass lowest;  // band 0: both corners at the bottom of the table
  lowest.k1 = lowest.k2 = static_cast<float>(pole(0, rate));
  EXPECT_LT(rms(lowest, 2000.0), 0.01);

  for (int n = 0; n < 200000; ++n) wide.process(0.7f);
  EXPECT_NEAR(wide.process(0.7f), 0.0f, 1e-4);
}

TEST_F(RingTest, ProductOfTheBandsAtBothRates) {
  for (int32_t mode : {0, 1}) {
    std::unique_ptr<AudioModule> fresh;
    make(fresh);
    fresh->fill(RingEqCS::CARRIER_BAND, 0.3f);
    fresh->fill(RingEqCS::MODULATOR_BAND, 0.7f);
    EventList e;
    enable(e, mode);
    auto out = renderSignals(*fresh, host.blockSize, 40, &e);

    // Reference band-passes on the same poles, in double precision.
    const double ka1 = pole(6000, 44100.0), ka2 = pole(0, 44100.0);
    const double km1 = pole(10000, 44100.0), km2 = pole(4000, 44100.0);
    double a1 = 0, a2 = 0, m1 = 0, m2 = 0, aPrev = 0, mPrev = 0;
    auto upA = referenceLowPass2x(), upM = referenceLowPass2x(), down = referenceLowPass2x();
    double worst = 0.0, peak = 0.0;
    for (size_t n = 0; n < out.size(); ++n) {
      const double c = carrierAt(static_cast<int64_t>(n)), m = modulatorAt(static_cast<int64_t>(n));
      a1 = (a1 - c) * ka1 + c;
      a2 = (a2 - a1) * ka2 + a1;
      m1 = (m1 - m) * km1 + m;
      m2 = (m2 - m1) * km2 + m1;
      const double a = a1 - a2, b = m1 - m2;
      double expected = a * b;
      if (mode == 1) {
        expected = down.process(upA.process(aPrev + (a - aPrev) * 0.5) * upM.process(mPrev + (b - mPrev) * 0.5));
        down.process(upA.process(a) * upM.process(b));
        aPrev = a;
        mPrev = b;
      }
      worst = std::max(worst, std::fabs(out[n] - expected));
      peak = std::max(peak, std::fabs(expected));
    }
    EXPECT_GT(peak, 0.02) << "the test signals must pass the bands";
    EXPECT_LT(worst, peak * 2e-4) << "mode " << mode;
  }
}

TEST_F(RingTest, EitherEnableOffSilencesAndSleeps) {
  for (auto [a, b] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{-2, -2}}) {
    std::unique_ptr<AudioModule> m;
    make(m);
    m->fill(RingEqCS::CARRIER_BAND, 0.5f);
    m->fill(RingEqCS::MODULATOR_BAND, 0.5f);
    host.clearRecords();
    EventList e;
    enable(e, 0, a, b);
    auto out = renderSignals(*m, host.blockSize, 4, &e);
    for (float v : out) ASSERT_EQ(v, 0.0f);
    EXPECT_FALSE(host.streamingOn(RingEqCS::OUTPUT).back().streaming);
    EXPECT_GE(host.sleepRequests, 1);
  }
}

TEST_F(RingTest, ModeChangeAndResetStartFromEmptyMemories) {
  // After either event the output equals that of a module that never ran.
  const float bands = 0.4f;
  auto freshRun = [&](int32_t mode) {
    std::unique_ptr<AudioModule> m;
    make(m);
    m->fill(RingEqCS::CARRIER_BAND, bands);
    m->fill(RingEqCS::MODULATOR_BAND, bands);
    EventList e;
    enable(e, mode);
    return renderSignals(*m, host.blockSize, 6, &e, 1000);
  };
  module->fill(RingEqCS::CARRIER_BAND, bands);
  module->fill(RingEqCS::MODULATOR_BAND, bands);
  EventList e;
  enable(e, 1);
  renderSignals(*module, host.blockSize, 30, &e);

  EventList change;
  change.value(0, RingEqCS::MODE, 0);
  EXPECT_EQ(renderSignals(*module, host.blockSize, 6, &change, 1000), freshRun(0));

  renderSignals(*module, host.blockSize, 30, nullptr);
  EventList reset;
  reset.value(0, RingEqCS::RESET, 1.0f);
  EXPECT_EQ(renderSignals(*module, host.blockSize, 6, &reset, 1000), freshRun(0));

  // Other mode values keep the last routine (still clearing the memories).
  renderSignals(*module, host.blockSize, 30, nullptr);
  EventList odd;
  odd.value(0, RingEqCS::MODE, 5);
  EXPECT_EQ(renderSignals(*module, host.blockSize, 6, &odd, 1000), freshRun(0));
}

}  // namespace
