#include "modules/dsp/delay_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using zv::dsp::DelayLine;

int32_t peakIndex(const std::vector<float>& v) {
  auto louder = [](float a, float b) { return std::fabs(a) < std::fabs(b); };
  return static_cast<int32_t>(std::max_element(v.begin(), v.end(), louder) - v.begin());
}

TEST(DelayLine, ImpulseLandsAtTheLimitedDistanceFromAnyStart) {
  const double distances[] = {1, 2, 7, 15, 0.3, -40, std::nan(""), 15.5, 1e12};
  const int32_t expected[] = {1, 2, 7, 15, 1, 1, 1, 15, 15};
  for (int32_t lead : {0, 5, 15}) {
    for (size_t k = 0; k < std::size(distances); ++k) {
      DelayLine line;
      line.allocate(16);
      for (int32_t i = 0; i < lead; ++i) line.write(0.0f), line.read<false>();
      line.setDistance(distances[k]);
      std::vector<float> out;
      for (int32_t n = 0; n < 16; ++n) line.write(n == 0 ? 1.0f : 0.0f), out.push_back(line.read<false>());
      EXPECT_EQ(peakIndex(out), expected[k]) << distances[k] << " lead " << lead;
    }
  }
}

TEST(DelayLine, DistanceAHairOverTheWriteIndexStaysInsideTheLine) {
  // write − distance is a tiny negative number: adding the length rounds it
  // up to the length itself, one past the last sample.
  DelayLine line;
  line.allocate(441000);
  line.write(0.5f), line.read<false>();
  line.write(0.25f), line.read<false>();
  line.setDistance(2.000000000000001);
  EXPECT_LT(line.readPosition(), 441000.0);
  line.write(0.0f);
  EXPECT_NEAR(line.read<true>(), 0.5f, 1e-6f);
}

TEST(DelayLine, CubicFollowsCurvesThatLinearCuts) {
  // A four-point cubic reproduces a quadratic; a chord sags below it.
  auto s = [](double n) { return 0.3 - 0.02 * n + 0.001 * n * n; };
  DelayLine cubic, linear;
  cubic.allocate(64), linear.allocate(64);
  cubic.setDistance(5.25), linear.setDistance(5.25);
  double cubicError = 0.0, linearError = 0.0;
  for (int32_t n = 0; n < 60; ++n) {
    cubic.write(static_cast<float>(s(n))), linear.write(static_cast<float>(s(n)));
    const float c = cubic.read<true>(), l = linear.read<false>();
    if (n < 12) continue;
    cubicError = std::max(cubicError, std::fabs(c - s(n - 5.25)));
    linearError = std::max(linearError, std::fabs(l - s(n - 5.25)));
  }
  EXPECT_LT(cubicError, 2e-6);
  EXPECT_GT(linearError, 1e-4);
}

}  // namespace
