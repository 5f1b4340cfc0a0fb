#include "modules/dsp/resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

using zv::dsp::kStateLimit;
using zv::dsp::Oversampler2x;
using zv::dsp::Oversampler4x;
using zv::dsp::ResampleFilter2x;
using zv::dsp::ResampleFilter4x;

// Straightforward direct form I in long double, for comparison.
template <class Coefficients>
std::vector<double> referenceResponse(const std::vector<double>& in) {
  std::vector<long double> x(in.size()), y(in.size());
  std::vector<double> out(in.size());
  for (size_t n = 0; n < in.size(); ++n) {
    x[n] = in[n];
    long double acc = 0;
    for (size_t k = 0; k <= 8 && k <= n; ++k) acc += static_cast<long double>(Coefficients::kB[k]) * x[n - k];
    for (size_t k = 1; k <= 8 && k <= n; ++k) acc -= static_cast<long double>(Coefficients::kA[k - 1]) * y[n - k];
    y[n] = acc;
    out[n] = static_cast<double>(acc * static_cast<long double>(Coefficients::kGain));
  }
  return out;
}

template <class Coefficients>
double dcGain() {
  double b = 0.0, a = 1.0;
  for (double v : Coefficients::kB) b += v;
  for (double v : Coefficients::kA) a += v;
  return b / a * Coefficients::kGain;
}

template <class Filter>
double steadyGain(double cyclesPerSample, int32_t settle = 4000, int32_t measure = 4000) {
  Filter f;
  double peak = 0.0;
  for (int32_t n = 0; n < settle + measure; ++n) {
    const double y = f.process(static_cast<float>(std::sin(2.0 * std::numbers::pi * cyclesPerSample * n)));
    if (n >= settle) peak = std::max(peak, std::fabs(y));
  }
  return peak;
}

TEST(ResampleFilter, ImpulseAndStepFollowTheDifferenceEquation) {
  std::vector<double> impulse(200, 0.0), step(200, 1.0);
  impulse[0] = 1.0;
  for (const auto* in : {&impulse, &step}) {
    const auto ref2 = referenceResponse<zv::dsp::Resample2xCoefficients>(*in);
    const auto ref4 = referenceResponse<zv::dsp::Resample4xCoefficients>(*in);
    ResampleFilter2x f2;
    ResampleFilter4x f4;
    for (size_t n = 0; n < in->size(); ++n) {
      EXPECT_NEAR(f2.process(static_cast<float>((*in)[n])), ref2[n], 1e-4) << n;
      EXPECT_NEAR(f4.process((*in)[n]), ref4[n], 1e-9) << n;
    }
  }
}

TEST(ResampleFilter, PassesTheLowerBandAndRejectsTheUpper) {
  // Near DC: the 2× filter's output carries its 0.95 factor, the 4× one none.
  EXPECT_NEAR(steadyGain<ResampleFilter2x>(0.0005), dcGain<zv::dsp::Resample2xCoefficients>(), 0.002);
  EXPECT_NEAR(steadyGain<ResampleFilter4x>(0.0005), dcGain<zv::dsp::Resample4xCoefficients>(), 0.002);
  EXPECT_NEAR(dcGain<zv::dsp::Resample2xCoefficients>(), 0.95, 0.02);
  EXPECT_NEAR(dcGain<zv::dsp::Resample4xCoefficients>(), 1.0, 0.01);
  // Above the original Nyquist frequency (1/4 and 1/8 of the oversampled rate).
  EXPECT_LT(steadyGain<ResampleFilter2x>(0.35), 0.01);
  EXPECT_LT(steadyGain<ResampleFilter4x>(0.2), 0.01);
  // Well inside the passband.
  EXPECT_GT(steadyGain<ResampleFilter2x>(0.1), 0.8);
  EXPECT_GT(steadyGain<ResampleFilter4x>(0.05), 0.8);
}

TEST(ResampleFilter, TailNeverTurnsDenormalAndResetForgets) {
  ResampleFilter2x f2;
  ResampleFilter4x f4;
  for (int n = 0; n < 50; ++n) {
    f2.process(1.0f);
    f4.process(1.0);
  }
  float last2 = 1.0f;
  double last4 = 1.0;
  for (int n = 0; n < 20000; ++n) {
    last2 = f2.process(0.0f);
    last4 = f4.process(0.0);
    ASSERT_TRUE(last2 == 0.0f || std::fpclassify(last2) == FP_NORMAL) << n;
    ASSERT_TRUE(last4 == 0.0 || std::fpclassify(last4) == FP_NORMAL) << n;
  }
  EXPECT_LT(std::fabs(last2), 1e-20f);
  EXPECT_LT(std::fabs(last4), 1e-20);

  ResampleFilter2x used, fresh;
  for (int n = 0; n < 30; ++n) used.process(0.7f);
  used.reset();
  for (int n = 0; n < 30; ++n) EXPECT_EQ(used.process(n % 3 - 1.0f), fresh.process(n % 3 - 1.0f));
}

TEST(Oversampler, CallsOncePerSubSampleAndKeepsTheFirstResult) {
  Oversampler2x two;
  Oversampler4x four;
  int calls2 = 0, calls4 = 0;
  float out2 = 0.0f, out4 = 0.0f;
  for (int n = 0; n < 3000; ++n) {
    out2 = two.process(0.5f, [&](float s) {
      ++calls2;
      return s;
    });
    out4 = four.process(0.5f, [&](float s) {
      ++calls4;
      return s;
    });
  }
  EXPECT_EQ(calls2, 2 * 3000);
  EXPECT_EQ(calls4, 4 * 3000);
  // Up and down in series: the DC gain twice.
  const double g2 = dcGain<zv::dsp::Resample2xCoefficients>(), g4 = dcGain<zv::dsp::Resample4xCoefficients>();
  EXPECT_NEAR(out2, 0.5 * g2 * g2, 1e-3);
  EXPECT_NEAR(out4, 0.5 * g4 * g4, 1e-3);

  // The function's output turns on at the second sub-sample of the second
  // input sample: that sample's output still shows nothing, the next does.
  Oversampler2x picky;
  int call = 0;
  auto turnOn = [&](float) { return call++ >= 3 ? 1.0f : 0.0f; };
  EXPECT_EQ(picky.process(0.0f, turnOn), 0.0f);
  EXPECT_EQ(picky.process(0.0f, turnOn), 0.0f);
  EXPECT_GT(picky.process(0.0f, turnOn), 0.0f);

  Oversampler2x reset;
  for (int n = 0; n < 10; ++n) reset.process(1.0f, [](float s) { return s; });
  reset.reset();
  Oversampler2x fresh;
  for (int n = 0; n < 10; ++n)
    EXPECT_EQ(reset.process(0.3f, [](float s) { return s * 2.0f; }),
              fresh.process(0.3f, [](float s) { return s * 2.0f; }));
}

// The bounded form only leaves out the guards: for values within the state
// limit it gives the general form's bits, at the limit and for denormals and
// -0 too. The general form takes anything: after a stretch of overflow or NaN
// it follows an instance that never saw one.
template <class Over>
void checkBothForms() {
  std::mt19937 random(5);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::vector<float> bounded(3000);
  for (auto& v : bounded) v = uniform(random);
  const float edges[] = {kStateLimit, -kStateLimit, 1e-40f, -0.0f, kStateLimit, 0.5f, -kStateLimit};
  std::copy(std::begin(edges), std::end(edges), bounded.begin() + 100);
  auto half = [](float s) { return s * 0.5f; };
  Over general, skipping;
  for (size_t i = 0; i < bounded.size(); ++i) {
    const float a = general.process(bounded[i], half), b = skipping.processBounded(bounded[i], half);
    ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "sample " << i << ": " << a << " vs " << b;
  }

  const float bad[] = {std::numeric_limits<float>::infinity(), -1e30f, std::numeric_limits<float>::quiet_NaN()};
  for (float value : bad) {
    Over hit, calm;
    float y = 0.0f, expected = 0.0f;
    for (size_t i = 0; i < bounded.size(); ++i) {
      const bool stretch = i >= 50 && i < 150;
      y = hit.process(stretch ? (i % 3 ? value : -value) : bounded[i], half);
      expected = calm.process(stretch ? 0.0f : bounded[i], half);
      ASSERT_TRUE(std::isfinite(y)) << value << " at " << i;
    }
    EXPECT_NEAR(y, expected, 1e-4) << value;
  }
}

TEST(Oversampler, BoundedFormGivesTheSameBitsAndTheGeneralOneTakesAnything) {
  checkBothForms<Oversampler2x>();
  checkBothForms<Oversampler4x>();
}

}  // namespace
