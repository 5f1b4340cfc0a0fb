// Windowed-sinc interpolation taps: 33 rows of 8 taps for the fractional
// positions i/32 (row 32 is row 0 shifted by one sample), each row
// normalised to unit DC gain. Tap k of a row weights the sample k - 3
// samples from the read position. Built once, then read only.
#pragma once

#include <cstdint>

namespace zv::sampler {

class SincTable {
 public:
  static constexpr int32_t kRows = 33;
  static constexpr int32_t kTaps = 8;

  static const SincTable& instance();
  const float* row(uint32_t r) const { return taps_ + r * kTaps; }

 private:
  SincTable();
  float taps_[kRows * kTaps + 1];
};

}  // namespace zv::sampler
