#include "modules/dsp/math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace zv::dsp;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(UsableSampleRate, OrdinaryRatesPassAndEverythingElseFallsBackTo44100) {
  struct Case {
    float host;
    float used;
  };
  const Case cases[] = {
      {44100.0f, 44100.0f}, {48000.0f, 48000.0f}, {96000.0f, 96000.0f},  {22050.0f, 22050.0f}, {1000.0f, 1000.0f},
      {1.0e7f, 1.0e7f},     {999.99f, 44100.0f},  {1.0001e7f, 44100.0f}, {0.0f, 44100.0f},     {-48000.0f, 44100.0f},
      {kNaN, 44100.0f},     {kInf, 44100.0f},     {-kInf, 44100.0f},     {1.0f, 44100.0f},
  };
  for (const auto& c : cases) EXPECT_EQ(usableSampleRate(c.host), c.used) << c.host;
}

TEST(NumericGuards, NaNAndInfinitiesLandOnDefinedValues) {
  EXPECT_EQ(clampTo(kNaN, -1.0f, 2.0f), -1.0f);
  EXPECT_EQ(clampTo(kInf, -1.0f, 2.0f), 2.0f);
  EXPECT_EQ(clampTo(-kInf, -1.0f, 2.0f), -1.0f);
  EXPECT_EQ(clampTo(0.5f, -1.0f, 2.0f), 0.5f);
  EXPECT_EQ(clampOr(kNaN, -1.0f, 2.0f, 0.25f), 0.25f);
  EXPECT_EQ(clampOr(3.0f, -1.0f, 2.0f, 0.25f), 2.0f);

  EXPECT_EQ(truncateTo(kNaN, 0, 127, 7), 7);
  EXPECT_EQ(truncateTo(kInf, 0, 127, 7), 127);
  EXPECT_EQ(truncateTo(-kInf, 0, 127, 7), 0);
  EXPECT_EQ(truncateTo(126.99, 0, 127, 7), 126);
  EXPECT_EQ(truncateTo(-2.7, -5, 5, 0), -2) << "toward zero";
  EXPECT_EQ(truncateTo(1e300), std::numeric_limits<int32_t>::max());

  EXPECT_TRUE(sameValue(kNaN, kNaN));
  EXPECT_FALSE(sameValue(kNaN, 0.0f));
  EXPECT_TRUE(sameValue(0.0f, -0.0f));
}

TEST(NumericGuards, FlushTinyZeroesWhatWouldTurnDenormal) {
  EXPECT_EQ(flushTiny(1e-30f), 0.0f);
  EXPECT_EQ(flushTiny(-1e-30f), 0.0f);
  EXPECT_EQ(flushTiny(0.5f), 0.5f);
  EXPECT_EQ(flushTiny(1e-40), 0.0);
  EXPECT_EQ(flushTiny(0.5), 0.5);
  // A decaying float memory never reaches the denormal range.
  float y = 1.0f;
  for (int i = 0; i < 2000; ++i) {
    y = flushTiny(y * 0.5f);
    ASSERT_TRUE(y == 0.0f || std::fpclassify(y) == FP_NORMAL) << i;
  }
}

// What enters a recursive memory: ordinary values bit for bit (denormals
// and the sign of zero included), anything else on a defined finite value;
// the SSE2 form and the plain one agree. storeState also flushes.
TEST(NumericGuards, BoundedStateIsFiniteAndOrdinaryValuesPass) {
  struct Case {
    float in, bounded;
  };
  const Case cases[] = {{0.3f, 0.3f}, {-49.5f, -49.5f}, {999999.9f, 999999.9f}, {1e6f, 1e6f},
                        {1e7f, 1e6f}, {-1e30f, -1e6f},  {kInf, 1e6f},           {-kInf, -1e6f},
                        {kNaN, 0.0f}, {1e-40f, 1e-40f}, {-0.0f, -0.0f}};
  for (const auto& c : cases) {
    const auto d = static_cast<double>(c.in);
    for (const float got : {boundState(c.in), boundStatePortable(c.in)}) {
      EXPECT_EQ(got, c.bounded) << c.in;
      EXPECT_EQ(std::signbit(got), std::signbit(c.bounded)) << c.in;
    }
    for (const double got : {boundState(d), boundStatePortable(d)}) {
      EXPECT_EQ(got, static_cast<double>(c.bounded)) << c.in;
      EXPECT_EQ(std::signbit(got), std::signbit(c.bounded)) << c.in;
    }
    const float flushed = std::fabs(c.in) < 1e-30f ? 0.0f : c.bounded;
    EXPECT_EQ(storeState(c.in), flushed) << c.in;
    EXPECT_EQ(storeState(d), static_cast<double>(flushed)) << c.in;
  }
}

}  // namespace
