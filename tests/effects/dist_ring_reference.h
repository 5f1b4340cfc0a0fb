// Slow double-precision reference of the 2× and 4× resampling low-passes,
// typed in afresh so that the modules' filters are checked, not restated.
#pragma once

#include <array>

struct ReferenceLowPass {
  std::array<double, 9> b{}, a{}, x{}, y{};  // a[0] = 1
  double gain = 1.0;

  double process(double in) {
    for (int k = 8; k > 0; --k) x[k] = x[k - 1], y[k] = y[k - 1];
    x[0] = in;
    y[0] = 0.0;
    for (int k = 0; k <= 8; ++k) y[0] += b[k] * x[k] - (k > 0 ? a[k] * y[k] : 0.0);
    return y[0] * gain;
  }
  double dcGain() const {
    double num = 0.0, den = 0.0;
    for (int k = 0; k <= 8; ++k) num += b[k], den += a[k];
    return num / den * gain;
  }

  static ReferenceLowPass twice() {
    return {{0.00043129342, 0.0034503473, 0.012076216, 0.024152432, 0.03019054, 0.024152432, 0.012076216, 0.0034503473,
             0.00043129342},
            {1.0, -3.8130767, 8.192174, -11.757323, 12.114127, -9.073977, 4.824743, -1.6785759, 0.30113217},
            {},
            {},
            0.95};
  }
  static ReferenceLowPass fourTimes() {
    return {
        {1.81304578931014e-6, 1.450436631448116e-5, 5.076528210068406e-5, 1.0153056420136812e-4, 1.2691320525171014e-4,
         1.0153056420136812e-4, 5.076528210068406e-5, 1.450436631448116e-5, 1.81304578931014e-6},
        {1.0, -6.592352076009656, 19.735586193511615, -34.94728712084968, 39.965871481921546, -30.194007737385764,
         14.709339619004739, -4.224678720160039, 0.5479897407319985},
        {},
        {},
        1.0};
  }
};
