#include "modules/sampler/sinc_table.h"

#include <cmath>
#include <cstring>

#include "modules/dsp/portable_math.h"

namespace zv::sampler {

const SincTable& SincTable::instance() {
  static const SincTable table;
  return table;
}

SincTable::SincTable() {
  for (int32_t i = 0; i < 32; ++i) {
    for (int32_t k = 0; k < kTaps; ++k) {
      const int32_t a = i + 96 - 32 * k;
      float tap = 1.0f;
      if (a != 0) {
        const double x = a * 0.03125 * 3.1415927410125732;
        const double y = a * 1.5707963705062866 * 0.0078125;
        tap = static_cast<float>(zv::dsp::sin(x) / x * zv::dsp::cos(y) * zv::dsp::cos(y));
      }
      taps_[i * kTaps + k] = tap;
    }
  }
  taps_[32 * kTaps] = 0.0f;
  for (int32_t k = 1; k < kTaps; ++k) taps_[32 * kTaps + k] = taps_[k - 1];
  taps_[kRows * kTaps] = taps_[kTaps - 1];
  for (int32_t r = 0; r < kRows; ++r) {
    float sum = 0.0f;
    for (int32_t k = 0; k < kTaps; ++k) sum += taps_[r * kTaps + k];
    const float scale = 1.0f / sum;
    for (int32_t k = 0; k < kTaps; ++k) {
      float& tap = taps_[r * kTaps + k];
      tap *= scale;
      uint32_t bits;
      std::memcpy(&bits, &tap, 4);
      // Tiny denormals would slow every read that touches them.
      if ((bits & 0x7FF00000u) == 0 && (bits & 0x000FFFFFu) != 0) tap = 0.0f;
    }
  }
  for (int32_t r = 0; r + 1 < kRows; ++r) {
    for (int32_t k = 0; k < kTaps; ++k) {
      pairs_[(r * kTaps + k) * 2] = taps_[r * kTaps + k];
      pairs_[(r * kTaps + k) * 2 + 1] = taps_[(r + 1) * kTaps + k];
    }
  }
}

}  // namespace zv::sampler
