// Known wavetable contents for oscillator tests, and a reference reader.
//
// Every set holds one ramp across its tables: value at set index i is
// (slot + 1) × 100 + (i − 4360) / 2048, so reading table k at head h with
// upper-table weight w gives exactly (slot + 1) × 100 + k + w + h / 2048.
// The values before the tables and past the two guard values are NaN: a
// read outside the tables shows up in the output.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "modules/oscillators/wavetable_kernel.h"
#include "modules/oscillators/wavetable_sets.h"
#include "tests/support/test_host.h"

namespace zv::oscillators::test {

constexpr int32_t kGuardEnd = zv::oscillators::kFileValues + 2;

inline void fillRamps(TestHost& host) {
  for (int32_t slot = 0; slot < 3; ++slot) {
    float* set = host.namedMemory(zv::oscillators::setName(slot), -1.0f);
    ASSERT_NE(set, nullptr);
    for (int32_t i = 0; i < zv::oscillators::kSetValues; ++i) {
      const bool inTables = i >= zv::oscillators::kFirstTable && i < kGuardEnd;
      set[i] = inTables ? static_cast<float>((slot + 1) * 100 + (i - zv::oscillators::kFirstTable) / 2048.0)
                        : std::numeric_limits<float>::quiet_NaN();
    }
  }
}

// Phase after n samples of a constant increment, in (0, 2048].
inline double phaseAfter(double n, double increment) {
  double p = std::fmod(n * increment, 2048.0);
  return p <= 0.0 ? p + 2048.0 : p;
}

inline double wrapHead(double h) {
  h = std::fmod(h, 2048.0);
  return h <= 0.0 ? h + 2048.0 : h;
}

// Expected ramp reading of a slot at a head; table and weight as chosen.
inline double rampAt(int32_t slot, int32_t table, double weight, double head) {
  return (slot + 1) * 100.0 + table + weight + head / 2048.0;
}

// Two renders of the same thing by different routines: bit for bit where
// floats are computed at their own width; x87 keeps intermediates (the
// phase among them) wider in some routines than in others, so there they
// drift apart slightly.
inline bool sameRendering(float a, float b) {
#if FLT_EVAL_METHOD == 0
  return std::memcmp(&a, &b, sizeof(float)) == 0;
#else
  return std::abs(a - b) <= 1e-2f * (1.0f + std::abs(b));
#endif
}

// A head so close to the wrap that float and double may disagree on it.
inline bool nearWrap(double head) { return head < 0.05 || head > 2047.95; }

// The increment for a pitch input by the defining formula, in double.
inline double incrementFor(double pitchInput, double sampleRate, double factor = 1.0) {
  double volts = std::min(pitchInput * 10.0, 10.333333);
  return std::pow(2.0, volts - 5.0) * 440.0 * 2048.0 / (sampleRate * factor);
}

}  // namespace zv::oscillators::test

namespace zv::oscillators::test {

// Every table one sine cycle, continuous across table boundaries.
inline void fillSines(TestHost& host) {
  for (int32_t slot = 0; slot < 3; ++slot) {
    float* set = host.namedMemory(zv::oscillators::setName(slot), -1.0f);
    ASSERT_NE(set, nullptr);
    for (int32_t i = zv::oscillators::kFirstTable; i < kGuardEnd; ++i)
      set[i] = static_cast<float>(std::sin(2.0 * 3.14159265358979 * (i - zv::oscillators::kFirstTable) / 2048.0));
  }
}

}  // namespace zv::oscillators::test
