#include "modules/control/voice_mute.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/module_harness.h"

namespace {

constexpr int32_t kBlock = 64;
const MpString kFastName = MP_TEXT("VoiceMute:FadeCurveFast");
const MpString kSlowName = MP_TEXT("VoiceMute:FadeCurveSlow");

// The fade written as a cosine, in double precision: same curve, other road.
double rise(int32_t i, int32_t length) { return 0.5 - 0.5 * std::cos(std::numbers::pi * i / length); }

struct Change {
  int32_t at;  // absolute sample
  enum Kind { ACTIVE, STREAMING, LEGACY } kind;
  float value;
};

struct Rendered {
  std::vector<float> out;
  std::vector<std::pair<int32_t, bool>> streaming;  // absolute position, state
};

// One voice through the module, or straight through when mute is false
// (the voice's signal simply stops when it is stolen).
struct MuteRun {
  TestHost host;
  std::unique_ptr<AudioModule> module;

  explicit MuteRun(float rate = 44100.0f) {
    host.blockSize = kBlock;
    host.sampleRate = rate;
    module = std::make_unique<AudioModule>(host, MP_TEXT("SE Voice Mute"));
    module->audio(VoiceMute::INPUT1);
    module->audio(VoiceMute::OUTPUT);
  }

  Rendered render(int32_t samples, const std::vector<Change>& changes, const std::function<float(int32_t)>& input) {
    module->open();
    Rendered r;
    for (int32_t start = 0; start < samples; start += kBlock) {
      float* in = module->audio(VoiceMute::INPUT1);
      for (int32_t i = 0; i < kBlock; ++i) in[i] = input(start + i);
      EventList events;
      if (start == 0) events.graphStart();
      for (const Change& c : changes) {
        if (c.at < start || c.at >= start + kBlock) continue;
        const int32_t t = c.at - start;
        if (c.kind == Change::ACTIVE) events.value(t, VoiceMute::VOICE_ACTIVE, c.value);
        if (c.kind == Change::STREAMING) events.streaming(t, VoiceMute::INPUT1, c.value != 0.0f);
        if (c.kind == Change::LEGACY) events.value(t, VoiceMute::LEGACY_MODE, c.value != 0.0f);
      }
      host.clearRecords();
      module->process(kBlock, events);
      const float* out = module->audio(VoiceMute::OUTPUT);
      r.out.insert(r.out.end(), out, out + kBlock);
      for (const SentStreaming& s : host.streamingOn(VoiceMute::OUTPUT)) r.streaming.emplace_back(start + s.position, s.streaming);
    }
    return r;
  }
};

float one(int32_t) { return 1.0f; }

TEST(VoiceMuteCurve, RisesFromExactlyZeroToExactlyOneAsACosine) {
  for (int32_t length : {1, 2, 220, 882, 1000}) {
    EXPECT_EQ(zv::control::raisedSine(0, length), 0.0f) << length;
    EXPECT_EQ(zv::control::raisedSine(length, length), 1.0f) << length;
    float previous = 0.0f;
    for (int32_t i = 0; i <= length; ++i) {
      const float v = zv::control::raisedSine(i, length);
      EXPECT_NEAR(v, rise(i, length), 2e-7) << i << " of " << length;
      EXPECT_GE(v, previous);
      previous = v;
    }
  }
}

// Stolen voices (Voice/Active below 0) fade in 5 ms, released ones (0) in
// 20 ms: the last faded sample is 0 and the output goes static right after.
TEST(VoiceMute, FadeLengthsFollowTheSampleRate) {
  struct Case {
    float rate;
    float state;
    int32_t length;
  };
  const Case cases[] = {{44100.0f, -1.0f, 220}, {44100.0f, 0.0f, 882}, {48000.0f, -0.5f, 240},
                        {48000.0f, 0.0f, 960},  {96000.0f, -1.0f, 480}, {22050.0f, 0.0f, 441}};
  for (const Case& c : cases) {
    MuteRun run(c.rate);
    const int32_t end = 100;
    const Rendered r = run.render(end + c.length + 2 * kBlock,
                                  {{0, Change::STREAMING, 1}, {3, Change::ACTIVE, 1}, {end, Change::ACTIVE, c.state}}, one);
    for (int32_t j = 0; j < c.length; ++j) {
      EXPECT_NEAR(r.out[static_cast<size_t>(end + j)], rise(c.length - 1 - j, c.length), 2e-6) << c.rate << " " << j;
    }
    EXPECT_GT(r.out[static_cast<size_t>(end + c.length - 2)], 0.0f) << c.rate;
    for (size_t t = static_cast<size_t>(end + c.length - 1); t < r.out.size(); ++t) ASSERT_EQ(r.out[t], 0.0f) << t;
    ASSERT_FALSE(r.streaming.empty());
    EXPECT_EQ(r.streaming.back(), std::make_pair(end + c.length, false)) << c.rate << " " << c.state;
  }
}

TEST(VoiceMute, ComingBackDuringAFadePassesAtOnce) {
  MuteRun run;
  const Rendered r = run.render(
      4 * kBlock, {{0, Change::STREAMING, 1}, {1, Change::ACTIVE, 1}, {70, Change::ACTIVE, 0}, {90, Change::ACTIVE, 1}},
      [](int32_t t) { return 0.5f + 0.001f * static_cast<float>(t); });
  EXPECT_LT(r.out[89], 0.5f + 0.089f) << "fading";
  for (int32_t t = 90; t < 4 * kBlock; ++t) EXPECT_EQ(r.out[static_cast<size_t>(t)], 0.5f + 0.001f * static_cast<float>(t));
  EXPECT_TRUE(r.streaming.back().second);
}

TEST(VoiceMute, LegacyModeHoldsThreeSamplesOfEachOnsetAtZero) {
  for (bool inputStreams : {true, false}) {
    MuteRun run;
    const Rendered r = run.render(2 * kBlock,
                                  {{0, Change::STREAMING, inputStreams ? 1.0f : 0.0f},
                                   {0, Change::LEGACY, 1},
                                   {10, Change::ACTIVE, 1}},
                                  one);
    for (int32_t t = 10; t < 13; ++t) EXPECT_EQ(r.out[static_cast<size_t>(t)], 0.0f) << t;
    for (int32_t t = 13; t < 2 * kBlock; ++t) EXPECT_EQ(r.out[static_cast<size_t>(t)], 1.0f) << t;
    EXPECT_EQ(r.streaming.back(), std::make_pair(inputStreams ? 10 : 13, inputStreams)) << "follows the input";
  }
  MuteRun plain;
  const Rendered r = plain.render(kBlock, {{0, Change::STREAMING, 1}, {10, Change::ACTIVE, 1}}, one);
  EXPECT_EQ(r.out[10], 1.0f) << "without legacy mode the onset passes at once";
}

// A voice stolen at the top of a sine: cut straight off, it steps by the
// whole amplitude; faded, no step is much larger than the sine's own.
TEST(VoiceMute, StolenVoiceFadesWithoutAClick) {
  auto sine = [](int32_t t) { return static_cast<float>(std::sin(2.0 * std::numbers::pi * (t + 25) / 100.0)); };
  const int32_t steal = 300;  // a crest
  auto largestStep = [](const std::vector<float>& v) {
    float step = 0.0f;
    for (size_t t = 1; t < v.size(); ++t) step = std::max(step, std::fabs(v[t] - v[t - 1]));
    return step;
  };
  std::vector<float> cut;
  for (int32_t t = 0; t < 10 * kBlock; ++t) cut.push_back(t < steal ? sine(t) : 0.0f);

  MuteRun run;
  const Rendered muted = run.render(10 * kBlock,
                                    {{0, Change::STREAMING, 1}, {0, Change::ACTIVE, 1}, {steal, Change::ACTIVE, -1}}, sine);
  const float ownStep = 2.0f * std::sin(static_cast<float>(std::numbers::pi) / 100.0f);
  EXPECT_GT(largestStep(cut), 0.99f);
  EXPECT_LT(largestStep(muted.out), 1.2f * ownStep);
  EXPECT_LT(largestStep(muted.out), largestStep(cut) / 5.0f);
}

TEST(VoiceMute, CurvesAreSharedPerRateAndWrittenWhole) {
  TestHost host;
  AudioModule a(host, MP_TEXT("SE Voice Mute")), b(host, MP_TEXT("SE Voice Mute"));
  a.open();
  b.open();
  host.sampleRate = 48000.0f;
  AudioModule c(host, MP_TEXT("SE Voice Mute"));
  c.open();
  EXPECT_EQ(host.namedMemoryOpenCount(kFastName, 44100.0f), 2);
  EXPECT_EQ(host.namedMemoryOpenCount(kSlowName, 48000.0f), 1);
  for (const auto& [name, rate, length] : {std::tuple{kFastName, 44100.0f, 220}, std::tuple{kSlowName, 44100.0f, 882},
                                           std::tuple{kFastName, 48000.0f, 240}}) {
    const float* curve = host.namedMemory(name, rate);
    ASSERT_NE(curve, nullptr);
    // The host hands memory out as NaN: every entry must have been written.
    for (int32_t i = 0; i <= length; ++i) ASSERT_NEAR(curve[i], rise(i, length), 2e-7) << i;
  }
}

// A curve is filled when its own block is new, whichever other block an
// earlier user made.
TEST(VoiceMute, EachCurveIsFilledWhenItsOwnBlockIsNew) {
  for (bool fastExists : {true, false}) {
    TestHost host;
    const MpString& existing = fastExists ? kFastName : kSlowName;
    const int32_t existingLength = fastExists ? 220 : 882;
    void* block = nullptr;
    int32_t isNew = 0;
    host.openNamedMemory(existing.c_str(), &block, 44100.0f, existingLength + 1, &isNew);
    ASSERT_EQ(isNew, 1);
    std::fill_n(static_cast<float*>(block), existingLength + 1, 0.25f);

    AudioModule mute(host, MP_TEXT("SE Voice Mute"));
    mute.open();
    const float* made = host.namedMemory(fastExists ? kSlowName : kFastName, 44100.0f);
    const int32_t madeLength = fastExists ? 882 : 220;
    for (int32_t i = 0; i <= madeLength; ++i) ASSERT_NEAR(made[i], rise(i, madeLength), 2e-7) << fastExists << " " << i;
    EXPECT_EQ(host.namedMemory(existing, 44100.0f)[7], 0.25f) << "a block made earlier is left as it is";
  }
}

TEST(VoiceMute, UnusableSampleRatesStillFadeToSilence) {
  for (float rate : {0.0f, -44100.0f, 1e12f}) {
    MuteRun run(rate);
    // The highest rates are held at a fade of 2^14 samples.
    const Rendered r = run.render((1 << 14) + 2 * kBlock,
                                  {{0, Change::STREAMING, 1}, {0, Change::ACTIVE, 1}, {5, Change::ACTIVE, -1}}, one);
    for (float v : r.out) ASSERT_TRUE(std::isfinite(v)) << rate;
    EXPECT_EQ(r.out.back(), 0.0f) << rate;
    EXPECT_FALSE(r.streaming.back().second) << rate;
  }
}

}  // namespace
