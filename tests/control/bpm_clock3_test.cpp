#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "modules/control/bpm_clock3.h"
#include "tests/support/module_harness.h"

namespace {

using Times = std::vector<int64_t>;
// Adds the events of one time, given their offset within the block.
using Events = std::function<void(EventList&, int32_t offset)>;

// A clock at 48 kHz rendered in blocks of the given lengths (repeated);
// keeps every sample read back from its buffer after each block and the
// absolute times of its static declarations.
struct ClockRig {
  TestHost host;
  AudioModule clock{host, MP_TEXT("ZV BPM Clock3")};
  std::vector<int32_t> lengths;
  size_t next = 0;
  std::vector<float> signal;
  Times statics;

  ClockRig(float tempo, int32_t division, std::vector<int32_t> blockLengths = {64}) : lengths(std::move(blockLengths)) {
    host.sampleRate = 48000.0f;
    clock.audio(BpmClock3::CLOCK);
    clock.open();
    at(0, [&](EventList& e, int32_t) {
      e.graphStart().value(0, BpmClock3::TEMPO, tempo).value(0, BpmClock3::DIVISION, division);
      e.value(0, BpmClock3::ACTIVE, 1);
    });
  }
  int64_t now() const { return static_cast<int64_t>(signal.size()); }
  // Renders whole blocks until the one holding `time`, with the events there.
  void at(int64_t time, const Events& add = nullptr) {
    for (bool done = false; !done;) {
      const int32_t frames = lengths[next++ % lengths.size()];
      EventList events;
      done = time < now() + frames;
      if (done && add) add(events, static_cast<int32_t>(time - now()));
      const size_t seen = host.streaming.size();
      clock.process(frames, events);
      for (size_t i = seen; i < host.streaming.size(); ++i)
        if (!host.streaming[i].streaming) statics.push_back(now() + host.streaming[i].position);
      const float* out = clock.audio(BpmClock3::CLOCK);
      signal.insert(signal.end(), out, out + frames);
    }
  }
  Times edgesBefore(int64_t end) const {
    Times out;
    for (int64_t i = 0; i < std::min(end, now()); ++i)
      if (signal[i] != (i == 0 ? 0.0f : signal[i - 1])) out.push_back(i);
    return out;
  }
  // The graph start and the first rise both declare at 0.
  Times staticsBefore(int64_t end) const {
    Times out;
    for (int64_t t : statics)
      if (t < end && (out.empty() || out.back() != t)) out.push_back(t);
    return out;
  }
};

TEST(BpmClock3, DivisionSetsCycleAndFrequencyWhateverTheBlocks) {
  std::mt19937 random(11);
  std::vector<int32_t> irregular(97);
  for (auto& n : irregular) n = 1 + static_cast<int32_t>(random() % 64);
  // At Division 4 the fall at 3000 lands at 56 in block 46; a short block
  // after it must not leave the old level in the rest of the buffer.
  std::vector<int32_t> shortAfterEdge(46, 64);
  shortAfterEdge.insert(shortAfterEdge.end(), {10, 64});
  const std::vector<int32_t> patterns[] = {{60}, {1}, {37}, shortAfterEdge, irregular};
  struct Case {
    float tempo;
    int32_t division;
    double frequency;
    int64_t half;   // samples high
    int64_t slack;  // an increment rounded in single precision may move an edge by one
  };
  const Case cases[] = {{120, 4, 8, 3000, 0},   {120, -2, 1, 24000, 1},
                        {120, 0, 0, 96000, 1},  {90, 1, 1.5, 16000, 1},
                        {150, 3, 7.5, 3200, 1}, {120, INT_MIN, 2.0 / 2147483648.0, int64_t{1} << 30, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.division);
    const int64_t end = std::min<int64_t>(4 * c.half + 1, 200000);
    ClockRig rig(c.tempo, c.division);
    rig.at(end);
    EXPECT_NEAR(rig.host.lastValue(BpmClock3::FREQUENCY).asFloat(), c.frequency, 1e-6 * c.frequency);
    const Times edges = rig.edgesBefore(end);
    ASSERT_EQ(static_cast<int64_t>(edges.size()), (end - 1) / c.half + 1);
    for (size_t k = 0; k < edges.size(); ++k) EXPECT_NEAR(edges[k], static_cast<int64_t>(k) * c.half, c.slack);
    EXPECT_EQ(rig.staticsBefore(end), edges) << "one static declaration per edge, at the edge";
    EXPECT_EQ(rig.host.sleepRequests, 0);
    const int64_t shortEnd = std::min<int64_t>(end, 20000);
    for (const auto& pattern : patterns) {
      ClockRig other(c.tempo, c.division, pattern);
      other.at(shortEnd);
      EXPECT_EQ(other.edgesBefore(shortEnd), rig.edgesBefore(shortEnd)) << pattern.size();
      EXPECT_EQ(other.staticsBefore(shortEnd), rig.edgesBefore(shortEnd)) << pattern.size();
    }
  }
}

TEST(BpmClock3, PositionAndResyncKeepTheClockOnTheSong) {
  struct Case {
    const char* what;
    int32_t division;
    int64_t time;
    float position;
    bool resync;
    Times edges;
  };
  const Case cases[] = {
      // At 1203 the phase is 0.2005 and position 0.0512 is 0.2048: the fall
      // comes 0.2952 × 6000 = 1771.2 samples later, without a forced edge.
      {"small drift corrected silently", 4, 1203, 0.0512f, false, {0, 2974, 5974}},
      // Half a cycle away: low now, rising after that half, then on time.
      {"position jump", 4, 1000, 10.375f, false, {0, 1000, 4000, 7000}},
      // Position 0 is a cycle's start: the rise within two samples.
      {"resync", 4, 1000, 0.0f, true, {0, 1000, 1002, 4002, 7002}},
      // 5 beats is far from the phase of an 8-beat cycle; on 4-beat cycles
      // it is 0.25, so the rise comes 0.75 × 96000 samples later, then the
      // 8-beat cycle is back: high for 96000.
      {"long cycles shortened to four beats until the rise", -8, 1000, 5.0f, false, {0, 1000, 73000, 169000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ClockRig rig(120.0f, c.division);
    rig.at(c.time, [&](EventList& e, int32_t t) {
      e.value(t, BpmClock3::POSITION, c.position);
      if (c.resync) e.value(t, BpmClock3::RESYNC, true);
    });
    rig.at(c.time + 10, [&](EventList& e, int32_t t) { e.value(t, BpmClock3::RESYNC, false); });
    const int64_t end = c.edges.back() + 1;
    rig.at(end);
    EXPECT_EQ(rig.edgesBefore(end), c.edges);
    EXPECT_EQ(rig.staticsBefore(end), c.edges);
  }
}

TEST(BpmClock3, WritesOnlyAfterEdgesAndHoldsLowWhenStopped) {
  for (float tempo : {120.0f, 1e30f}) {  // also an edge every sample
    SCOPED_TRACE(tempo);
    ClockRig rig(tempo, 4);
    rig.at(639);
    float* out = rig.clock.audio(BpmClock3::CLOCK);
    std::fill(out, out + 64, 7.0f);
    rig.at(703);
    EXPECT_EQ(out[0] == 7.0f, tempo == 120.0f) << "nothing written between edges";

    rig.at(1000, [](EventList& e, int32_t t) { e.value(t, BpmClock3::ACTIVE, 0); });
    const auto declared = rig.statics.size();
    rig.at(1999);
    EXPECT_EQ(std::count(rig.signal.begin() + 1000, rig.signal.begin() + 2000, 0.0f), 1000);
    EXPECT_EQ(rig.statics.size(), declared) << "no edge after the stop";
    EXPECT_EQ(rig.statics.back(), 1000);
    EXPECT_GE(rig.host.sleepRequests, 1);

    rig.at(2100, [](EventList& e, int32_t t) { e.value(t, BpmClock3::ACTIVE, 1); });
    EXPECT_EQ(rig.edgesBefore(2101).back(), 2100) << "a restarted clock rises at once";
  }
}

TEST(BpmClock3, AnyTempoDivisionOrPositionEndsEveryBlock) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float tempo;
    int32_t division;
    float position;  // at 500 (with Resync if asked) and 1500
    bool resync;
    int64_t fewestEdges, mostEdges;  // in 2000 samples
  };
  const Case cases[] = {
      {nan, 4, 0, true, 0, 0},
      {inf, 4, 0, true, 0, 0},
      {0, 4, 0, true, 0, 0},
      {-120, 4, 0, false, 0, 0},
      {std::numeric_limits<float>::max(), INT_MAX, 0, true, 0, 0},
      {1e-30f, 4, 0, false, 1, 1},  // the next edge beyond any integer count
      {1e30f, 4, 0, true, 1900, 2000},
      {120, 4, nan, false, 1, 1},
      {120, 4, nan, true, 2, 2},  // a resync without a position: low until the cycle ends
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.tempo << " " << c.division << " " << c.position);
    ClockRig rig(c.tempo, c.division);
    rig.at(500, [&](EventList& e, int32_t t) {
      e.value(t, BpmClock3::POSITION, c.position);
      if (c.resync) e.value(t, BpmClock3::RESYNC, true);
    });
    rig.at(1500, [&](EventList& e, int32_t t) { e.value(t, BpmClock3::POSITION, c.position); });
    rig.at(1999);
    const auto edges = static_cast<int64_t>(rig.edgesBefore(2000).size());
    EXPECT_GE(edges, c.fewestEdges);
    EXPECT_LE(edges, c.mostEdges);
    const auto levels = std::count(rig.signal.begin(), rig.signal.begin() + 2000, 0.0f) +
                        std::count(rig.signal.begin(), rig.signal.begin() + 2000, 1.0f);
    EXPECT_EQ(levels, 2000);
  }
}

}  // namespace
