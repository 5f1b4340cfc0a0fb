#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "modules/oscillators/osc_zvqr.h"
#include "tests/oscillators/wavetable_patterns.h"
#include "tests/support/module_harness.h"

namespace {

using zv::oscillators::test::nearWrap;
using zv::oscillators::test::rampAt;
using zv::oscillators::test::wrapHead;
using P = OscZvqr;

struct OscZvqrTest : ::testing::Test {
  TestHost host;
  OscZvqr* module = nullptr;
  std::unique_ptr<AudioModule> osc;

  void open(float sampleRate = 44100.0f) {
    host.sampleRate = sampleRate;
    host.blockSize = 128;
    module = new OscZvqr(host.unknown());
    osc = std::make_unique<AudioModule>(host, module);
    for (int pin : {P::PITCH, P::PHASE_OFFSET, P::SHAPE, P::ACTIVE, P::GATE, P::OUTPUT, P::WRAP_OUT, P::INCREMENT_OUT,
                    P::FRACTION_OUT, P::OFFSET_OUT, P::UNUSED_AUDIO})
      osc->audio(pin);
    osc->fill(P::PHASE_OFFSET, 1.0f);  // offset 0
    osc->fill(P::ACTIVE, 1.0f);
    osc->open();
    zv::oscillators::test::fillRamps(host);
  }
  // Starts running at a pitch input in a mode with a retrigger setting.
  void start(float pitch, int32_t mode, int32_t retrigger = 0, int32_t frames = 128) {
    osc->fill(P::PITCH, pitch);
    osc->process(frames, EventList()
                             .graphStart()
                             .value(0, P::MODE, mode)
                             .value(0, P::RETRIGGER, retrigger)
                             .value(0, P::LEVEL_1, 1.0f)
                             .value(0, P::LEVEL_2, 0.5f)
                             .value(0, P::LEVEL_3, 2.0f));
  }
  float* out() { return osc->audio(P::OUTPUT); }
  float increment() { return osc->audio(P::INCREMENT_OUT)[0]; }
  // The head that a mode-0 ramp sample at table k, weight w decodes to.
  double head(int i, int table, double weight = 0.0) { return (out()[i] - 100.0 - table - weight) * 2048.0; }
};

TEST_F(OscZvqrTest, PitchGivesIncrementAndTables) {
  open();
  struct Case {
    float pitch;
    int table;
    float fraction;
    bool two;
  };
  for (Case c : {Case{0.5f, 30, 0.0f, true}, Case{0.505f, 30, 0.3f, true}, Case{-0.05f, 0, 0.0f, false},
                 Case{0.98333333f, 59, 0.0f, false}, Case{1.5f, 59, 0.0f, false}}) {
    SCOPED_TRACE(c.pitch);
    open();
    start(c.pitch, 0);
    EXPECT_NEAR(increment(), zv::oscillators::test::incrementFor(c.pitch, 44100.0), 2e-4 * increment());
    EXPECT_EQ(osc->audio(P::OFFSET_OUT)[5], 4360.0f + 2048.0f * c.table);
    if (c.two) {
      EXPECT_NEAR(osc->audio(P::FRACTION_OUT)[5], c.fraction, 1e-3);
    }
    for (int i = 0; i < 128; ++i) {
      const double h = wrapHead((i + 1.0) * increment() + 2048.0);
      if (nearWrap(h)) continue;
      ASSERT_NEAR(out()[i], rampAt(0, c.table, c.two ? c.fraction : 0.0, h), 2e-3) << i;
    }
  }
}

// Near the top the limit test and trunc(V × 6) can disagree in float; no
// volts may ever read past table 59 (plus its one guard value).
TEST(TableChoice, ReadsStayInsideTheSetForEveryVoltage) {
  for (float v = 9.75f; v <= zv::oscillators::kMaxVolts; v = std::nextafter(v, 11.0f)) {
    const auto t = zv::oscillators::chooseTables(v);
    ASSERT_LE(t.offset + t.upper + 2048 + 1, zv::oscillators::kFileValues + 1) << v;
    if (t.upper == 0) {
      ASSERT_EQ(t.mix, 0.0f) << "a single table is read unmixed";
    }
  }
  EXPECT_EQ(zv::oscillators::chooseTables(-3.0f).offset, 4360);
  EXPECT_EQ(zv::oscillators::chooseTables(-3.0f).upper, 0);
  EXPECT_EQ(zv::oscillators::chooseTables(9.8333333f).upper, 0);
  EXPECT_EQ(zv::oscillators::chooseTables(9.8f).upper, 2048);
}

TEST_F(OscZvqrTest, PitchBelowMinusOneKeepsThePreviousPitch) {
  open();
  start(0.5f, 0);
  const float before = increment();
  osc->fill(P::PITCH, -2.0f);
  osc->process(128);
  EXPECT_EQ(osc->audio(P::INCREMENT_OUT)[127], before);
  osc->fill(P::PITCH, std::nanf(""));
  osc->process(128);
  EXPECT_EQ(osc->audio(P::INCREMENT_OUT)[127], before);
  EXPECT_EQ(osc->audio(P::OFFSET_OUT)[127], 4360.0f + 30 * 2048.0f);
}

TEST_F(OscZvqrTest, PhaseWrapOutputMarksEachWrap) {
  open();
  start(0.6f, 0);
  const double inc = increment();
  int wraps = 0;
  for (int i = 0; i < 128; ++i) {
    const float w = osc->audio(P::WRAP_OUT)[i];
    const bool wrapped = std::floor((i + 1) * inc / 2048.0) != std::floor(i * inc / 2048.0);
    EXPECT_EQ(w != 0.0f, wrapped) << i;
    if (wrapped) {
      EXPECT_NEAR(w, std::fmod((i + 1) * inc, 2048.0), 0.05) << i;
      ++wraps;
    }
  }
  EXPECT_GE(wraps, 2);
}

// Each mode against the ramp contents: set 1, 2, 3 at slots 0, 1, 2.
TEST_F(OscZvqrTest, ModesReadTheirSetsAndHeads) {
  const float shape = 0.4f;
  const double w = 0.3;  // pitch 0.505: table 30, weight 0.3
  for (int mode = 0; mode < 5; ++mode) {
    SCOPED_TRACE(mode);
    open();
    osc->fill(P::SHAPE, shape);
    osc->fill(P::PHASE_OFFSET, 0.5f);  // offset one −512
    start(0.505f, mode);
    const double inc = increment();
    for (int i = 0; i < 128; ++i) {
      const double first = wrapHead((i + 1) * inc - 512.0);
      const double two = mode == 4 ? shape : std::min(shape + 1.0, 0.99);
      const double second = wrapHead(first + (two * 0.5 - 0.5) * 2048.0);
      if (nearWrap(first) || nearWrap(second)) continue;
      double expected = 0.0;
      switch (mode) {
        case 0: expected = 1.0 * rampAt(0, 30, w, first); break;
        case 1: {
          const double a = 2.0 * rampAt(2, 30, w, first), b = 0.5 * rampAt(1, 30, w, second);
          expected = a + (shape + 1.0) * 0.5 * (b - a);
          break;
        }
        case 2: expected = 0.5 * rampAt(1, 30, w, first); break;
        case 3: expected = 2.0 * rampAt(2, 30, w, first); break;
        case 4: expected = 0.5 * (rampAt(1, 30, w, first) - rampAt(1, 30, w, second)); break;
      }
      ASSERT_NEAR(out()[i], expected, 5e-3) << i;
    }
  }
}

TEST_F(OscZvqrTest, HardRetriggerRestartsOncePerGateRise) {
  open();
  start(0.5f, 0, 1, 16);
  float* gate = osc->audio(P::GATE);
  std::fill_n(gate, 128, 0.0f);
  std::fill_n(gate + 20, 60, 1.0f);  // rises at 20, falls at 80, rises again at 100
  std::fill_n(gate + 100, 28, 1.0f);
  osc->process(128, EventList()
                        .streaming(20, P::GATE, true)
                        .value(40, P::LEVEL_1, 1.0f + 1e-7f)
                        .value(80, P::LEVEL_1, 1.0f)
                        .value(100, P::LEVEL_1, 1.0f + 1e-7f));
  const double inc = increment();
  EXPECT_NEAR(head(20, 30), inc, 0.1) << "restarted at the rise";
  EXPECT_NEAR(head(60, 30), wrapHead(41 * inc), 0.1) << "a held gate does not retrigger at 40";
  EXPECT_NEAR(head(100, 30), inc, 0.1) << "a new rise after the fall retriggers";
}

TEST_F(OscZvqrTest, SetOfZeroIgnoresTheGateButPhaseResetStillWorks) {
  open();
  start(0.5f, 0, 0, 16);
  std::fill_n(osc->audio(P::GATE), 128, 1.0f);
  osc->process(128, EventList().streaming(10, P::GATE, true).value(50, P::PHASE_RESET, 1.0f));
  const double inc = increment();
  EXPECT_NEAR(head(10, 30), wrapHead(27 * inc), 0.1);
  EXPECT_NEAR(head(50, 30), inc, 0.1);
}

TEST_F(OscZvqrTest, NegativeRetriggerSettingDisablesPhaseReset) {
  open();
  start(0.5f, 0, -1, 16);
  osc->process(64, EventList().value(30, P::PHASE_RESET, 1.0f));
  EXPECT_NEAR(head(30, 30), wrapHead(47 * increment()), 0.1);
}

TEST_F(OscZvqrTest, SoftRetriggerCrossfadesOverPinTwelveTenthsOfAMillisecond) {
  open();
  start(0.5f, 0, 20, 16);
  std::fill_n(osc->audio(P::GATE), 128, 1.0f);
  osc->process(1, EventList().streaming(0, P::GATE, true));
  EXPECT_NEAR(module->voice().crossfadeStep, 10.0f / 880.0f, 1e-7f);
  osc->process(80);
  EXPECT_NE(module->voice().crossfade, -1.0f) << "still fading after 81 samples";
  osc->process(10);
  EXPECT_EQ(module->voice().crossfade, -1.0f) << "done after 91 samples";
  // The main phase continued from the restarted one: 91 samples since 0.
  EXPECT_NEAR(module->voice().phase, wrapHead(91 * increment()), 0.05);
}

TEST_F(OscZvqrTest, ModeChangeKeepsThePhase) {
  open();
  start(0.5f, 0, 0, 16);
  osc->process(64, EventList().value(32, P::MODE, int32_t{2}));
  const double h = wrapHead(49 * increment());
  EXPECT_NEAR(out()[32], 0.5 * rampAt(1, 30, 0.0, h), 1e-3);
}

TEST_F(OscZvqrTest, ModeOutsideTheRangeKeepsTheRoutineAndStartsSilent) {
  open();
  start(0.5f, 7, 0, 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out()[i], 0.0f);
  osc->process(16, EventList().value(0, P::MODE, int32_t{3}));
  EXPECT_GT(out()[8], 300.0f);
  osc->process(16, EventList().value(0, P::MODE, int32_t{-1}));
  EXPECT_GT(out()[8], 300.0f) << "mode 3 kept";
}

TEST_F(OscZvqrTest, InactiveIsSilentStaticAndSleeps) {
  open();
  osc->fill(P::ACTIVE, 0.0f);
  start(0.5f, 0);
  for (int i = 0; i < 128; ++i) ASSERT_EQ(out()[i], 0.0f);
  EXPECT_FALSE(host.streamingOn(P::OUTPUT).back().streaming);
  EXPECT_FALSE(host.streamingOn(P::OFFSET_OUT).back().streaming);
  osc->process(128);
  EXPECT_GE(host.sleepRequests, 1);
}

TEST_F(OscZvqrTest, HugeIncrementsAtLowRatesStayInTheTables) {
  open(1000.0f);  // increments far above one cycle per sample
  start(1.0f, 4);
  EXPECT_GT(increment(), 4 * 2048.0f);
  for (int i = 0; i < 128; ++i) {
    ASSERT_TRUE(std::isfinite(out()[i])) << i;
    ASSERT_LE(std::abs(out()[i]), 0.5f * 1.0f + 1e-3f) << i;
  }
}

TEST_F(OscZvqrTest, HugeRetriggerSettingStillEndsTheCrossfade) {
  open();
  start(0.5f, 0, INT_MAX, 16);
  std::fill_n(osc->audio(P::GATE), 128, 1.0f);
  osc->process(4, EventList().streaming(0, P::GATE, true));
  EXPECT_GT(module->voice().crossfadeStep, 0.0f);
  EXPECT_LT(module->voice().crossfade, 1.0f);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::isfinite(out()[i]));
}

// Held inputs are read once per stretch; the routine must change when an
// input starts or stops streaming, or a change inside a block goes unseen.
TEST_F(OscZvqrTest, RoutineFollowsThePitchStartingAndStoppingStreaming) {
  open();
  start(0.5f, 0, 0, 16);
  const float slow = increment();
  float* pitch = osc->audio(P::PITCH);
  const float* inc = osc->audio(P::INCREMENT_OUT);
  std::fill_n(pitch, 128, 0.5f);
  std::fill_n(pitch + 70, 58, 0.6f);
  osc->process(128, EventList().streaming(64, P::PITCH, true));
  EXPECT_EQ(inc[69], slow);
  EXPECT_GT(inc[70], slow * 1.05f) << "a streaming pitch is read at every sample";

  // Stopped: the value at the start of a stretch holds for all of it.
  std::fill_n(pitch, 128, 0.6f);
  osc->process(16, EventList().streaming(0, P::PITCH, false));
  std::fill_n(pitch + 100, 28, 0.4f);
  osc->process(128);
  EXPECT_GT(inc[0], slow * 1.05f);
  EXPECT_EQ(inc[127], inc[0]);
}

// The same constant inputs render alike whether or not they are marked
// streaming, in every mode and with a soft retrigger crossfading.
TEST_F(OscZvqrTest, HeldAndStreamingRoutinesRenderTheSameConstantInputs) {
  for (int mode = 0; mode < 5; ++mode) {
    SCOPED_TRACE(mode);
    std::vector<float> rendered[2];
    for (int streaming = 0; streaming < 2; ++streaming) {
      open();
      osc->fill(P::SHAPE, 0.3f);
      osc->fill(P::PHASE_OFFSET, 0.2f);
      start(0.505f, mode, 40, 16);  // a crossfade of about 176 samples
      EventList events;
      for (int pin : {P::PITCH, P::PHASE_OFFSET, P::SHAPE}) events.streaming(0, pin, streaming == 1);
      osc->process(50, events);
      std::fill_n(osc->audio(P::GATE), 128, 1.0f);
      osc->process(128, EventList().streaming(20, P::GATE, true));
      for (int pin : {P::OUTPUT, P::WRAP_OUT, P::INCREMENT_OUT, P::FRACTION_OUT, P::OFFSET_OUT})
        rendered[streaming].insert(rendered[streaming].end(), osc->audio(pin), osc->audio(pin) + 128);
      EXPECT_NE(module->voice().crossfade, -1.0f) << "the crossfade spans the block end";
    }
    ASSERT_EQ(rendered[0].size(), rendered[1].size());
    for (size_t i = 0; i < rendered[0].size(); ++i)
      ASSERT_TRUE(zv::oscillators::test::sameRendering(rendered[0][i], rendered[1][i]))
          << i << ": " << rendered[0][i] << " vs " << rendered[1][i];
  }
}

}  // namespace
