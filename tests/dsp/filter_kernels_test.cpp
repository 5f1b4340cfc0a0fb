// The filter building blocks against their transfer functions and stated
// stability limits.
#include "modules/dsp/filter_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "modules/dsp/table_view.h"

namespace {

using namespace zv::dsp;

constexpr double kPi = std::numbers::pi;

// Steady-state gain of a one-sample-in, one-sample-out stage for a sine of
// `cycles` per sample (0 = DC, 0.5 = Nyquist, where the sine is ±1).
template <class Step>
double gainAt(double cycles, Step step) {
  const int n = 6000;
  double in = 0.0, out = 0.0;
  for (int i = 0; i < n; ++i) {
    const double x = cycles == 0.0 ? 1.0 : cycles == 0.5 ? (i % 2 == 0 ? 1.0 : -1.0) : std::sin(2.0 * kPi * cycles * i);
    const double y = step(static_cast<float>(x));
    if (i >= n / 2) {
      in += x * x;
      out += y * y;
    }
  }
  return std::sqrt(out / in);
}

bool normalOrZero(float v) { return v == 0.0f || std::fpclassify(v) == FP_NORMAL; }

TEST(FilterStages, DcAndNyquistGainsFollowTheirTransferFunctions) {
  for (float k : {-0.9f, -0.3f, 0.0f, 0.5f, 0.94f}) {
    const float p = (k + 1.0f) * 0.5f;
    LadderStage ladder;
    EXPECT_NEAR(gainAt(0.0, [&](float x) { return ladder.run(x, p, k); }), 1.0, 1e-4) << k;
    LadderStage ladderNyquist;
    EXPECT_NEAR(gainAt(0.5, [&](float x) { return ladderNyquist.run(x, p, k); }), 0.0, 1e-4) << k;
    // H(z) = p(1 − z⁻¹)/(1 − k z⁻¹): 0 at DC, 2p/(1 + k) = 1 at Nyquist.
    HighPassStage high;
    EXPECT_NEAR(gainAt(0.0, [&](float x) { return high.run(x, p, k); }), 0.0, 1e-4) << k;
    HighPassStage highNyquist;
    EXPECT_NEAR(gainAt(0.5, [&](float x) { return highNyquist.run(x, p, k); }), 1.0, 1e-3) << k;
  }
  for (float g : {0.01f, 0.3f, 0.9f}) {
    // H(z) = g/(1 − (1 − g) z⁻¹): 1 at DC, g/(2 − g) at Nyquist.
    OnePoleStage dc, nyquist;
    EXPECT_NEAR(gainAt(0.0, [&](float x) { return dc.run(x, g); }), 1.0, 1e-4) << g;
    EXPECT_NEAR(gainAt(0.5, [&](float x) { return nyquist.run(x, g); }), g / (2.0 - g), 1e-4) << g;
  }
}

TEST(FilterStages, TailsDieAwayWithoutEverTurningDenormal) {
  LadderStage ladder;
  HighPassStage high;
  OnePoleStage pole;
  SvfSection svf;
  AllPass2 allPass;
  for (int i = 0; i < 200000; ++i) {
    const float x = i == 0 ? 1.0f : 0.0f;
    const float outs[] = {ladder.run(x, 0.975f, 0.95f), high.run(x, 0.025f, -0.95f), pole.run(x, 0.001f),
                          svf.run(x, 0.01f, 0.05f).band, allPass.run(x, 1.6f, 0.81f)};
    for (float y : outs) ASSERT_TRUE(normalOrZero(y)) << "sample " << i;
  }
  for (float memory : {ladder.y, high.h, pole.s, svf.low, svf.band, allPass.w1}) EXPECT_LT(std::fabs(memory), 1e-20f);
}

TEST(SvfSection, TapsAtDcAndTheStabilityLimitOfFSquaredPlusTwoFQ) {
  SvfSection s;
  SvfTaps t{};
  for (int i = 0; i < 20000; ++i) t = s.run(1.0f, 0.05f, 0.7f);
  EXPECT_NEAR(t.low, 1.0f, 1e-4f);
  EXPECT_NEAR(t.high, 0.0f, 1e-4f);
  EXPECT_NEAR(t.band, 0.0f, 1e-4f);
  EXPECT_NEAR(t.notch, 1.0f, 1e-4f);
  EXPECT_EQ(tapOf<SvfTap::Notch>(t), t.notch);
  EXPECT_EQ(tapOf<SvfTap::Band>(t), t.band);

  // At q = 1 the limit is f < √5 − 1 ≈ 1.236: just inside the impulse
  // response decays, just outside it grows.
  auto peakAfter = [](float f) {
    SvfSection section;
    float peak = 0.0f;
    for (int i = 0; i < 600; ++i) {
      const float band = section.run(i == 0 ? 1.0f : 0.0f, f, 1.0f).band;
      if (i >= 500) peak = std::max(peak, std::fabs(band));
    }
    return peak;
  };
  EXPECT_LT(peakAfter(1.2f), 1e-3f);
  EXPECT_GT(peakAfter(1.25f), 1.0f);
}

TEST(AllPass2, UnitGainAtEveryFrequency) {
  for (double radius : {0.5, 0.95}) {
    for (double angle : {0.1, 1.0, 2.5}) {
      const auto a1 = static_cast<float>(2.0 * radius * std::cos(angle));
      const auto a2 = static_cast<float>(radius * radius);
      for (double cycles : {0.01, 0.13, 0.37}) {
        AllPass2 ap;
        EXPECT_NEAR(gainAt(cycles, [&](float x) { return ap.run(x, a1, a2); }), 1.0, 2e-3)
            << radius << " " << angle << " " << cycles;
      }
    }
  }
}

TEST(TanhTable, FollowsTanhInsideAndHoldsItsEndsOutside) {
  std::vector<float> data(20002);
  fillTable(data.data(), 20001, [](int32_t i) { return std::tanh(0.0001 * (i - 10000)); });
  const TanhTable t(data.data());
  for (float x : {-1.0f, -0.73f, -0.00005f, 0.0f, 0.31f, 0.99995f, 1.0f}) EXPECT_NEAR(t(x), std::tanh(x), 1e-6f) << x;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(t(7.0f), t(1.0f));
  EXPECT_EQ(t(nan), t(-1.0f));
  EXPECT_NEAR(t.soft4(2.0f), 4.0 * std::tanh(0.5), 1e-5);
  EXPECT_EQ(t.soft4(100.0f), t.soft4(4.0f));
  EXPECT_NEAR(t.soft15(1.0f), 1.5 * std::tanh(1.0 / 1.5), 1e-5);
  // Near-linear for small signals, fully shaped from ±1 on.
  EXPECT_NEAR(t.blended(0.001f), 0.001f, 1e-8f);
  EXPECT_FLOAT_EQ(t.blended(3.0f), t(1.0f));
  EXPECT_FLOAT_EQ(t.blended(-3.0f), t(-1.0f));
}

TEST(CurveAt, InterpolatesAndClampsItsPosition) {
  constexpr float kCurve[4] = {0.0f, 1.0f, 3.0f, 7.0f};
  EXPECT_EQ(curveAt(kCurve, 0.0f), 0.0f);
  EXPECT_EQ(curveAt(kCurve, 1.5f), 2.0f);
  EXPECT_EQ(curveAt(kCurve, 3.0f), 7.0f);
  EXPECT_EQ(curveAt(kCurve, 99.0f), 7.0f);
  EXPECT_EQ(curveAt(kCurve, -5.0f), 0.0f);
  EXPECT_EQ(curveAt(kCurve, std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

}  // namespace
