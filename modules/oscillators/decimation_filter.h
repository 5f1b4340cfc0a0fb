// Eighth-order low-pass in direct form, double precision, used to decimate
// an oversampled internal sync master back to the host rate. Numerator taps
// are symmetric in the proportions 1 : 8 : 28 : 56 : 70.
#pragma once

#include <cstdint>

#include "modules/dsp/math.h"

namespace zv::oscillators {

struct DecimationCoefficients {
  double b[9];
  double a[9];  // a[0] unused
};

// Coefficients for oversampling factor 2, 4 or 8 (others give factor 8's).
const DecimationCoefficients& decimationCoefficients(int32_t factor);

struct DecimationFilter {
  double x[8] = {};
  double y[8] = {};

  void clear() { *this = DecimationFilter{}; }

  double step(const DecimationCoefficients& c, double value) {
    // Bounded on the way in, so a NaN or overflow does not stay in the
    // history.
    const double in = zv::dsp::boundState(value);
    double out = c.b[0] * in;
    for (int k = 0; k < 8; ++k) out += c.b[k + 1] * x[k] - c.a[k + 1] * y[k];
    for (int k = 7; k > 0; --k) {
      x[k] = x[k - 1];
      y[k] = y[k - 1];
    }
    x[0] = in;
    // Denormal flush: tiny memories become exactly zero.
    y[0] = zv::dsp::flushTiny(out);
    return out;
  }
};

}  // namespace zv::oscillators
