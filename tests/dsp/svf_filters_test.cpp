// The two-section state-variable pairs: notch placement, the damping
// limits that keep them stable, and their guards against loud or odd input.
#include "modules/dsp/svf_filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

using namespace zv::dsp;

constexpr double kPi = std::numbers::pi;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Frequency limits by damping amount u (index u × 10000): the largest f
// with f² + 2·f·q < 4 at q = 1 − u, less a margin.
std::vector<float> stableLimits() {
  std::vector<float> limits(10002);
  for (int i = 0; i <= 10000; ++i) {
    const double q = 1.0 - i * 1e-4;
    limits[i] = static_cast<float>(0.98 * (-q + std::sqrt(q * q + 4.0)));
  }
  limits[10001] = limits[10000];
  return limits;
}

double rmsOfTail(const std::vector<float>& v) {
  double sum = 0.0;
  for (size_t i = v.size() / 2; i < v.size(); ++i) sum += static_cast<double>(v[i]) * v[i];
  return std::sqrt(sum / static_cast<double>(v.size() - v.size() / 2));
}

TEST(NotchPair, RemovesItsFrequencyAndPassesTheRest) {
  // The section's notch lies where 2 − 2·cos ω = f², so f = 2·sin(π·fc/fs).
  const double rate = 48000.0, fc = 1000.0;
  const auto f = static_cast<float>(2.0 * std::sin(kPi * fc / rate));
  for (float mix : {0.0f, 1.0f, 0.5f}) {
    for (double hz : {fc, 50.0, 12000.0}) {
      SvfPair pair;
      std::vector<float> in, out;
      for (int i = 0; i < 20000; ++i) {
        in.push_back(static_cast<float>(0.5 * std::sin(2.0 * kPi * hz * i / rate)));
        out.push_back(runNotchPair(pair, in.back(), f, mix));
      }
      const double gain = rmsOfTail(out) / rmsOfTail(in);
      if (hz == fc) {
        EXPECT_LT(gain, 0.01) << "mix " << mix;
      } else {
        EXPECT_GT(gain, 0.8) << hz << " Hz, mix " << mix;
      }
    }
  }
}

TEST(DampedPair, DampingLimitsReadAtTheAmountAndNaNSafe) {
  const auto limits = stableLimits();
  EXPECT_EQ(dampedFrequency(0.1f, limits.data(), 0.5f), 0.1f) << "below the limit: unchanged";
  EXPECT_EQ(dampedFrequency(5.0f, limits.data(), 0.5f), limits[5000]);
  EXPECT_EQ(dampedFrequency(5.0f, limits.data(), 0.50009f), limits[5000]) << "index truncated";
  EXPECT_EQ(dampedFrequency(5.0f, limits.data(), kNaN), limits[0]);
  EXPECT_EQ(dampedFrequency(5.0f, limits.data(), 40.0f), limits[10000]);
  EXPECT_EQ(dampedFrequency(5.0f, limits.data(), -3.0f), limits[0]);

  EXPECT_EQ(levelReduction(0.9f), 0.0f);
  EXPECT_FLOAT_EQ(levelReduction(-1.4f), 0.1f);
  EXPECT_EQ(levelReduction(100.0f), 0.25f);
  EXPECT_EQ(blendWeight(kNaN), 0.0f);
  EXPECT_EQ(blendWeight(0.3f), 0.3f);
}

TEST(DampedPair, EveryTapStaysBoundedAtTheTopOfTheRangeWithFullResonance) {
  const auto limits = stableLimits();
  for (float base : {0.0f, 0.5f, 0.98f, 1.0f}) {
    SvfPair low, high, band, driven;
    const DrivenPairGains gains = drivenPairGains(3.0f, base, limits.data());
    float peak = 0.0f;
    for (int i = 0; i < 20000; ++i) {
      const float x = (i / 50) % 2 == 0 ? 4.0f : -4.0f;  // loud square wave
      const float outs[] = {runDampedPair<SvfTap::Low>(low, x, 3.0f, base, 1.0f, limits.data()),
                            runDampedPair<SvfTap::High>(high, x, 3.0f, base, 0.5f, limits.data()),
                            runDampedPair<SvfTap::Band>(band, x, 3.0f, base, kNaN, limits.data()),
                            runDrivenPair<SvfTap::Low>(driven, x, 3.0f, gains, 1.0f, limits.data())};
      for (float y : outs) {
        ASSERT_TRUE(std::isfinite(y)) << "damping " << base << " sample " << i;
        peak = std::max(peak, std::fabs(y));
      }
      ASSERT_LE(std::fabs(driven.first.low), 50.0f);
    }
    EXPECT_LT(peak, 1000.0f) << "damping " << base;
  }
}

}  // namespace
