#include "modules/control/rnd_voice.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <set>

#include "tests/support/module_harness.h"

namespace {

constexpr float kSignal = 0.8f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

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
  // The level applied after one event, read off the output.
  template <class T>
  float levelAfter(int32_t pin, T value) {
    module->process(16, EventList().value(0, pin, value));
    const float* out = module->audio(RndVoice::OUTPUT);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(out[i], out[0]) << "one level per note";
    return out[15] / kSignal;
  }
  float note() {
    levelAfter(RndVoice::GATE, 0.0f);
    return levelAfter(RndVoice::GATE, 1.0f);
  }
};

// The voices of a patch are instances of their own: their notes must not
// repeat one another's levels.
TEST(RndVoice, LevelsAreDrawnOverRangeFromOffsetAndDifferFromVoiceToVoice) {
  Voice first(1), second(1);
  std::set<float> levels;
  int sameAsOtherVoice = 0;
  for (int n = 0; n < 200; ++n) {
    const float level = first.note();
    if (level == second.note()) ++sameAsOtherVoice;
    levels.insert(level);
  }
  EXPECT_LT(sameAsOtherVoice, 3);
  EXPECT_GT(levels.size(), 150u);
  EXPECT_GE(*levels.begin(), 0.2f - 1e-6f);
  EXPECT_LT(*levels.begin(), 0.3f);
  EXPECT_LE(*levels.rbegin(), 0.7f + 1e-6f);
  EXPECT_GT(*levels.rbegin(), 0.6f);
}

TEST(RndVoice, WithoutRandomEveryNoteGetsATenth) {
  for (int32_t random : {0, 2, -1}) {
    Voice fixed(random);
    for (int n = 0; n < 3; ++n) EXPECT_FLOAT_EQ(fixed.note(), 0.1f) << random;
  }
}

TEST(RndVoice, OnlyANewGateAboveZeroWhileActiveGivesALevel) {
  Voice v(1);
  const float level = v.note();
  EXPECT_EQ(v.levelAfter(RndVoice::RANGE, 0.1f), level) << "other pins keep the level";
  EXPECT_NE(v.levelAfter(RndVoice::GATE, 0.5f), level) << "a new gate value draws again";

  v.host.clearRecords();
  EXPECT_EQ(v.levelAfter(RndVoice::GATE, 0.0f), 0.0f);
  EXPECT_FALSE(v.host.streamingOn(RndVoice::OUTPUT).back().streaming);
  EXPECT_GT(v.host.sleepRequests, 0);

  v.note();
  EXPECT_EQ(v.levelAfter(RndVoice::ACTIVE, int32_t{0}), 0.0f);
  EXPECT_EQ(v.levelAfter(RndVoice::GATE, 1.0f), 0.0f) << "a gate while inactive";
  EXPECT_EQ(v.levelAfter(RndVoice::ACTIVE, int32_t{1}), 0.0f) << "waits for the next gate";
  EXPECT_EQ(v.levelAfter(RndVoice::GATE, kNaN), 0.0f);
}

TEST(RndVoice, OddInputsGiveZeroNotNaN) {
  Voice v(1, kNaN, 0.0f);
  EXPECT_EQ(v.note(), 0.0f) << "a NaN range";
  v.module->fill(RndVoice::SIGNAL, std::numeric_limits<float>::infinity());
  v.levelAfter(RndVoice::GATE, 0.0f);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(v.module->audio(RndVoice::OUTPUT)[i], 0.0f) << "silence is zeros";
}

}  // namespace
