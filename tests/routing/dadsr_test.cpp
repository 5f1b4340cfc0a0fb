#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "modules/routing/dadsr.h"
#include "tests/support/module_harness.h"

namespace {

constexpr float kRate = 44100.0f;
const float kMaxIncrement = (1.0f / kRate) / 0.001f;

// Stage lengths in samples, from the time formula.
double samplesFor(double control, double range) { return kRate * std::exp2(control * 10.0 - range); }

// First index at or after `from` where the predicate holds, or -1.
int firstIndex(const std::vector<float>& v, size_t from, const std::function<bool(float)>& holds) {
  for (size_t i = from; i < v.size(); ++i)
    if (holds(v[i])) return static_cast<int>(i);
  return -1;
}

// Where the attack turned into the decay: the highest output. (The level
// touches 1 only inside the sample that starts the decay.)
int peakIndex(const std::vector<float>& v) {
  return static_cast<int>(std::max_element(v.begin(), v.end()) - v.begin());
}

// One envelope with constant controls, driven block by block; the output of
// every block is collected.
class Envelope {
 public:
  Envelope(TestHost& host, float attack, float decay, float sustain, float release, int32_t timingMode = 1)
      : host_(host), module_(host, MP_TEXT("ZV51MODS ZV-ADSR D")) {
    module_.fill(Dadsr::ACTIVE, 1.0f);
    module_.fill(Dadsr::ATTACK, attack);
    module_.fill(Dadsr::DECAY, decay);
    module_.fill(Dadsr::SUSTAIN, sustain);
    module_.fill(Dadsr::RELEASE, release);
    module_.fill(Dadsr::LEVEL, 1.0f);
    module_.fill(Dadsr::DELAY, 0.0f);
    module_.audio(Dadsr::OUTPUT);
    EXPECT_EQ(module_.open(), MP_OK);
    EventList start;
    start.graphStart()
        .value(0, Dadsr::TIMING_MODE, timingMode)
        .value(0, Dadsr::ATTACK_CURVE, 2)
        .value(0, Dadsr::DECAY_CURVE, 2)
        .value(0, Dadsr::RELEASE_CURVE, 2)
        .value(0, Dadsr::ATTACK_RANGE, 0)
        .value(0, Dadsr::DECAY_RANGE, 0)
        .value(0, Dadsr::RELEASE_RANGE, 0)
        .value(0, Dadsr::RETRIGGER_MODE, 0)
        .value(0, Dadsr::RELEASE_HOLD, 0);
    run(host.blockSize, start);
  }

  // Runs whole blocks covering `samples`; events land in the first block.
  std::vector<float> run(int32_t samples, EventList& events) {
    std::vector<float> out;
    const int32_t block = host_.blockSize;
    for (int32_t done = 0; done < samples; done += block) {
      if (done == 0) {
        module_.process(block, events);
      } else {
        module_.process(block);
      }
      const float* o = module_.audio(Dadsr::OUTPUT);
      out.insert(out.end(), o, o + block);
    }
    return out;
  }
  std::vector<float> run(int32_t samples) {
    EventList none;
    return run(samples, none);
  }
  std::vector<float> noteOn(int32_t samples) {
    return run(samples, EventList().value(0, Dadsr::GATE, 1.0f).value(0, Dadsr::TRIGGER, 1));
  }
  std::vector<float> noteOff(int32_t samples) {
    return run(samples, EventList().value(0, Dadsr::GATE, 0.0f).value(0, Dadsr::TRIGGER, 0));
  }
  std::vector<float> set(int32_t pin, int32_t value, int32_t samples) {
    return run(samples, EventList().value(0, pin, value));
  }
  void fill(int32_t pin, float value) { module_.fill(pin, value); }
  bool outputStreaming() const {
    auto sent = host_.streamingOn(Dadsr::OUTPUT);
    return !sent.empty() && sent.back().streaming;
  }

 private:
  TestHost& host_;
  AudioModule module_;
};

TEST(DadsrShaperTables, EntriesFollowTheirFormulasAndAreSharedOnce) {
  TestHost host;
  Envelope first(host, 0.0f, 0.0f, 0.5f, 0.0f);
  struct Expected {
    const MpChar* name;
    std::function<double(double)> f;
  };
  auto gain = [](double x) { return 1.6 * x * (std::fabs(x) + 1.0) / (1.6 * x * 3.0 * x + 1.0); };
  auto gainAgain = [](double g) { return 1.89 * g * (std::fabs(g / 3.0) + 1.0) / (1.6 * g * 3.0 * g + 1.0); };
  const double halfPi = 1.5707963267948966;
  const Expected tables[] = {
      {MP_TEXT("ZV51_Shaper_Exp+"), [&](double x) { return (2 * x - std::sin(x * halfPi * 1.27)) * 0.919; }},
      {MP_TEXT("ZV51_Shaper_Exp"), [&](double x) { return 2 * x - std::sin(x * halfPi); }},
      {MP_TEXT("ZV51_Shaper_Exp_Inv"), [&](double x) { return std::sin(x * halfPi); }},
      {MP_TEXT("ZV51_Shaper_Exp_Inv+"), [&](double x) { return gainAgain(gain(x)); }},
      {MP_TEXT("ZV51_Shaper_SE_Db"), [](double x) { return std::exp(4.462 * x - 4.45) - 0.0117; }},
      {MP_TEXT("ZV51_Shaper_SE_Db+"), [](double x) { return std::exp(11.5 * x - 11.5); }},
  };
  for (const auto& t : tables) {
    const MpString name = t.name;
    const float* block = host.namedMemory(name, -1.0f);
    ASSERT_NE(block, nullptr) << toUtf8(name);
    for (int i : {0, 1, 17, 2500, 5000, 7071, 9999, 10000}) {
      EXPECT_NEAR(block[i], t.f(i * 0.0001), 2e-6) << toUtf8(name) << " entry " << i;
    }
    EXPECT_FALSE(std::isnan(block[10001])) << "spare entry of " << toUtf8(name) << " is read with weight 0";
  }
  EXPECT_LT(host.namedMemory(MP_TEXT("ZV51_Shaper_SE_Db"), -1.0f)[0], -2e-5f);
  EXPECT_NEAR(host.namedMemory(MP_TEXT("ZV51_Shaper_SE_Db+"), -1.0f)[0], 1.01e-5f, 1e-7f);
  EXPECT_NEAR(host.namedMemory(MP_TEXT("ZV51_Shaper_Exp_Inv+"), -1.0f)[10000], 0.5016f, 1e-4f);

  // A second instance reads the tables and leaves them alone.
  float* exp = host.namedMemory(MP_TEXT("ZV51_Shaper_Exp"), -1.0f);
  exp[1234] = 42.0f;
  Envelope second(host, 0.0f, 0.0f, 0.5f, 0.0f);
  EXPECT_EQ(exp[1234], 42.0f);
  EXPECT_EQ(host.namedMemoryOpenCount(MP_TEXT("ZV51_Shaper_SE_Db+"), -1.0f), 2);
  EXPECT_EQ(host.namedMemoryBlocks(), 6u);
}

// Attack, decay and release lengths, fixed-time mode, linear curves.
TEST(DadsrStages, FixedTimeLengthsFollowControlsAndRanges) {
  TestHost host;
  Envelope env(host, 0.5f, 0.4f, 0.5f, 0.3f);
  auto on = env.noteOn(20000);
  EXPECT_TRUE(env.outputStreaming());
  const int peak = peakIndex(on);
  EXPECT_NEAR(peak, samplesFor(0.5, 10.0), 2.0);
  for (int i = 1; i < peak; ++i) ASSERT_GT(on[i], on[i - 1]) << "linear attack rises every sample, " << i;
  const int sustained = firstIndex(on, peak, [](float v) { return v == 0.5f; });
  EXPECT_NEAR(sustained - peak, samplesFor(0.4, 10.0), 2.0);
  for (size_t i = sustained; i < on.size(); ++i) ASSERT_EQ(on[i], 0.5f);

  auto off = env.noteOff(2000);
  const int silent = firstIndex(off, 0, [](float v) { return v == 0.0f; });
  EXPECT_NEAR(silent, samplesFor(0.3, 10.0), 2.0);
  EXPECT_NEAR(off[silent / 2], 0.25f, 0.01f) << "release scales from the level it began at";

  // Long ranges, taken at note start and note end when the pin is 1.
  env.set(Dadsr::ATTACK_RANGE, 1, 64);
  env.set(Dadsr::DECAY_RANGE, 1, 64);
  env.set(Dadsr::RELEASE_RANGE, 1, 64);
  auto longOn = env.noteOn(30000);
  const int longPeak = peakIndex(longOn);
  EXPECT_NEAR(longPeak, samplesFor(0.5, 6.666666), 2.0);
  const int longSustained = firstIndex(longOn, longPeak, [](float v) { return v == 0.5f; });
  EXPECT_NEAR(longSustained - longPeak, samplesFor(0.4, 6.666666), 2.0);
  auto longOff = env.noteOff(6000);
  EXPECT_NEAR(firstIndex(longOff, 0, [](float v) { return v == 0.0f; }), samplesFor(0.3, 6.666666), 2.0);
}

// A range pin's own update takes any non-zero value as long; a note start
// or a Trigger note end takes only 1 as long.
TEST(DadsrStages, RangeValueTwoIsLongOnlyUntilANoteReadsThePin) {
  TestHost host;
  Envelope env(host, 0.5f, 0.4f, 0.5f, 0.3f);
  env.set(Dadsr::ATTACK_RANGE, 2, 64);
  env.set(Dadsr::RELEASE_RANGE, 2, 64);
  auto on = env.noteOn(8192);
  EXPECT_NEAR(peakIndex(on), samplesFor(0.5, 10.0), 2.0);
  auto gateOff = env.run(8192, EventList().value(0, Dadsr::GATE, 0.0f));
  EXPECT_NEAR(firstIndex(gateOff, 0, [](float v) { return v == 0.0f; }), samplesFor(0.3, 6.666666), 2.0);

  env.noteOn(8192);
  auto triggerOff = env.noteOff(2048);
  EXPECT_NEAR(firstIndex(triggerOff, 0, [](float v) { return v == 0.0f; }), samplesFor(0.3, 10.0), 2.0);
}

TEST(DadsrStages, SpanScaledStagesSlowDownBySpan) {
  TestHost host;
  Envelope env(host, 0.5f, 0.4f, 0.5f, 0.3f, 0);
  auto on = env.noteOn(20000);
  const int peak = peakIndex(on);
  EXPECT_NEAR(peak, samplesFor(0.5, 10.0), 2.0) << "from 0 the span is 1";
  const int sustained = firstIndex(on, peak, [](float v) { return v == 0.5f; });
  EXPECT_NEAR(sustained - peak, samplesFor(0.4, 10.0) / 0.5, 3.0);
  auto off = env.noteOff(2000);
  EXPECT_NEAR(firstIndex(off, 0, [](float v) { return v == 0.0f; }), samplesFor(0.3, 10.0) / 0.5, 3.0);
}

TEST(DadsrStages, NoStageIsShorterThanOneMillisecond) {
  TestHost host;
  Envelope env(host, 0.0f, 0.0f, 0.5f, -1.0f);
  auto on = env.noteOn(512);
  const int peak = peakIndex(on);
  EXPECT_NEAR(peak, kRate * 0.001, 1.5) << "2^-10 s is raised to 1 ms";
  const int sustained = firstIndex(on, peak, [](float v) { return v == 0.5f; });
  EXPECT_NEAR(sustained - peak, kRate * 0.001, 1.5);
  auto off = env.noteOff(512);
  EXPECT_NEAR(firstIndex(off, 0, [](float v) { return v == 0.0f; }), kRate * 0.001, 1.5) << "release -1 is 0.0001";

  // Sustain above 1 is 1: the level stays at full after the attack.
  env.fill(Dadsr::SUSTAIN, 1.5f);
  auto full = env.noteOn(512);
  for (size_t i = peakIndex(full); i < full.size(); ++i) ASSERT_EQ(full[i], 1.0f) << i;
}

TEST(DadsrStages, SameOutputWhateverTheBlockSize) {
  std::vector<float> reference;
  for (int32_t block : {64, 1, 37}) {
    TestHost host;
    host.blockSize = block;
    Envelope env(host, 0.3f, 0.35f, 0.4f, 0.25f, 0);
    env.fill(Dadsr::DELAY, 0.001f);
    auto out = env.noteOn(64 * 37);
    auto off = env.noteOff(64 * 37);
    out.insert(out.end(), off.begin(), off.end());
    out.resize(2 * 64 * 37 - 64);
    if (reference.empty()) {
      reference = out;
    } else {
      EXPECT_EQ(out, reference) << "block size " << block;
    }
  }
}

TEST(DadsrRetrigger, RampDownThenDelayThenAttackFromZero) {
  TestHost host;
  Envelope env(host, 0.3f, 0.0f, 0.8f, 0.3f);
  env.fill(Dadsr::DELAY, 0.0001f);  // 44.1 samples
  env.noteOn(2048);
  env.set(Dadsr::RETRIGGER_MODE, 1, 64);
  auto again = env.noteOn(1024);
  ASSERT_EQ(again[0], 0.8f);
  for (int i = 1; i < 35; ++i) EXPECT_NEAR(again[i - 1] - again[i], kMaxIncrement, 1e-5f) << i;
  const int zero = firstIndex(again, 0, [](float v) { return v == 0.0f; });
  EXPECT_NEAR(zero, 0.8f / kMaxIncrement, 1.0f) << "0.8 ms at 1 ms per full scale";
  const int rising = firstIndex(again, zero, [](float v) { return v > 0.0f; });
  EXPECT_NEAR(rising - zero, kRate * 10.0f * 0.0001f, 2.0f) << "the delay runs before the attack";
  EXPECT_NEAR(again[rising + 10] - again[rising + 9], (1.0f / kRate) / std::exp2(3.0f - 10.0f), 1e-6f)
      << "the attack restarts from 0 at full speed";
}

TEST(DadsrRetrigger, LegatoAttacksFromTheCurrentLevel) {
  for (int32_t timing : {1, 0}) {
    TestHost host;
    Envelope env(host, 0.4f, 0.0f, 0.8f, 0.3f, timing);
    env.noteOn(2048);
    auto again = env.noteOn(4096);
    for (float v : again) ASSERT_GE(v, 0.8f) << "legato never dips";
    const int peak = peakIndex(again);
    // Fixed time: the phase runs in the attack time over a span of 0.2;
    // span-scaled: the phase itself moves at 0.2 × speed.
    const double expected = samplesFor(0.4, 10.0) / (timing == 1 ? 1.0 : 0.2);
    EXPECT_NEAR(peak, expected, 3.0) << "timing mode " << timing;
  }
}

TEST(DadsrDelay, DelayControlHoldsTheAttackBack) {
  TestHost host;
  Envelope env(host, 0.0f, 0.0f, 0.5f, 0.3f);
  env.fill(Dadsr::DELAY, 0.01f);
  auto on = env.noteOn(6000);
  const int held = static_cast<int>(kRate * 0.1f);
  for (int i = 0; i < held; ++i) ASSERT_EQ(on[i], 0.0f) << i;
  EXPECT_GT(on[held + 2], 0.0f);
}

TEST(DadsrCurves, TableCurvesAreReadAtThePhase) {
  TestHost host;
  Envelope env(host, 0.5f, 0.3f, 0.5f, 0.3f);
  env.set(Dadsr::ATTACK_CURVE, 4, 64);
  auto on = env.noteOn(4096);
  const double inc = (1.0 / kRate) / std::exp2(-5.0);
  auto g = [](double x) { return 1.6 * x * (x + 1.0) / (1.6 * x * 3.0 * x + 1.0); };
  auto h = [](double v) { return 1.89 * v * (v / 3.0 + 1.0) / (1.6 * v * 3.0 * v + 1.0); };
  for (int k : {5, 100, 300}) EXPECT_NEAR(on[k], 2.0 * h(g(k * inc)), 2e-4) << "doubled lookup at " << k;
  // The doubled table passes 1 near the middle, ending the attack early.
  const int peak = peakIndex(on);
  EXPECT_LT(peak, 0.8 * samplesFor(0.5, 10.0));
  EXPECT_GT(peak, 0);

  // A slow curve-5 attack starts on the negative first entry: clamped to 0.
  TestHost slowHost;
  Envelope slow(slowHost, 1.0f, 0.3f, 0.5f, 0.3f);
  slow.set(Dadsr::ATTACK_RANGE, 1, 64);
  slow.set(Dadsr::ATTACK_CURVE, 5, 64);
  auto start = slow.noteOn(64);
  for (float v : start) ASSERT_EQ(v, 0.0f);
}

TEST(DadsrCurves, SelectorsOutsideTheTablesBehaveAsLinear) {
  std::vector<float> linear;
  for (int32_t curve : {2, 7, -1, 1000}) {
    TestHost host;
    Envelope env(host, 0.3f, 0.3f, 0.5f, 0.3f);
    env.set(Dadsr::ATTACK_CURVE, curve, 64);
    env.set(Dadsr::DECAY_CURVE, curve, 64);
    env.set(Dadsr::RELEASE_CURVE, curve, 64);
    auto out = env.noteOn(2048);
    auto off = env.noteOff(2048);
    out.insert(out.end(), off.begin(), off.end());
    EXPECT_EQ(out[2047], 0.5f) << "curve " << curve << " reaches the sustain";
    EXPECT_EQ(out.back(), 0.0f) << "curve " << curve << " ends its release";
    if (linear.empty()) {
      linear = out;
    } else {
      EXPECT_EQ(out, linear) << "curve " << curve;
    }
  }
}

TEST(DadsrStop, ReleaseEndsInZerosThenStaticThenSleep) {
  TestHost host;
  Envelope env(host, 0.2f, 0.2f, 0.6f, 0.2f);
  env.noteOn(4096);
  host.clearRecords();
  // The release (2^-8 s, 172 samples) ends in the third block; the fourth is
  // silent throughout, so the output turns static at its start.
  std::vector<float> out = env.noteOff(64);
  auto more = env.run(128);
  out.insert(out.end(), more.begin(), more.end());
  EXPECT_TRUE(env.outputStreaming());
  EXPECT_GT(out[150], 0.0f);
  EXPECT_EQ(out.back(), 0.0f);
  auto fourth = env.run(64);
  for (float v : fourth) ASSERT_EQ(v, 0.0f);
  ASSERT_FALSE(env.outputStreaming());
  EXPECT_EQ(host.streamingOn(Dadsr::OUTPUT).back().position, 0);
  EXPECT_EQ(host.sleepRequests, 0) << "one more block of the static value first";
  env.run(64);
  EXPECT_EQ(host.sleepRequests, 1);
}

TEST(DadsrStop, GateAloneEndsTheNoteAndTheModuleSleeps) {
  TestHost host;
  Envelope env(host, 0.2f, 0.2f, 0.6f, 0.2f);
  EXPECT_FALSE(env.outputStreaming()) << "idle after graph start";
  EXPECT_EQ(host.sleepRequests, 1) << "an idle envelope sleeps";
  host.clearRecords();
  auto on = env.noteOn(2048);
  EXPECT_EQ(on.back(), 0.6f);
  auto off = env.run(1024, EventList().value(0, Dadsr::GATE, 0.0f));
  EXPECT_LT(off[0], 0.6f + 1e-6f);
  EXPECT_GT(off[0], 0.5f);
  EXPECT_EQ(off.back(), 0.0f);
  EXPECT_FALSE(env.outputStreaming());
  EXPECT_GE(host.sleepRequests, 1);
  // A new note wakes it with an attack from 0.
  auto next = env.noteOn(64);
  EXPECT_EQ(next[0], 0.0f);
  EXPECT_GT(next[63], 0.0f);
  EXPECT_TRUE(env.outputStreaming());
}

TEST(DadsrStop, SpanScaledReleaseOnCurveSixEnds) {
  TestHost host;
  Envelope env(host, 0.0f, 0.0f, 1.0f, 0.0f, 0);
  env.set(Dadsr::RELEASE_CURVE, 6, 64);
  env.noteOn(512);
  auto off = env.noteOff(512);
  EXPECT_EQ(off.back(), 0.0f);
  EXPECT_FALSE(env.outputStreaming());
  EXPECT_GE(host.sleepRequests, 1);
}

TEST(DadsrStop, ActiveOffOrLevelExactlyZeroSilencesAtOnce) {
  for (int32_t pin : {Dadsr::ACTIVE, Dadsr::LEVEL}) {
    TestHost host;
    Envelope env(host, 0.8f, 0.3f, 0.5f, 0.3f);
    auto attack = env.noteOn(256);
    ASSERT_GT(attack.back(), 0.0f);
    env.fill(pin, 0.0f);
    auto out = env.run(128, EventList().value(0, Dadsr::GATE, 1.0f));
    for (float v : out) ASSERT_EQ(v, 0.0f) << "pin " << pin;
    EXPECT_FALSE(env.outputStreaming()) << "pin " << pin;
  }
}

TEST(DadsrHold, ReleaseHoldKeepsTheLevelAndSetsTheRampDownSpeed) {
  TestHost host;
  Envelope env(host, 0.2f, 0.2f, 0.7f, 0.5f);
  env.noteOn(2048);
  env.set(Dadsr::RELEASE_HOLD, 1, 64);
  auto held = env.noteOff(2048);
  for (float v : held) ASSERT_FLOAT_EQ(v, 0.7f);
  EXPECT_TRUE(env.outputStreaming());

  env.set(Dadsr::RETRIGGER_MODE, 1, 64);
  // Trigger alone: a rising Gate would reset the level first.
  auto again = env.set(Dadsr::TRIGGER, 1, 512);
  const float decrement = 0.1f * kMaxIncrement / 0.5f;
  EXPECT_NEAR(again[0] - again[1], decrement, 1e-5f);
  // Without a delay the attack starts in the sample the ramp ends: the
  // lowest output marks the end.
  const auto lowest = std::min_element(again.begin(), again.end()) - again.begin();
  EXPECT_NEAR(lowest, 0.7f / decrement, 1.5f);

  // Hold off: the next note end releases normally.
  env.set(Dadsr::RELEASE_HOLD, 0, 2048);
  auto off = env.noteOff(2048);
  EXPECT_EQ(off.back(), 0.0f);
}

TEST(DadsrControls, OutOfRangeControlsGiveFiniteOutput) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (float bad : {nan, 1e30f, -1e30f}) {
    TestHost host;
    Envelope env(host, bad, bad, bad, bad);
    auto on = env.noteOn(256);
    auto off = env.noteOff(256);
    on.insert(on.end(), off.begin(), off.end());
    for (float v : on) ASSERT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f) << bad;
    // A huge time is clamped before 2^u: the stage is very long, not frozen.
    if (bad == 1e30f) {
      EXPECT_GT(on[255], 0.0f);
    }
  }
}

}  // namespace
