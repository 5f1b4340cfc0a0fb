#include <gtest/gtest.h>

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

TEST(DelayControls, FeedbackStaysOffZeroAndBelowUnity) {
  EXPECT_FLOAT_EQ(delayFeedback(0.0f), 0.0001f);
  EXPECT_FLOAT_EQ(delayFeedback(-0.0f), 0.0001f);
  EXPECT_FLOAT_EQ(delayFeedback(1.0f), 0.9901f);
  EXPECT_FLOAT_EQ(delayFeedback(25.0f), 0.9901f);
  EXPECT_FLOAT_EQ(delayFeedback(-1.0f), -0.9901f);
  EXPECT_FLOAT_EQ(delayFeedback(-0.5f), -0.5001f);
  EXPECT_FLOAT_EQ(delayFeedback(0.5f), 0.5001f);
  EXPECT_FLOAT_EQ(delayFeedback(kNaN), 0.0001f);
  EXPECT_FLOAT_EQ(delayFeedback(-kInf), -0.9901f);
}

TEST(DelayControls, DistanceFromTimeAndOffset) {
  const int32_t length = 441000;
  const float scale = 441.0f;
  EXPECT_DOUBLE_EQ(delayDistance(scale, 0.0f, 0.0f, length), 2.0);
  const double h = scale * 1.5 + 2.0;
  EXPECT_NEAR(delayDistance(scale, 1.5f, 0.0f, length), h, 1e-3);
  EXPECT_NEAR(delayDistance(scale, 1.5f, 0.499f, length), h + 0.998 * (h - 1.0), 1e-3);
  EXPECT_NEAR(delayDistance(scale, 1.5f, -0.499f, length), 1.0 + 0.002 * (h - 1.0), 1e-3);
  // Offsets beyond the range act as its ends.
  EXPECT_DOUBLE_EQ(delayDistance(scale, 1.5f, 3.0f, length), delayDistance(scale, 1.5f, 0.499f, length));
  EXPECT_DOUBLE_EQ(delayDistance(scale, 1.5f, -3.0f, length), delayDistance(scale, 1.5f, -0.499f, length));
}

TEST(DelayControls, DistanceStaysInsideTheLineForAnyInput) {
  const int32_t length = 1000;
  const float values[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, -1.0f, 0.0f, 2.2f, 1e6f};
  const float offsets[] = {kNaN, kInf, -kInf, -0.499f, 0.499f, 7.0f, -7.0f, 0.0f};
  for (float time : values) {
    for (float offset : offsets) {
      const double d = delayDistance(10.0f, time, offset, length);
      EXPECT_GE(d, 1.0) << time << " " << offset;
      EXPECT_LE(d, length - 1.0) << time << " " << offset;
    }
  }
  EXPECT_DOUBLE_EQ(delayDistance(10.0f, kNaN, 0.0f, length), 1.0);
  EXPECT_DOUBLE_EQ(delayDistance(10.0f, kInf, 0.0f, length), length - 1.0);
  EXPECT_DOUBLE_EQ(delayDistance(10.0f, 1e30f, 0.499f, length), length - 1.0);
}

// Impulse response of a bare line read once per write.
std::vector<float> impulseThroughLine(int32_t length, double distance, int32_t lead, int32_t samples) {
  zvdsp::DelayLine line;
  line.allocate(length);
  for (int32_t i = 0; i < lead; ++i) {
    line.write(0.0f);
    line.read<false>();
  }
  line.setDistance(distance);
  std::vector<float> out;
  for (int32_t n = 0; n < samples; ++n) {
    line.write(n == 0 ? 1.0f : 0.0f);
    out.push_back(line.read<false>());
  }
  return out;
}

int32_t peakIndex(const std::vector<float>& v) {
  int32_t best = 0;
  for (int32_t i = 1; i < static_cast<int32_t>(v.size()); ++i) {
    if (std::fabs(v[i]) > std::fabs(v[best])) best = i;
  }
  return best;
}

TEST(DelayLineKernel, WholeSampleDistancesFromOneToTheFullLine) {
  const int32_t length = 16;
  for (int32_t lead : {0, 5, 15}) {
    for (int32_t d : {1, 2, 7, 15}) {
      auto out = impulseThroughLine(length, d, lead, length);
      EXPECT_EQ(peakIndex(out), d) << "lead " << lead;
      EXPECT_EQ(out[static_cast<size_t>(d)], 1.0f);
    }
    // Out-of-range distances land on the nearest end.
    EXPECT_EQ(peakIndex(impulseThroughLine(length, 0.3, lead, length)), 1);
    EXPECT_EQ(peakIndex(impulseThroughLine(length, -40.0, lead, length)), 1);
    EXPECT_EQ(peakIndex(impulseThroughLine(length, std::nan(""), lead, length)), 1);
    EXPECT_EQ(peakIndex(impulseThroughLine(length, 15.5, lead, length)), 15);
    EXPECT_EQ(peakIndex(impulseThroughLine(length, 1e12, lead, length)), 15);
  }
}

TEST(DelayLineKernel, CubicFollowsCurvesThatLinearCuts) {
  // A quadratic is reproduced exactly by a four-point cubic; a chord sags.
  auto s = [](double n) { return 0.3 - 0.02 * n + 0.001 * n * n; };
  for (double distance : {3.25, 5.5, 6.75}) {
    zvdsp::DelayLine cubic, linear;
    cubic.allocate(64);
    linear.allocate(64);
    cubic.setDistance(distance);
    linear.setDistance(distance);
    double cubicError = 0.0, linearError = 0.0;
    for (int32_t n = 0; n < 60; ++n) {
      const auto x = static_cast<float>(s(n));
      cubic.write(x);
      linear.write(x);
      const float c = cubic.read<true>();
      const float l = linear.read<false>();
      if (n < 12) continue;  // until the line and the previous read hold the curve
      cubicError = std::max(cubicError, std::fabs(c - s(n - distance)));
      linearError = std::max(linearError, std::fabs(l - s(n - distance)));
    }
    EXPECT_LT(cubicError, 2e-6) << distance;
    EXPECT_GT(linearError, 1e-4) << distance;
  }
}

struct Rendered {
  std::vector<float> left, right, delayed;
};

struct DelayTest : ::testing::Test {
  TestHost host;
  DelayTrois* delay = nullptr;
  std::unique_ptr<AudioModule> module;
  int64_t clock = 0;  // samples rendered since the last start
  std::unique_ptr<EventList> pending;  // delivered at the start of the next block

  void SetUp() override {
    host.sampleRate = 1000.0f;  // 10 samples per unit of Time, a line of 10000
    host.blockSize = 64;
    create();
  }
  void create() {
    delay = new DelayTrois(host.unknown());
    module = std::make_unique<AudioModule>(host, delay);
    for (int pin = DelayTrois::SIGNAL; pin <= DelayTrois::VOLUME; ++pin) module->fill(pin, 0.0f);
    module->fill(DelayTrois::LEVEL, 1.0f);
    module->fill(DelayTrois::VOLUME, 1.0f);
    module->fill(DelayTrois::PAN, 0.5f);
    for (int pin = DelayTrois::LEFT_OUT; pin <= DelayTrois::DELAY_OUT; ++pin) module->fill(pin, kNaN);
    module->open();
  }
  void set(int pin, float v) { module->fill(pin, v); }
  // Starts afresh: a running module is switched off for a block first.
  void start(int32_t interpolation = 0) {
    if (delay->isRunning()) {
      events().value(0, DelayTrois::ON, 0);
      render(host.blockSize);
    }
    clock = 0;
    events().graphStart().value(0, DelayTrois::ON, 1).value(0, DelayTrois::INTERPOLATION, interpolation);
  }
  EventList& events() {
    if (!pending) pending = std::make_unique<EventList>();
    return *pending;
  }
  // Renders whole blocks; signal(n) is the input at n samples after start.
  Rendered render(int32_t samples, const std::function<float(int64_t)>& signal = impulse) {
    Rendered r;
    for (int32_t done = 0; done < samples; done += host.blockSize) {
      float* in = module->audio(DelayTrois::SIGNAL);
      for (int32_t i = 0; i < host.blockSize; ++i) in[i] = signal(clock + i);
      if (pending) {
        module->process(host.blockSize, *pending);
        pending.reset();
      } else {
        module->process(host.blockSize);
      }
      clock += host.blockSize;
      append(r.left, DelayTrois::LEFT_OUT);
      append(r.right, DelayTrois::RIGHT_OUT);
      append(r.delayed, DelayTrois::DELAY_OUT);
    }
    return r;
  }
  void append(std::vector<float>& to, int pin) {
    const float* b = module->audio(pin);
    to.insert(to.end(), b, b + host.blockSize);
  }
  static float impulse(int64_t n) { return n == 0 ? 1.0f : 0.0f; }
  static float silence(int64_t) { return 0.0f; }
};

// Centre of the first echo (later ones, fed back at 0.0001, lie past `end`).
double centroid(const std::vector<float>& v, size_t end) {
  double sum = 0.0, moment = 0.0;
  for (size_t i = 0; i < end; ++i) {
    sum += v[i];
    moment += v[i] * static_cast<double>(i);
  }
  return moment / sum;
}

TEST_F(DelayTest, DelayFollowsTimeAndOffset) {
  start();
  auto r = render(64);
  EXPECT_EQ(peakIndex(r.delayed), 2) << "Time 0 is two samples";
  EXPECT_EQ(r.delayed[2], 1.0f);

  struct Case {
    float time, offset;
    double expected;
  } cases[] = {
      {1.0f, 0.0f, 12.0},                   // 10 samples per unit + 2
      {1.0f, 0.499f, 12.0 + 0.998 * 11.0},  // nearly doubled
      {1.0f, -0.499f, 1.0 + 0.002 * 11.0},  // nearly one sample
      {1.0f, 4.0f, 12.0 + 0.998 * 11.0},
      {3.37f, 0.25f, (3.37 * 10.0 + 2.0) * 1.5 - 0.5},
  };
  for (const auto& c : cases) {
    set(DelayTrois::TIME, c.time);
    set(DelayTrois::TIME_OFFSET, c.offset);
    start();
    r = render(128);
    EXPECT_NEAR(centroid(r.delayed, static_cast<size_t>(c.expected * 1.5 + 2.0)), c.expected, 1e-4) << c.time << " " << c.offset;
  }
}

TEST_F(DelayTest, FeedbackRecirculatesWithItsLimitedCoefficient) {
  for (float feedback : {0.0f, 1.0f, -1.0f, 0.4f}) {
    set(DelayTrois::FEEDBACK, feedback);
    start();
    auto r = render(64);
    // y re-enters on the next sample's write, so echoes repeat every 3 samples.
    const float fb = delayFeedback(feedback);
    EXPECT_FLOAT_EQ(r.delayed[2], 1.0f);
    EXPECT_FLOAT_EQ(r.delayed[5], fb) << feedback;
    EXPECT_FLOAT_EQ(r.delayed[8], fb * fb) << feedback;
    EXPECT_EQ(r.delayed[6], 0.0f);
  }
}

TEST_F(DelayTest, PanAndVolumeShapeOnlyTheStereoPair) {
  set(DelayTrois::VOLUME, 0.5f);
  start();
  auto r = render(64);
  const float centre = std::sqrt(0.5f) + 1e-7f;
  EXPECT_NEAR(r.left[2], 0.5f * centre, 1e-6);
  EXPECT_NEAR(r.right[2], 0.5f * centre, 1e-6);
  EXPECT_EQ(r.delayed[2], 1.0f);

  set(DelayTrois::PAN, 0.0f);
  start();
  r = render(64);
  EXPECT_NEAR(r.left[2], 0.5f, 1e-6);
  EXPECT_NEAR(r.right[2], 0.5e-7f, 1e-8);

  set(DelayTrois::PAN, 7.0f);  // beyond hard right
  start();
  r = render(64);
  EXPECT_NEAR(r.left[2], 0.0f, 1e-6);
  EXPECT_NEAR(r.right[2], 0.5f, 1e-6);
}

TEST_F(DelayTest, CubicReadIsScaledAndSmooth) {
  start(1);
  auto r = render(64);
  EXPECT_FLOAT_EQ(r.delayed[2], 0.95f);

  // At a fractional distance the cubic tracks a curve the linear read cuts.
  // The expectation includes the first recirculation at the fixed 0.0001.
  auto q = [](double n) { return n > 0.0 ? 1e-4 * n * n : 0.0; };
  const double d = 7.25;
  set(DelayTrois::TIME, 0.525f);
  double errors[2] = {};
  for (int32_t interpolation : {0, 1}) {
    start(interpolation);
    r = render(128, [&](int64_t n) { return static_cast<float>(q(static_cast<double>(n))); });
    const double gain = interpolation == 1 ? 0.95 : 1.0;
    for (int32_t n = 20; n < 128; ++n) {
      const double expected = gain * (q(n - d) + 0.0001 * gain * q(n - 2.0 * d - 1.0));
      errors[interpolation] = std::max(errors[interpolation], std::fabs(r.delayed[n] - expected));
    }
  }
  EXPECT_GT(errors[0], 1e-5);
  EXPECT_LT(errors[1], errors[0] / 10.0);
}

TEST_F(DelayTest, ClearEmptiesTheRunningLine) {
  set(DelayTrois::FEEDBACK, 1.0f);
  start();
  auto r = render(64);
  ASSERT_GT(std::fabs(r.delayed[62]) + std::fabs(r.delayed[63]) + std::fabs(r.delayed[61]), 0.5f);

  // A zero Clear changes nothing.
  set(DelayTrois::CLEAR, 0.0f);
  events().streaming(0, DelayTrois::CLEAR, true);
  r = render(64, silence);
  EXPECT_GT(std::fabs(r.delayed[0]) + std::fabs(r.delayed[1]) + std::fabs(r.delayed[2]), 0.5f);

  set(DelayTrois::CLEAR, 1.0f);
  events().streaming(0, DelayTrois::CLEAR, false);
  r = render(256, silence);
  for (float v : r.delayed) ASSERT_EQ(v, 0.0f);
  EXPECT_TRUE(delay->isRunning());
}

TEST_F(DelayTest, LevelOrOnStopsEmptiesAndSleeps) {
  const std::function<void()> stoppers[] = {
      [&] { events().value(0, DelayTrois::ON, 0); },
      [&] { events().value(0, DelayTrois::ON, 2); },
      [&] {
        set(DelayTrois::LEVEL, 0.0f);
        events().streaming(0, DelayTrois::LEVEL, false);
      },
      [&] {
        set(DelayTrois::LEVEL, kNaN);
        events().streaming(0, DelayTrois::LEVEL, false);
      },
  };
  for (const auto& stop : stoppers) {
    set(DelayTrois::LEVEL, 1.0f);
    set(DelayTrois::FEEDBACK, 1.0f);
    start();
    render(64);
    host.clearRecords();
    stop();
    auto r = render(128, silence);
    for (float v : r.delayed) ASSERT_EQ(v, 0.0f);
    EXPECT_FALSE(delay->isRunning());
    for (int pin : {DelayTrois::LEFT_OUT, DelayTrois::RIGHT_OUT, DelayTrois::DELAY_OUT}) {
      ASSERT_FALSE(host.streamingOn(pin).empty());
      EXPECT_FALSE(host.streamingOn(pin).back().streaming);
    }
    const float* line = delay->line().data();
    for (int32_t i = 0; i < delay->line().length(); ++i) ASSERT_EQ(line[i], 0.0f) << i;
    EXPECT_GE(host.sleepRequests, 1);
  }
}

TEST_F(DelayTest, RestartConvertsEveryControlAfresh) {
  // The same Time before and after a stop must still place the read point
  // relative to the restarted write index.
  set(DelayTrois::TIME, 1.0f);
  set(DelayTrois::FEEDBACK, 0.6f);
  set(DelayTrois::PAN, 0.0f);
  start();
  render(100);
  events().value(0, DelayTrois::ON, 0);
  render(64);
  start();
  auto r = render(64);
  EXPECT_EQ(peakIndex(r.delayed), 12);
  EXPECT_FLOAT_EQ(r.delayed[25], delayFeedback(0.6f));
  EXPECT_NEAR(r.left[12], 1.0f, 1e-6);
}

TEST_F(DelayTest, ExtremeControlsReadInsideTheLine) {
  host.sampleRate = 100.0f;  // a line of 1000 samples, wrapped many times below
  create();
  set(DelayTrois::FEEDBACK, 1.0f);
  start(1);
  const float times[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 9.98f, 10.5f, 0.0f};
  const float offsets[] = {kNaN, kInf, -kInf, 0.499f, -0.499f, 12.0f, 0.0f};
  float* time = module->audio(DelayTrois::TIME);
  float* offset = module->audio(DelayTrois::TIME_OFFSET);
  for (int32_t block = 0; block < 60; ++block) {
    for (int32_t i = 0; i < host.blockSize; ++i) {
      time[i] = times[(block + i) % 8];
      offset[i] = offsets[(block * 3 + i) % 7];
    }
    auto r = render(64, [](int64_t n) { return static_cast<float>(std::sin(0.1 * static_cast<double>(n))); });
    for (float v : r.delayed) ASSERT_TRUE(std::isfinite(v));
    const double position = delay->line().readPosition();
    ASSERT_GE(position, 0.0);
    ASSERT_LT(position, 1000.0);
  }

  // The limits themselves: NaN reads one sample back, +Inf the whole line.
  set(DelayTrois::FEEDBACK, 0.0f);
  set(DelayTrois::TIME_OFFSET, 0.0f);
  set(DelayTrois::TIME, kNaN);
  start();
  EXPECT_EQ(peakIndex(render(64).delayed), 1);
  set(DelayTrois::TIME, kInf);
  start();
  EXPECT_EQ(peakIndex(render(1024).delayed), 999);
}

TEST_F(DelayTest, LineFollowsTheSampleRateOnEveryOpen) {
  EXPECT_EQ(delay->line().length(), 10000);
  host.sampleRate = 48000.0f;
  module->open();
  EXPECT_EQ(delay->line().length(), 480000);
  for (float rate : {0.0f, -5.0f, kNaN}) {
    host.sampleRate = rate;
    module->open();
    EXPECT_GE(delay->line().length(), zvdsp::DelayLine::kMinLength);
    start();
    for (float v : render(128).delayed) ASSERT_TRUE(std::isfinite(v));
  }
}

TEST_F(DelayTest, PanTablesAreFilledOnceAndShared) {
  TestHost& h = host;
  AudioModule second(h, MP_TEXT("ZV Delay v3"));
  second.open();
  const float* sinTable = h.namedMemory(MP_TEXT("ZV51_Delay_SIN"), -1.0f);
  const float* cosTable = h.namedMemory(MP_TEXT("ZV51_Delay_COS"), -1.0f);
  ASSERT_NE(sinTable, nullptr);
  ASSERT_NE(cosTable, nullptr);
  EXPECT_EQ(h.namedMemoryOpenCount(MP_TEXT("ZV51_Delay_COS"), -1.0f), 2);
  for (int32_t i = 0; i <= 10000; i += 250) {
    const double x = i * 0.0001 * 3.14159265 * 0.5;
    EXPECT_NEAR(sinTable[i], std::sin(x) + 1e-7, 2e-7) << i;
    EXPECT_NEAR(cosTable[i], std::cos(x) + 1e-7, 2e-7) << i;
  }
  EXPECT_TRUE(std::isfinite(sinTable[10001]));
  EXPECT_TRUE(std::isfinite(cosTable[10001]));
}

}  // namespace
