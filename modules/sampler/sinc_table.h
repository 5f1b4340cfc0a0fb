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
  // Rows r and r + 1 (r < 32) interleaved: tap k of row r, then of row r + 1.
  const float* pairRow(uint32_t r) const { return pairs_ + r * 2 * kTaps; }

 private:
  SincTable();
  // Each row within one cache line.
  alignas(32) float taps_[kRows * kTaps + 1];
  alignas(64) float pairs_[(kRows - 1) * 2 * kTaps];
};

}  // namespace zv::sampler
