// Band-limited wavetable sets in the ".zvw" layout, by additive synthesis.
// Table k serves pitches k/6 V to (k + 1)/6 V above 13.75 Hz, so it holds
// only the harmonics that stay at or below 22050 Hz at the top of that range
// (and below the table's own Nyquist limit, harmonic 1024).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "modules/dsp/portable_math.h"
#include "modules/oscillators/wavetable_kernel.h"

namespace zvw {

enum class Family { Sine, Triangle, Saw, Square, Free };
constexpr Family kFamilies[] = {Family::Sine, Family::Triangle, Family::Saw, Family::Square, Family::Free};

// File name stem of a family, as the initialiser composes it.
inline const char* familyStem(Family f) {
  switch (f) {
    case Family::Sine: return "sine";
    case Family::Triangle: return "tri";
    case Family::Saw: return "saw";
    case Family::Square: return "sqr";
    case Family::Free: return "free";
  }
  return "sine";
}

constexpr double kBandLimitHz = 22050.0;
constexpr double kLowestHz = 13.75;  // 0 V

// Highest harmonic table k may hold.
inline int harmonicLimit(int table) {
  const double top = kLowestHz * zv::dsp::exp2((table + 1) / 6.0);
  const int h = static_cast<int>(std::floor(kBandLimitHz / top));
  return std::clamp(h, 1, zv::oscillators::kTableLength / 2 - 1);
}

// Sine-series amplitude of harmonic h of a family (before normalising).
inline double amplitude(Family f, int h) {
  const double pi = 3.14159265358979323846;
  switch (f) {
    case Family::Sine: return h == 1 ? 1.0 : 0.0;
    case Family::Triangle: return h % 2 == 1 ? 8.0 / (pi * pi) / (h * h) * (((h - 1) / 2) % 2 == 0 ? 1.0 : -1.0) : 0.0;
    case Family::Saw: return 2.0 / pi / h * (h % 2 == 1 ? 1.0 : -1.0);
    case Family::Square: return h % 2 == 1 ? 4.0 / (pi * h) : 0.0;
    case Family::Free: {
      // A drawbar organ: fundamental, octaves and a fifth.
      switch (h) {
        case 1: return 1.0;
        case 2: return 0.5;
        case 3: return 0.35;
        case 4: return 0.25;
        case 6: return 0.18;
        case 8: return 0.12;
        default: return 0.0;
      }
    }
  }
  return 0.0;
}

// A complete set: 8 header values (value 3 = 2, the format), unused values,
// then the 60 tables; the peak over all tables is 0.95.
inline std::vector<float> generateSet(Family family) {
  using namespace zv::oscillators;
  constexpr int n = kTableLength;
  std::vector<double> sine(n);
  for (int i = 0; i < n; ++i) sine[i] = zv::dsp::sin(2.0 * 3.14159265358979323846 * i / n);

  std::vector<double> tables(static_cast<size_t>(kTableCount) * n, 0.0);
  double peak = 0.0;
  for (int k = 0; k < kTableCount; ++k) {
    double* table = tables.data() + static_cast<size_t>(k) * n;
    const int limit = harmonicLimit(k);
    for (int h = 1; h <= limit; ++h) {
      const double a = amplitude(family, h);
      if (a == 0.0) continue;
      for (int i = 0; i < n; ++i) table[i] += a * sine[(static_cast<int64_t>(h) * i) % n];
    }
    for (int i = 0; i < n; ++i) peak = std::max(peak, std::abs(table[i]));
  }
  const double scale = peak > 0.0 ? 0.95 / peak : 1.0;

  std::vector<float> set(kFileValues, 0.0f);
  set[0] = static_cast<float>(kTableLength);
  set[1] = static_cast<float>(kTableCount);
  set[2] = static_cast<float>(static_cast<int>(family));
  set[3] = 2.0f;
  for (size_t i = 0; i < tables.size(); ++i) set[kFirstTable + i] = static_cast<float>(tables[i] * scale);
  return set;
}

// Writes values as little-endian 32-bit floats; false on any failure.
inline bool writeFile(const std::string& path, const std::vector<float>& values) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::vector<unsigned char> bytes(values.size() * 4);
  for (size_t i = 0; i < values.size(); ++i) {
    uint32_t bits = 0;
    static_assert(sizeof bits == sizeof(float));
    std::memcpy(&bits, &values[i], 4);
    for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<unsigned char>(bits >> (8 * b));
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace zvw
