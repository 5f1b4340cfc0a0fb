// Drives either filter module sample by sample from per-sample control
// curves, in host-sized blocks, and collects its output.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "tests/support/module_harness.h"

namespace zv::effects::test {

// Pins both filters share.
enum SharedPin { SIGNAL = 0, CUTOFF = 1, RESONANCE = 2, OUTPUT = 3, MODE = 4, SPARE = 5, MIX = 6 };

using Curve = std::function<float(int32_t)>;
inline Curve constant(float v) {
  return [v](int32_t) { return v; };
}
// Linear sweep from a to b over n samples.
inline Curve sweep(float a, float b, int32_t n) {
  return [=](int32_t i) { return a + (b - a) * static_cast<float>(i) / static_cast<float>(n); };
}

class FilterDriver {
 public:
  FilterDriver(TestHost& host, const MpString& id) : host_(host), module_(host, id) {
    for (int32_t pin : {SIGNAL, CUTOFF, RESONANCE, OUTPUT, SPARE, MIX}) module_.audio(pin);
    module_.open();
  }
  AudioModule& module() { return module_; }

  // Renders the signal; events go with the first block.
  std::vector<float> render(const std::vector<float>& signal, const Curve& cutoff, const Curve& resonance,
                            const Curve& mix = constant(0.0f), EventList* events = nullptr) {
    std::vector<float> out(signal.size());
    const auto n = static_cast<int32_t>(signal.size());
    for (int32_t start = 0; start < n; start += host_.blockSize) {
      const int32_t length = std::min(host_.blockSize, n - start);
      for (int32_t i = 0; i < length; ++i) {
        module_.audio(SIGNAL)[i] = signal[start + i];
        module_.audio(CUTOFF)[i] = cutoff(start + i);
        module_.audio(RESONANCE)[i] = resonance(start + i);
        module_.audio(MIX)[i] = mix(start + i);
      }
      if (start == 0 && events != nullptr)
        module_.process(length, *events);
      else
        module_.process(length);
      std::copy_n(module_.audio(OUTPUT), length, out.begin() + start);
    }
    return out;
  }

 private:
  TestHost& host_;
  AudioModule module_;
};

inline std::vector<float> noise(int32_t n, uint32_t seed = 7) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::vector<float> v(n);
  for (auto& x : v) x = uniform(random);
  return v;
}
inline std::vector<float> impulses(int32_t n, int32_t every = 700) {
  std::vector<float> v(n, 0.0f);
  for (int32_t i = 0; i < n; i += every) v[i] = 1.0f;
  return v;
}
inline std::vector<float> square(int32_t n, int32_t period = 100) {
  std::vector<float> v(n);
  for (int32_t i = 0; i < n; ++i) v[i] = (i % period) < period / 2 ? 1.0f : -1.0f;
  return v;
}
inline std::vector<float> sine(int32_t n, double hz, double rate, float amplitude = 0.25f) {
  std::vector<float> v(n);
  for (int32_t i = 0; i < n; ++i)
    v[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / rate));
  return v;
}
inline double rms(const std::vector<float>& v, size_t from) {
  double sum = 0.0;
  for (size_t i = from; i < v.size(); ++i) sum += static_cast<double>(v[i]) * v[i];
  return std::sqrt(sum / static_cast<double>(v.size() - from));
}
// True when no sample is NaN, infinite or denormal and all lie within ±limit.
inline bool wellBehaved(const std::vector<float>& v, float limit, size_t* where = nullptr) {
  for (size_t i = 0; i < v.size(); ++i) {
    const int kind = std::fpclassify(v[i]);
    if ((kind != FP_NORMAL && kind != FP_ZERO) || std::fabs(v[i]) > limit) {
      if (where != nullptr) *where = i;
      return false;
    }
  }
  return true;
}

}  // namespace zv::effects::test
