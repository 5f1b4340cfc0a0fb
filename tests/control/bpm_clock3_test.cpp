#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "modules/control/bpm_clock3.h"
#include "tests/support/module_harness.h"

namespace {

using Events = std::function<void(EventList&, int32_t offset)>;

// Runs one clock and keeps every sample it rendered, read back from its
// buffer after each block, with the absolute times at which it declared
// the Clock static.
struct ClockRig {
  TestHost host;
  std::unique_ptr<AudioModule> clock;
  std::vector<float> signal;
  std::vector<int64_t> statics;
  std::vector<int32_t> pattern;  // block lengths, repeated; empty: full blocks
  size_t next = 0;

  explicit ClockRig(int32_t blockSize = 64) {
    host.blockSize = blockSize;
    host.sampleRate = 48000.0f;
    clock = std::make_unique<AudioModule>(host, MP_TEXT("ZV BPM Clock3"));
    clock->audio(BpmClock3::CLOCK);
    clock->open();
  }
  int64_t now() const { return static_cast<int64_t>(signal.size()); }

  void block(int32_t frames, EventList& events) {
    const size_t seen = host.streaming.size();
    clock->process(frames, events);
    const float* out = clock->audio(BpmClock3::CLOCK);
    for (size_t i = seen; i < host.streaming.size(); ++i) {
      if (host.streaming[i].pin == BpmClock3::CLOCK && !host.streaming[i].streaming) {
        statics.push_back(now() + host.streaming[i].position);
      }
    }
    signal.insert(signal.end(), out, out + frames);
  }
  int32_t nextFrames() {
    if (pattern.empty()) return host.blockSize;
    return pattern[next++ % pattern.size()];
  }
  // Renders up to `time`, then delivers the events at that time.
  void at(int64_t time, const Events& add) {
    for (;;) {
      const int32_t frames = nextFrames();
      EventList events;
      const bool here = time < now() + frames;
      if (here) add(events, static_cast<int32_t>(time - now()));
      block(frames, events);
      if (here) return;
    }
  }
  void runTo(int64_t end) {
    while (now() < end) {
      EventList none;
      block(nextFrames(), none);
    }
  }
  void start(float tempo, int32_t division, int32_t active = 1) {
    at(0, [&](EventList& e, int32_t t) {
      e.graphStart(t).value(t, BpmClock3::TEMPO, tempo).value(t, BpmClock3::DIVISION, division);
      e.value(t, BpmClock3::ACTIVE, active);
    });
  }
  // Static declarations, one per time (the graph start and the first rise
  // both declare at 0).
  std::vector<int64_t> staticTimes() const {
    std::vector<int64_t> out = statics;
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  }
  // Times at which the level changed, the start counting as a change from 0.
  std::vector<int64_t> edges() const {
    std::vector<int64_t> out;
    float previous = 0.0f;
    for (size_t i = 0; i < signal.size(); ++i) {
      if (signal[i] != previous) out.push_back(static_cast<int64_t>(i));
      previous = signal[i];
    }
    return out;
  }
  float frequency() const { return host.lastValue(BpmClock3::FREQUENCY).asFloat(); }
};

// 120 beats per minute, four cycles per beat, 48 kHz: 6000-sample cycles,
// high for the first 3000.
std::vector<int64_t> quarterBeatEdges(int64_t until) {
  std::vector<int64_t> out;
  for (int64_t t = 0; t < until; t += 3000) out.push_back(t);
  return out;
}

TEST(BpmClock3, QuarterBeatsAt120AreSixThousandSamplesWhateverTheBlocks) {
  struct Blocks {
    const char* what;
    int32_t blockSize;
    std::vector<int32_t> pattern;
  };
  std::mt19937 random(11);
  std::vector<int32_t> irregular;
  for (int i = 0; i < 97; ++i) irregular.push_back(1 + static_cast<int32_t>(random() % 64));
  // The falling edge at 3000 lands at 56 in block 46 of 64; a short block
  // after it must not leave the old level in the rest of the buffer.
  std::vector<int32_t> shortAfterEdge(46, 64);
  shortAfterEdge.push_back(10);
  shortAfterEdge.push_back(64);
  const Blocks cases[] = {
      {"full blocks of 64", 64, {}},
      {"blocks of 60: edges at a block's first sample", 60, {}},
      {"single samples", 64, {1}},
      {"odd blocks", 37, {}},
      {"a short block after an edge", 64, shortAfterEdge},
      {"irregular blocks", 64, irregular},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ClockRig rig(c.blockSize);
    rig.pattern = c.pattern;
    rig.start(120.0f, 4);
    rig.runTo(20000);
    rig.signal.resize(20000);
    EXPECT_EQ(rig.edges(), quarterBeatEdges(20000));
    EXPECT_EQ(rig.staticTimes(), quarterBeatEdges(20000)) << "one static declaration per edge, at the edge";
    EXPECT_FLOAT_EQ(rig.frequency(), 8.0f);
    EXPECT_EQ(rig.host.sleepRequests, 0) << "a running clock stays awake";
  }
}

TEST(BpmClock3, DivisionSetsCycleLengthAndFrequency) {
  struct Case {
    float tempo;
    int32_t division;
    float frequency;
    int64_t halfCycle;  // samples
  };
  const Case cases[] = {
      {120.0f, 4, 8.0f, 3000},    {120.0f, -2, 1.0f, 24000}, {120.0f, 0, 0.0f, 96000},  // 8 beats
      {90.0f, 1, 1.5f, 16000},    {60.0f, -1, 1.0f, 24000},  {150.0f, 3, 7.5f, 3200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.division);
    ClockRig rig;
    rig.start(c.tempo, c.division);
    rig.runTo(2 * c.halfCycle + 1);
    // Increments rounded up in single precision may bring an edge one sample early.
    const auto edges = rig.edges();
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_EQ(edges[0], 0);
    EXPECT_NEAR(edges[1], c.halfCycle, 1);
    EXPECT_NEAR(edges[2], 2 * c.halfCycle, 1);
    EXPECT_NEAR(rig.frequency(), c.frequency, 1e-6f);
  }
  ClockRig widest;
  widest.start(120.0f, INT_MIN);
  EXPECT_NEAR(widest.frequency(), 2.0 / 2147483648.0, 1e-15) << "two beats a second over 2^31 beats";
}

TEST(BpmClock3, SmallPositionDriftIsCorrectedSilently) {
  ClockRig rig;
  rig.start(120.0f, 4);
  // At 1203 the phase is 0.2005; position 0.0512 beats is 0.2048 cycles.
  rig.at(1203, [](EventList& e, int32_t t) { e.value(t, BpmClock3::POSITION, 0.0512f); });
  rig.runTo(6000);
  // The rest of the half cycle, 0.2952 cycles, is 1771.2 samples.
  EXPECT_EQ(rig.edges(), (std::vector<int64_t>{0, 1203 + 1771, 1203 + 1771 + 3000}));
  EXPECT_EQ(rig.staticTimes(), rig.edges());
}

TEST(BpmClock3, PositionJumpDropsToLowAndRestartsAtThePositionsPhase) {
  ClockRig rig;
  rig.start(120.0f, 4);
  // Position 10.375 beats is half a cycle: low now, rising when that
  // half is over, then on time.
  rig.at(1000, [](EventList& e, int32_t t) { e.value(t, BpmClock3::POSITION, 10.375f); });
  rig.runTo(10001);
  EXPECT_EQ(rig.edges(), (std::vector<int64_t>{0, 1000, 4000, 7000, 10000}));
  EXPECT_EQ(rig.staticTimes(), rig.edges());
}

TEST(BpmClock3, ResyncRestartsTheCycleWithinTwoSamples) {
  ClockRig rig;
  rig.start(120.0f, 4);
  rig.at(1000, [](EventList& e, int32_t t) { e.value(t, BpmClock3::RESYNC, true); });
  rig.at(5000, [](EventList& e, int32_t t) { e.value(t, BpmClock3::RESYNC, false); });
  rig.runTo(7003);
  EXPECT_EQ(rig.edges(), (std::vector<int64_t>{0, 1000, 1002, 4002, 7002}));
}

TEST(BpmClock3, ResynchronisingShortensLongCyclesToFourBeatsUntilTheNextRise) {
  ClockRig rig;
  rig.start(120.0f, -8);
  // Position 5 beats: 0.625 of an 8-beat cycle is far from the phase, so
  // the clock resynchronises on 4-beat cycles, where 5 beats is 0.25.
  rig.at(1000, [](EventList& e, int32_t t) { e.value(t, BpmClock3::POSITION, 5.0f); });
  rig.runTo(169001);
  // 0.75 of a 4-beat cycle (2 s) to the rise, then half an 8-beat cycle high.
  EXPECT_EQ(rig.edges(), (std::vector<int64_t>{0, 1000, 1000 + 72000, 1000 + 72000 + 96000}));
}

TEST(BpmClock3, WritesNothingBetweenEdgesOnceTheBufferHoldsTheLevel) {
  ClockRig rig;
  rig.start(120.0f, 4);
  rig.runTo(640);
  float* out = rig.clock->audio(BpmClock3::CLOCK);
  std::fill(out, out + 64, 7.0f);
  rig.runTo(704);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(out[i], 7.0f) << i;
}

TEST(BpmClock3, StoppingHoldsTheOutputLowAndSleeps) {
  for (float tempo : {120.0f, 1e30f}) {  // also edges every sample
    SCOPED_TRACE(tempo);
    ClockRig rig;
    rig.start(tempo, 4);
    rig.at(1000, [](EventList& e, int32_t t) { e.value(t, BpmClock3::ACTIVE, 0); });
    const auto edgesAtStop = rig.statics.size();
    rig.runTo(2000);
    for (int64_t i = 1000; i < 2000; ++i) ASSERT_EQ(rig.signal[i], 0.0f) << i;
    EXPECT_EQ(rig.statics.size(), edgesAtStop) << "no edge after the stop";
    EXPECT_EQ(rig.statics.back(), 1000);
    EXPECT_GE(rig.host.sleepRequests, 1);

    rig.at(2100, [](EventList& e, int32_t t) { e.value(t, BpmClock3::ACTIVE, 1); });
    rig.runTo(2200);
    EXPECT_EQ(rig.signal[2100], 1.0f) << "a restarted clock rises at once";
    EXPECT_EQ(rig.signal[2099], 0.0f);
  }
}

TEST(BpmClock3, AnyTempoDivisionOrPositionEndsEveryBlock) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float largest = std::numeric_limits<float>::max();
  struct Case {
    const char* what;
    float tempo;
    int32_t division;
    float position;  // sent at 500 and 1500
    bool resync;     // with the first
    int64_t fewestEdges, mostEdges;  // in 2000 samples
  };
  const Case cases[] = {
      {"NaN tempo holds", nan, 4, 0.0f, true, 0, 0},
      {"infinite tempo holds", inf, 4, 0.0f, true, 0, 0},
      {"negative infinity holds", -inf, 4, 0.0f, false, 0, 0},
      {"tempo 0 holds", 0.0f, 4, 0.0f, true, 0, 0},
      {"negative tempo holds", -120.0f, 4, 0.0f, false, 0, 0},
      {"an increment overflowing to infinity holds", largest, INT_MAX, 0.0f, true, 0, 0},
      {"tiny tempo: one rise", 1e-30f, 4, 0.0f, false, 1, 1},
      {"tempo 0.005: one rise", 0.005f, 4, 0.0f, false, 1, 1},
      {"2^31 beats a cycle: one rise", 120.0f, INT_MIN, 0.0f, false, 1, 1},
      {"huge tempo: about an edge a sample", 1e30f, 4, 0.0f, true, 1900, 2000},
      {"largest tempo: about an edge a sample", largest, 1, 0.0f, false, 1900, 2000},
      {"NaN position leaves the phase", 120.0f, 4, nan, false, 1, 1},
      {"infinite position leaves the phase", 120.0f, 4, -inf, false, 1, 1},
      {"NaN position with resync: low until the cycle ends", 120.0f, 4, nan, true, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ClockRig rig;
    rig.start(c.tempo, c.division);
    rig.at(500, [&](EventList& e, int32_t t) {
      e.value(t, BpmClock3::POSITION, c.position);
      if (c.resync) e.value(t, BpmClock3::RESYNC, true);
    });
    rig.at(1500, [&](EventList& e, int32_t t) { e.value(t, BpmClock3::POSITION, c.position); });
    rig.runTo(2000);
    rig.signal.resize(2000);
    const auto edges = static_cast<int64_t>(rig.edges().size());
    EXPECT_GE(edges, c.fewestEdges);
    EXPECT_LE(edges, c.mostEdges);
    for (float v : rig.signal) ASSERT_TRUE(v == 0.0f || v == 1.0f) << v;
  }
}

}  // namespace
