#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "modules/effects/delay_trois.h"
#include "tests/support/module_harness.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

int32_t peakIndex(const std::vector<float>& v) {
  auto louder = [](float a, float b) { return std::fabs(a) < std::fabs(b); };
  return static_cast<int32_t>(std::max_element(v.begin(), v.end(), louder) - v.begin());
}

TEST(DelayTroisControls, FeedbackAndDistanceStayInsideTheirLimits) {
  EXPECT_FLOAT_EQ(zv::effects::delayFeedback(kNaN), 0.0001f);
  EXPECT_FLOAT_EQ(zv::effects::delayFeedback(-kInf), -0.9901f);
  EXPECT_FLOAT_EQ(zv::effects::delayFeedback(0.0f), 0.0001f);
  EXPECT_FLOAT_EQ(zv::effects::delayFeedback(1.0f), 0.9901f);
  EXPECT_FLOAT_EQ(zv::effects::delayFeedback(-0.5f), -0.5001f);
  EXPECT_EQ(zv::effects::delayDistance(10.0f, 1e30f, 0.499f, 1000), 999.0);
  EXPECT_EQ(zv::effects::delayDistance(10.0f, -kInf, kNaN, 1000), 1.0);
}

struct DelayTroisTest : ::testing::Test {
  TestHost host;
  DelayTrois* delay = nullptr;
  std::unique_ptr<AudioModule> module;
  std::unique_ptr<EventList> pending = std::make_unique<EventList>();  // goes with the next block
  std::vector<float> left, delayed;

  void SetUp() override {
    host.sampleRate = 1000.0f;  // 10 samples per unit of Time, a line of 10000
    delay = new DelayTrois(host.unknown());
    module = std::make_unique<AudioModule>(host, delay);
    const float inputs[] = {0, 0, 0, 0, 1, 0.5f, 0, 1, kNaN, kNaN, kNaN};  // Level, Pan, Volume set
    for (int pin = DelayTrois::SIGNAL; pin <= DelayTrois::DELAY_OUT; ++pin) module->fill(pin, inputs[pin]);
    module->open();
  }
  void set(int pin, float v) { module->fill(pin, v); }
  // Switches on afresh (off for a block first when running).
  void start(int32_t interpolation = 0) {
    if (delay->isRunning()) pending->value(0, DelayTrois::ON, 0), render(1);
    pending->graphStart().value(0, DelayTrois::ON, 1).value(0, DelayTrois::INTERPOLATION, interpolation);
  }
  void render(
      int32_t blocks, const std::function<float(int64_t)>& signal = [](int64_t n) { return n == 0; }) {
    left.clear(), delayed.clear();
    for (int32_t b = 0; b < blocks; ++b) {
      float* in = module->audio(DelayTrois::SIGNAL);
      for (int32_t i = 0; i < host.blockSize; ++i) in[i] = signal(b * host.blockSize + i);
      module->process(host.blockSize, *pending);
      pending = std::make_unique<EventList>();
      left.insert(left.end(), module->audio(DelayTrois::LEFT_OUT), module->audio(DelayTrois::LEFT_OUT) + 64);
      delayed.insert(delayed.end(), module->audio(DelayTrois::DELAY_OUT), module->audio(DelayTrois::DELAY_OUT) + 64);
    }
  }
};

TEST_F(DelayTroisTest, TimeOffsetFeedbackPanAndInterpolation) {
  start();
  render(1);
  EXPECT_EQ(peakIndex(delayed), 2) << "Time 0 is two samples";
  EXPECT_FLOAT_EQ(left[2], std::sqrt(0.5f) + 1e-7f);
  EXPECT_FLOAT_EQ(delayed[5], 0.0001f) << "y re-enters on the next write: echoes every 3 samples";

  const struct {
    float time, offset, expected;
  } cases[] = {{1.0f, 0.0f, 12.0f},
               {1.0f, 0.499f, 12.0f + 0.998f * 11.0f},
               {1.0f, -0.499f, 1.0f + 0.002f * 11.0f},
               {1.0f, 4.0f, 12.0f + 0.998f * 11.0f},
               {3.37f, 0.25f, 35.7f * 1.5f - 0.5f}};
  for (const auto& c : cases) {
    set(DelayTrois::TIME, c.time), set(DelayTrois::TIME_OFFSET, c.offset);
    start();
    render(2);
    // Centre of the first echo; the next, at 0.0001, lies beyond the window.
    double sum = 0.0, moment = 0.0;
    for (size_t i = 0; i < static_cast<size_t>(c.expected * 1.5f + 2.0f); ++i) {
      sum += delayed[i], moment += delayed[i] * static_cast<double>(i);
    }
    EXPECT_NEAR(moment / sum, c.expected, 1e-4) << c.time << " " << c.offset;
  }

  set(DelayTrois::TIME, 0.0f), set(DelayTrois::TIME_OFFSET, 0.0f);
  set(DelayTrois::FEEDBACK, -1.0f), set(DelayTrois::PAN, 7.0f), set(DelayTrois::VOLUME, 0.5f);
  start(1);
  render(1);
  EXPECT_FLOAT_EQ(delayed[2], 0.95f);
  EXPECT_FLOAT_EQ(delayed[5], -0.9901f * 0.95f * 0.95f);
  EXPECT_NEAR(left[2], 0.0f, 1e-6) << "Pan beyond 1 is hard right";
}

TEST_F(DelayTroisTest, ClearLevelAndOnEmptyTheLine) {
  auto silence = [](int64_t) { return 0.0f; };
  set(DelayTrois::FEEDBACK, 1.0f);
  start();
  render(1);
  pending->streaming(0, DelayTrois::CLEAR, true);  // with a zero value: nothing happens
  render(1, silence);
  EXPECT_GT(std::fabs(delayed[0]) + std::fabs(delayed[1]) + std::fabs(delayed[2]), 0.5f);
  set(DelayTrois::CLEAR, 1.0f);
  pending->streaming(0, DelayTrois::CLEAR, false);
  render(4, silence);
  EXPECT_EQ(delayed[peakIndex(delayed)], 0.0f);
  EXPECT_TRUE(delay->isRunning());

  for (auto [pin, value] : {std::pair{DelayTrois::ON, 2.0f}, {DelayTrois::LEVEL, 0.0f}, {DelayTrois::LEVEL, kNaN}}) {
    set(DelayTrois::LEVEL, 1.0f);
    start();
    render(1);
    host.clearRecords();
    if (pin == DelayTrois::ON) pending->value(0, DelayTrois::ON, 2);
    if (pin == DelayTrois::LEVEL) set(pin, value), pending->streaming(0, pin, false);
    render(2, silence);
    EXPECT_EQ(delayed[peakIndex(delayed)], 0.0f);
    EXPECT_FALSE(host.streamingOn(DelayTrois::DELAY_OUT).back().streaming);
    EXPECT_GE(host.sleepRequests, 1);
    const float* line = delay->line().data();
    EXPECT_TRUE(std::all_of(line, line + delay->line().length(), [](float v) { return v == 0.0f; }));
  }
}

// Level lies inside the loop and is not limited: at 1e5 every pass through
// the three-sample loop multiplies the line by about 1e5. The line stays
// within the state limit and the outputs finite; back at an ordinary Level
// the echoes die away without a Clear. So does a NaN that reached the line.
TEST_F(DelayTroisTest, LoopGainAboveOneAndNaNLeaveTheLineFinite) {
  auto noise = [](int64_t n) { return static_cast<float>(std::sin(0.37 * static_cast<double>(n))); };
  auto silence = [](int64_t) { return 0.0f; };
  auto allFinite = [](const std::vector<float>& v) {
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
  };
  auto lineWithinLimit = [&] {
    const float* line = delay->line().data();
    return std::all_of(line, line + delay->line().length(),
                       [](float v) { return std::fabs(v) <= zv::dsp::kStateLimit; });
  };
  for (int32_t interpolation : {0, 1}) {
    SCOPED_TRACE(interpolation);
    set(DelayTrois::LEVEL, 1e5f), set(DelayTrois::FEEDBACK, 1.0f);
    start(interpolation);
    render(20, noise);
    EXPECT_TRUE(allFinite(delayed) && allFinite(left));
    EXPECT_GT(std::fabs(delayed.back()), 1e9f) << "the loop does run away";
    EXPECT_TRUE(lineWithinLimit());

    set(DelayTrois::LEVEL, 1.0f), set(DelayTrois::FEEDBACK, 0.5f);
    render(4, silence);
    render(1, silence);
    EXPECT_LT(std::fabs(delayed[peakIndex(delayed)]), 1e-3f) << "the echoes die away";

    render(1, [](int64_t) { return kNaN; });
    render(4, silence);
    render(1, silence);
    EXPECT_EQ(delayed[peakIndex(delayed)], 0.0f) << "nothing of the NaN stays";
    EXPECT_TRUE(lineWithinLimit());
  }
}

TEST_F(DelayTroisTest, RestartConvertsUnchangedControlsAfresh) {
  // The read point must be placed again against the restarted write index.
  set(DelayTrois::TIME, 1.0f), set(DelayTrois::FEEDBACK, 0.6f), set(DelayTrois::PAN, 0.0f);
  start();
  render(2);
  start();
  render(1);
  EXPECT_EQ(peakIndex(delayed), 12);
  EXPECT_FLOAT_EQ(delayed[25], 0.6001f);
  EXPECT_NEAR(left[12], 1.0f, 1e-6);
}

TEST_F(DelayTroisTest, ExtremeControlsReadInsideTheLine) {
  host.sampleRate = 100.0f;  // a line of 1000 samples, wrapped many times below
  module->open();
  set(DelayTrois::FEEDBACK, 1.0f);
  start(1);
  const float values[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 9.98f, 0.499f, 12.0f, 0.0f};
  for (int32_t block = 0; block < 60; ++block) {
    for (int32_t i = 0; i < host.blockSize; ++i) {
      module->audio(DelayTrois::TIME)[i] = values[(block + i) % 9];
      module->audio(DelayTrois::TIME_OFFSET)[i] = values[(block * 3 + i * 2) % 9];
    }
    render(1, [](int64_t n) { return static_cast<float>(std::sin(0.1 * static_cast<double>(n))); });
    ASSERT_TRUE(std::all_of(delayed.begin(), delayed.end(), [](float v) { return std::isfinite(v); }));
    ASSERT_TRUE(delay->line().readPosition() >= 0.0 && delay->line().readPosition() < 1000.0);
  }
  set(DelayTrois::TIME_OFFSET, 0.0f), set(DelayTrois::TIME, kInf);
  start();
  render(16);
  EXPECT_EQ(peakIndex(delayed), 999);
}

}  // namespace
