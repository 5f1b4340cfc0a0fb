#include "modules/control/rnd_voice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include "tests/support/module_harness.h"

namespace {

constexpr float kSignal = 0.8f;

struct Voice {
  TestHost host;
  std::unique_ptr<AudioModule> module;

  explicit Voice(int32_t random, float range = 0.5f, float offset = 0.2f) {
    host.blockSize = 16;
    module = std::make_unique<AudioModule>(host, MP_TEXT("ZV51MODS VOICE ID"));
    module->fill(RndVoice::SIGNAL, kSignal);
    module->audio(RndVoice::OUTPUT);
    module->open();
    module->process(16, EventList()
                            .graphStart()
                            .value(0, RndVoice::RANDOM, random)
                            .value(0, RndVoice::RANGE, range)
                            .value(0, RndVoice::OFFSET, offset)
                            .value(0, RndVoice::ACTIVE, int32_t{1})
                            .streaming(0, RndVoice::SIGNAL, true));
  }
  // The level applied after these events, read off the output.
  float levelAfter(EventList& events) {
    module->process(16, events);
    const float* out = module->audio(RndVoice::OUTPUT);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(out[i], out[0]) << "one level per note";
    return out[15] / kSignal;
  }
  float levelAfter(EventList&& events) { return levelAfter(events); }
  float note() {
    levelAfter(EventList().value(0, RndVoice::GATE, 0.0f));
    return levelAfter(EventList().value(0, RndVoice::GATE, 1.0f));
  }
};

TEST(RndVoice, RandomLevelsSpreadOverRangeFromOffset) {
  Voice v(1);
  std::set<float> levels;
  for (int n = 0; n < 200; ++n) {
    const float level = v.note();
    EXPECT_GE(level, 0.2f - 1e-6f);
    EXPECT_LE(level, 0.7f + 1e-6f);
    levels.insert(level);
  }
  EXPECT_GT(levels.size(), 150u) << "levels are drawn, not repeated";
  EXPECT_LT(*levels.begin(), 0.3f);
  EXPECT_GT(*levels.rbegin(), 0.6f);
}

TEST(RndVoice, SameLevelsEveryTimeWhateverElseUsesTheCGenerator) {
  Voice first(1), second(1);
  for (int n = 0; n < 20; ++n) {
    std::srand(static_cast<unsigned>(n));
    for (int r = 0; r < n; ++r) static_cast<void>(std::rand());
    EXPECT_EQ(first.note(), second.note()) << "note " << n;
  }
}

TEST(RndVoice, WithoutRandomEveryNoteGetsATenth) {
  for (int32_t random : {0, 2, -1}) {
    Voice v(random);
    for (int n = 0; n < 5; ++n) EXPECT_FLOAT_EQ(v.note(), 0.1f) << random;
  }
}

TEST(RndVoice, OnlyANewGateAboveZeroWhileActiveSetsALevel) {
  Voice v(1);
  const float level = v.note();
  EXPECT_EQ(v.levelAfter(EventList().value(0, RndVoice::RANGE, 0.1f)), level) << "other pins keep the level";
  const float retriggered = v.levelAfter(EventList().value(0, RndVoice::GATE, 0.5f));
  EXPECT_NE(retriggered, level) << "a new gate value draws again";

  v.host.clearRecords();
  EXPECT_EQ(v.levelAfter(EventList().value(0, RndVoice::GATE, 0.0f)), 0.0f);
  EXPECT_FALSE(v.host.streamingOn(RndVoice::OUTPUT).back().streaming);
  EXPECT_GT(v.host.sleepRequests, 0);

  v.note();
  EXPECT_EQ(v.levelAfter(EventList().value(0, RndVoice::ACTIVE, int32_t{0})), 0.0f) << "inactive";
  EXPECT_EQ(v.levelAfter(EventList().value(0, RndVoice::GATE, 1.0f)), 0.0f) << "a gate while inactive";
  EXPECT_EQ(v.levelAfter(EventList().value(0, RndVoice::GATE, std::numeric_limits<float>::quiet_NaN())), 0.0f);
}

TEST(RndVoice, OutputStaysFiniteAndStaticSilenceIsZero) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Voice v(1, nan, 0.0f);
  EXPECT_EQ(v.note(), 0.0f) << "a NaN range gives no level rather than NaN";
  v.module->fill(RndVoice::SIGNAL, std::numeric_limits<float>::infinity());
  v.levelAfter(EventList().value(0, RndVoice::GATE, 0.0f));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(v.module->audio(RndVoice::OUTPUT)[i], 0.0f);
}

}  // namespace
