// Up/down resampling filters for oversampled processing.
//
// Both are eighth-order recursive low-passes in direct form I
// (y = Σ b·x[n−k] − Σ a·y[n−k], eight past inputs and outputs):
//   ResampleFilter2x — single precision, cutoff for 2× oversampling; the
//                      returned value is y × 0.95, the history keeps y.
//   ResampleFilter4x — double precision, cutoff for 4× oversampling, unscaled.
// One instance is one filter: an oversampler uses one for the way up and an
// independent one for the way down.
//
// Oversampler<Filter, N> is the usual pairing: each input sample is
// linearly interpolated from the previous one into N sub-samples, each goes
// up, through the caller's per-sub-sample function, and down; the output is
// the first sub-sample's result.
//
// Each filter bounds what enters it (boundState), so its history stays
// finite and forgets a NaN or overflow. A caller that bounds its values
// already skips the second bound with processBounded.
#pragma once

#include <cstdint>

#include "modules/dsp/math.h"

namespace zv::dsp {

template <class Real, class Coefficients>
class ResampleFilter {
 public:
  // Filters one sample; returns the filter's output times Coefficients::kGain.
  // Bounded on the way in: the filter is stable, so its history stays finite
  // and forgets a NaN or overflow on the input.
  Real process(Real value) { return processBounded(boundState(value)); }

  // The same for an input that is finite and already bounded: boundState's
  // result, or that times a gain of a few, or a mix of such values. Ordinary
  // values give the same bits either way.
  Real processBounded(Real in) {
    const auto& b = Coefficients::kB;
    const auto& a = Coefficients::kA;
    Real y = b[0] * in;
    for (int32_t k = 0; k < 8; ++k) y += b[k + 1] * x_[k] - a[k] * y_[k];
    for (int32_t k = 7; k > 0; --k) {
      x_[k] = x_[k - 1];
      y_[k] = y_[k - 1];
    }
    x_[0] = in;
    y_[0] = flushTiny(y);
    return y * Coefficients::kGain;
  }
  void reset() {
    for (int32_t k = 0; k < 8; ++k) x_[k] = y_[k] = Real(0);
  }

 private:
  Real x_[8] = {};  // x[n−1] .. x[n−8]
  Real y_[8] = {};  // y[n−1] .. y[n−8]
};

struct Resample2xCoefficients {
  static constexpr float kB[9] = {0.00043129342f, 0.0034503473f, 0.012076216f,  0.024152432f,  0.03019054f,
                                  0.024152432f,   0.012076216f,  0.0034503473f, 0.00043129342f};
  static constexpr float kA[8] = {-3.8130767f, 8.192174f, -11.757323f, 12.114127f,
                                  -9.073977f,  4.824743f, -1.6785759f, 0.30113217f};
  static constexpr float kGain = 0.95f;
};

struct Resample4xCoefficients {
  static constexpr double kB[9] = {1.81304578931014e-6,   1.450436631448116e-5,  5.076528210068406e-5,
                                   1.0153056420136812e-4, 1.2691320525171014e-4, 1.0153056420136812e-4,
                                   5.076528210068406e-5,  1.450436631448116e-5,  1.81304578931014e-6};
  static constexpr double kA[8] = {-6.592352076009656,  19.735586193511615, -34.94728712084968, 39.965871481921546,
                                   -30.194007737385764, 14.709339619004739, -4.224678720160039, 0.5479897407319985};
  static constexpr double kGain = 1.0;
};

using ResampleFilter2x = ResampleFilter<float, Resample2xCoefficients>;
using ResampleFilter4x = ResampleFilter<double, Resample4xCoefficients>;

template <class Filter, int32_t N>
class Oversampler {
 public:
  static constexpr int32_t kFactor = N;

  // Runs perSubSample(float) → float on each of the N sub-samples of x and
  // returns the first sub-sample's down-filtered result.
  template <class PerSubSample>
  float process(float x, PerSubSample&& perSubSample) {
    return run<false>(x, perSubSample);
  }

  // The same when x is bounded already and perSubSample, given a bounded
  // sub-sample, returns one (see processBounded above): the sub-samples lie
  // between two bounded values, and neither filter bounds again.
  template <class PerSubSample>
  float processBounded(float x, PerSubSample&& perSubSample) {
    return run<true>(x, perSubSample);
  }
  void reset() {
    up_.reset();
    down_.reset();
    previous_ = 0.0f;
  }

 private:
  template <bool kBounded, class PerSubSample>
  float run(float x, PerSubSample& perSubSample) {
    const float step = (x - previous_) / static_cast<float>(N);
    float first = 0.0f;
    for (int32_t j = 1; j <= N; ++j) {
      const float value = previous_ + static_cast<float>(j) * step;
      const auto sub = static_cast<float>(kBounded ? up_.processBounded(value) : up_.process(value));
      const float processed = perSubSample(sub);
      const auto result = static_cast<float>(kBounded ? down_.processBounded(processed) : down_.process(processed));
      if (j == 1) first = result;
    }
    previous_ = x;
    return first;
  }

  Filter up_;
  Filter down_;
  float previous_ = 0.0f;
};

using Oversampler2x = Oversampler<ResampleFilter2x, 2>;
using Oversampler4x = Oversampler<ResampleFilter4x, 4>;

}  // namespace zv::dsp
