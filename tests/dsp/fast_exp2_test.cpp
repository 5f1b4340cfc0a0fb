#include "modules/dsp/fast_exp2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "modules/dsp/portable_math.h"

namespace {

using zv::dsp::fastExp2;

// The conversion it stands in for: exact exp2 rounded to float.
float exact(float x) { return static_cast<float>(zv::dsp::exp2(static_cast<double>(x))); }

uint32_t bitsOf(float v) {
  uint32_t b;
  std::memcpy(&b, &v, 4);
  return b;
}

TEST(FastExp2, WithinAPpmOfTheExactConversionOverTheWholeRange) {
  // Every 1/8192 of an octave from the lowest to the highest argument, and
  // arguments at random where pitches live, whose fractions have all 24 bits.
  std::vector<float> xs;
  for (int32_t i = -126 * 8192; i <= 127 * 8192; ++i) xs.push_back(static_cast<float>(i) / 8192.0f);
  std::mt19937 random(16);
  std::uniform_real_distribution<float> pitches(-40.0f, 20.0f);
  for (int i = 0; i < 500000; ++i) xs.push_back(pitches(random));
  double worst = 0.0;
  float worstAt = 0.0f;
  for (const float x : xs) {
    const double error = std::fabs(static_cast<double>(fastExp2(x)) / exact(x) - 1.0);
    if (error > worst) {
      worst = error;
      worstAt = x;
    }
  }
  EXPECT_LT(worst, 1e-6) << "at " << worstAt;
}

TEST(FastExp2, WholeOctavesAreExactAndOutsideArgumentsAreHeld) {
  for (int32_t k = -126; k <= 127; ++k) EXPECT_EQ(fastExp2(static_cast<float>(k)), std::ldexp(1.0f, k)) << k;
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float x;
    float expected;
  } held[] = {{-1000.0f, std::ldexp(1.0f, -126)},
              {-inf, std::ldexp(1.0f, -126)},
              {std::numeric_limits<float>::quiet_NaN(), std::ldexp(1.0f, -126)},
              {1000.0f, std::ldexp(1.0f, 127)},
              {inf, std::ldexp(1.0f, 127)}};
  for (const auto& c : held) EXPECT_EQ(fastExp2(c.x), c.expected) << c.x;
}

#if defined(__SSE2__)
TEST(FastExp2, FourLanesGiveTheBitsOfOne) {
  std::mt19937 random(3);
  std::uniform_real_distribution<float> any(-200.0f, 200.0f);
  std::vector<float> xs = {-126.0f,
                           127.0f,
                           -0.0f,
                           0.0f,
                           -0.5f,
                           0.99999994f,
                           -1e-30f,
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity()};
  while (xs.size() < 40000) xs.push_back(any(random));
  for (size_t i = 0; i + 4 <= xs.size(); i += 4) {
    float lanes[4];
    _mm_storeu_ps(lanes, fastExp2(_mm_loadu_ps(&xs[i])));
    for (size_t j = 0; j < 4; ++j) ASSERT_EQ(bitsOf(lanes[j]), bitsOf(fastExp2(xs[i + j]))) << xs[i + j];
  }
}
#endif

}  // namespace
