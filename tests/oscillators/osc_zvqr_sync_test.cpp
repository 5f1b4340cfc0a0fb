#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>

#include "modules/oscillators/osc_zvqr.h"
#include "modules/oscillators/osc_zvqr_sync.h"
#include "tests/oscillators/wavetable_patterns.h"
#include "tests/support/module_harness.h"

namespace {

using S = OscZvqrSync;
using zv::oscillators::decimationCoefficients;
using zv::oscillators::DecimationFilter;

struct OscZvqrSyncTest : ::testing::Test {
  TestHost host;
  OscZvqrSync* module = nullptr;
  std::unique_ptr<AudioModule> osc;

  void open(float sampleRate = 44100.0f) {
    host.sampleRate = sampleRate;
    host.blockSize = 512;
    module = new OscZvqrSync(host.unknown());
    osc = std::make_unique<AudioModule>(host, module);
    for (int pin = S::PITCH; pin <= S::OUTPUT; ++pin) osc->audio(pin);
    osc->audio(S::UNUSED_AUDIO);
    osc->audio(S::SOFTNESS);
    osc->fill(S::PHASE_OFFSET, 1.0f);
    osc->fill(S::ACTIVE, 1.0f);
    osc->open();
    zv::oscillators::test::fillRamps(host);
  }
  void start(float pitch, int32_t mode, int32_t sync, int32_t kind, int32_t frames = 1) {
    osc->fill(S::PITCH, pitch);
    osc->process(frames, EventList()
                             .graphStart()
                             .value(0, S::MODE, mode)
                             .value(0, S::SYNC, sync)
                             .value(0, S::SYNC_KIND, kind)
                             .value(0, S::RETRIGGER, int32_t{0})
                             .value(0, S::LEVEL_1, 1.0f)
                             .value(0, S::LEVEL_2, 0.5f)
                             .value(0, S::LEVEL_3, 2.0f));
  }
  float* out() { return osc->audio(S::OUTPUT); }
};

TEST_F(OscZvqrSyncTest, SyncOffAndAnUnconnectedExternalMasterRenderAsThePlainOscillator) {
  // The plain oscillator on the same host reads the same sets.
  OscZvqr* plain = new OscZvqr(host.unknown());
  AudioModule reference(host, plain);
  host.blockSize = 512;
  for (int pin = 0; pin <= OscZvqr::OFFSET_OUT; ++pin) reference.audio(pin);
  reference.audio(OscZvqr::UNUSED_AUDIO);
  for (int32_t sync : {0, 1}) {
    SCOPED_TRACE(sync);
    open();
    reference.open();
    reference.fill(OscZvqr::PHASE_OFFSET, 0.3f);
    reference.fill(OscZvqr::SHAPE, -0.2f);
    reference.fill(OscZvqr::ACTIVE, 1.0f);
    reference.fill(OscZvqr::PITCH, 0.47f);
    reference.process(256, EventList()
                               .graphStart()
                               .value(0, OscZvqr::MODE, int32_t{1})
                               .value(0, OscZvqr::LEVEL_1, 1.0f)
                               .value(0, OscZvqr::LEVEL_2, 0.5f)
                               .value(0, OscZvqr::LEVEL_3, 2.0f));
    osc->fill(S::PHASE_OFFSET, 0.3f);
    osc->fill(S::SHAPE, -0.2f);
    osc->fill(S::MASTER_PITCH, 0.6f);  // master pins carry values but pin 9 is 0
    osc->fill(S::MASTER_WRAP, 3.0f);
    osc->fill(S::MASTER_INCREMENT, 20.0f);
    start(0.47f, 1, sync, 2, 256);
    // Sync off runs the same routine; the external family may round differently.
    const float* expected = reference.audio(OscZvqr::OUTPUT);
    for (int i = 0; i < 256; ++i) {
      if (sync == 0) {
        ASSERT_EQ(out()[i], expected[i]) << i;
      } else {
        ASSERT_NEAR(out()[i], expected[i], 1e-5 * std::abs(expected[i])) << i;
      }
    }
  }
}

TEST_F(OscZvqrSyncTest, ExternalRestartStepFollowsMasterPitchWithinLimits) {
  struct Case {
    float masterPitch;
    float step;
  };
  for (Case c : {Case{0.3f, 0.05f}, Case{0.7f, 0.15f}, Case{1.0f, 0.25f}, Case{std::nanf(""), 0.05f}}) {
    SCOPED_TRACE(c.masterPitch);
    open();
    osc->fill(S::MASTER_PITCH, c.masterPitch);
    osc->fill(S::MASTER_INCREMENT, 20.0f);
    osc->fill(S::MASTER_OFFSET, 4360.0f + 2048.0f * 30);
    osc->audio(S::MASTER_WRAP)[0] = 10.0f;
    start(0.5f, 0, 1, 0);
    EXPECT_FLOAT_EQ(module->voice().crossfadeStep, c.step);
    EXPECT_FLOAT_EQ(module->voice().crossfade, 1.0f - c.step);
  }
}

TEST_F(OscZvqrSyncTest, ExternalRestartJumpsToTheScaledWrapPosition) {
  open();
  osc->fill(S::MASTER_PITCH, 0.3f);
  osc->fill(S::MASTER_INCREMENT, 10.0f);
  osc->fill(S::MASTER_OFFSET, 4360.0f);
  osc->audio(S::MASTER_WRAP)[0] = 4.0f;
  start(0.5f, 0, 1, 0, 40);
  // Restart phase slave increment / 10 × 4, then 40 samples on.
  const double inc = module->voice().increment;
  EXPECT_EQ(module->voice().crossfade, -1.0f);
  EXPECT_NEAR(module->voice().phase, zv::oscillators::test::wrapHead(inc / 10.0 * 4.0 + 40 * inc), 0.05);
}

TEST_F(OscZvqrSyncTest, ExternalMasterValuesThatAreNotATableStartOrIncrementAreRefused) {
  for (float offset : {4361.0f, 4360.0f + 2048.0f * 60, 1e9f, -4360.0f, std::nanf(""), INFINITY}) {
    SCOPED_TRACE(offset);
    open();
    osc->fill(S::MASTER_PITCH, 0.8f);
    osc->fill(S::MASTER_INCREMENT, 20.0f);
    osc->fill(S::MASTER_WRAP, 5.0f);
    osc->fill(S::MASTER_OFFSET, offset);
    start(0.5f, 0, 1, 3, 64);
    EXPECT_EQ(module->voice().crossfade, -1.0f);
  }
  for (float increment : {0.0f, -3.0f, std::nanf(""), INFINITY}) {
    SCOPED_TRACE(increment);
    open();
    osc->fill(S::MASTER_PITCH, 0.8f);
    osc->fill(S::MASTER_INCREMENT, increment);
    osc->fill(S::MASTER_WRAP, 5.0f);
    osc->fill(S::MASTER_OFFSET, 4360.0f);
    start(0.5f, 0, 1, 3, 64);
    EXPECT_EQ(module->voice().crossfade, -1.0f);
    for (int i = 0; i < 64; ++i) ASSERT_TRUE(std::isfinite(out()[i])) << i;
  }
}

TEST_F(OscZvqrSyncTest, ExternalFadeToMasterBlendsTheMasterRead) {
  // Range 3 V, master pitch 0.9 (d = 9): blend (3 + 5.5 − 9) / 3 < 0, so the
  // output is the master read alone: set 1 ramp at the master's table 40.
  open();
  osc->fill(S::MASTER_PITCH, 0.9f);
  osc->fill(S::MASTER_INCREMENT, 16.0f);
  osc->fill(S::MASTER_FRACTION, 0.25f);
  osc->fill(S::MASTER_OFFSET, 4360.0f + 2048.0f * 40);
  start(0.2f, 0, 1, 3, 64);
  for (int i = 0; i < 64; ++i) {
    const double head = zv::oscillators::test::wrapHead(16.0 * (i + 1));
    ASSERT_NEAR(out()[i], zv::oscillators::test::rampAt(0, 40, 0.25, head), 2e-3) << i;
  }
}

TEST_F(OscZvqrSyncTest, InternalHardSyncLocksTheSlaveToTheMasterPeriod) {
  // At 44000 Hz a 440 Hz master has a period of exactly 100 samples.
  const float master = 0.5f, slave = 0.57f;
  auto render = [&](int32_t sync) {
    open(44000.0f);
    zv::oscillators::test::fillSines(host);
    osc->fill(S::MASTER_PITCH, master);
    osc->fill(S::SOFTNESS, 0.0f);
    start(slave, 0, sync, -2, 512);
    return std::vector<float>(out(), out() + 512);
  };
  const auto synced = render(1);
  const auto free = render(0);
  double syncedDiff = 0.0, freeDiff = 0.0;
  // From the first master wrap on (the free start differs by one sub-step).
  for (int i = 110; i < 400; ++i) {
    if (i % 100 >= 98 || i % 100 <= 1) continue;  // the wrap may fall one sub-step either side
    syncedDiff = std::max(syncedDiff, std::abs(double(synced[i]) - synced[i + 100]));
    freeDiff = std::max(freeDiff, std::abs(double(free[i]) - free[i + 100]));
  }
  EXPECT_LT(syncedDiff, 0.02);
  EXPECT_GT(freeDiff, 0.2);
}

TEST_F(OscZvqrSyncTest, InternalSoftSyncStepDependsOnWhichOscillatorIsFaster) {
  auto stepAfterWrap = [&](float slave, float master) {
    open();
    osc->fill(S::MASTER_PITCH, master);
    osc->fill(S::SOFTNESS, 0.5f);
    start(slave, 0, 1, -2, 256);
    return module->voice().crossfadeStep;
  };
  // Faster slave: 2 × 0.5 × (0.18 + (0.01587 − 0.18) × 0.4925) / (1.1 − 0.5).
  EXPECT_NEAR(stepAfterWrap(0.6f, 0.5f), (0.18 + (0.01587 - 0.18) * 0.4925) / 0.6, 1e-5);
  EXPECT_FLOAT_EQ(stepAfterWrap(0.4f, 0.5f), 0.3f);
}

TEST_F(OscZvqrSyncTest, FilterBypassLastsOneHundredAndTwoCallsAndRestartsOnAKindChange) {
  open();
  start(0.5f, 2, 1, -4, 4);
  for (int call = 2; call <= 101; ++call) osc->process(4);
  EXPECT_TRUE(module->filterBypassed());
  osc->process(4);
  EXPECT_FALSE(module->filterBypassed());
  osc->process(4, EventList().value(0, S::SYNC_KIND, int32_t{-4}));
  EXPECT_FALSE(module->filterBypassed()) << "the same kind again";
  osc->process(4, EventList().value(0, S::SYNC_KIND, int32_t{-8}));
  EXPECT_TRUE(module->filterBypassed());
  for (int call = 0; call < 110; ++call) osc->process(4);
  EXPECT_FALSE(module->filterBypassed());
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::isfinite(out()[i]));
}

TEST_F(OscZvqrSyncTest, UnsupportedKindsMapToASupportedFactor) {
  EXPECT_EQ(S::internalFactor(-2), 2);
  EXPECT_EQ(S::internalFactor(-3), 2);
  EXPECT_EQ(S::internalFactor(-4), 4);
  EXPECT_EQ(S::internalFactor(-7), 4);
  EXPECT_EQ(S::internalFactor(-8), 8);
  EXPECT_EQ(S::internalFactor(-1000), 8);
  EXPECT_EQ(S::internalFactor(INT_MIN), 8);
  open();
  osc->fill(S::MASTER_PITCH, 0.7f);
  osc->fill(S::SOFTNESS, 2.0f);
  start(0.55f, 1, 1, INT_MIN, 256);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(std::isfinite(out()[i])) << i;
}

TEST_F(OscZvqrSyncTest, RingTermStaysBoundedUnderStrongSoftness) {
  open();
  osc->fill(S::MASTER_PITCH, 1.0f);
  osc->fill(S::SOFTNESS, 50.0f);
  start(0.63f, 0, 1, -2, 256);
  for (int block = 0; block < 200; ++block) osc->process(256);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(std::isfinite(out()[i])) << i;
}

TEST(DecimationFilter, PassesDcAndSettles) {
  for (int factor : {2, 4, 8}) {
    SCOPED_TRACE(factor);
    DecimationFilter f;
    double y = 0.0;
    for (int i = 0; i < 20000; ++i) y = f.step(decimationCoefficients(factor), 1.0);
    EXPECT_NEAR(y, 1.0, 0.05);  // the rounded coefficients give 1.006 to 1.033
    // An impulse dies away.
    f.clear();
    y = f.step(decimationCoefficients(factor), 1.0);
    double late = 0.0;
    for (int i = 0; i < 40000; ++i) {
      y = f.step(decimationCoefficients(factor), 0.0);
      if (i > 30000) late = std::max(late, std::abs(y));
    }
    EXPECT_LT(late, 1e-6);
  }
}

TEST(DecimationFilter, RemovesTheUpperHalfOfTheOversampledBand) {
  // A tone at 3/4 of the output Nyquist frequency passes; one above the
  // output Nyquist frequency is strongly cut.
  for (int factor : {2, 4, 8}) {
    SCOPED_TRACE(factor);
    auto gain = [&](double cyclesPerOutputSample) {
      DecimationFilter f;
      const double w = 2.0 * 3.14159265358979 * cyclesPerOutputSample / factor;
      double peak = 0.0;
      for (int i = 0; i < 40000 * factor; ++i) {
        const double y = f.step(decimationCoefficients(factor), std::sin(w * i));
        if (i > 30000 * factor) peak = std::max(peak, std::abs(y));
      }
      return peak;
    };
    EXPECT_GT(gain(0.05), 0.9);
    EXPECT_LT(gain(0.75), 0.05);
  }
}

}  // namespace
