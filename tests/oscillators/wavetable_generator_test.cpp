#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <vector>

#include "modules/oscillators/osc_zvqr.h"
#include "modules/oscillators/wavetable_sets.h"
#include "tests/support/module_harness.h"
#include "tools/wavetable_generator/wavetable_generator.h"

namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;

// Plain recursive radix-2 transform; size a power of two.
void fft(std::vector<Complex>& x) {
  const size_t n = x.size();
  if (n == 1) return;
  std::vector<Complex> even(n / 2), odd(n / 2);
  for (size_t i = 0; i < n / 2; ++i) {
    even[i] = x[2 * i];
    odd[i] = x[2 * i + 1];
  }
  fft(even);
  fft(odd);
  for (size_t k = 0; k < n / 2; ++k) {
    const Complex t = std::polar(1.0, -2.0 * kPi * k / n) * odd[k];
    x[k] = even[k] + t;
    x[k + n / 2] = even[k] - t;
  }
}

std::vector<double> magnitudes(const float* values, size_t n) {
  std::vector<Complex> x(values, values + n);
  fft(x);
  std::vector<double> m(n / 2 + 1);
  for (size_t k = 0; k <= n / 2; ++k) m[k] = std::abs(x[k]) * 2.0 / n;
  return m;
}

TEST(WavetableGenerator, EveryTableStaysBelowItsBandLimit) {
  for (zvw::Family family : zvw::kFamilies) {
    SCOPED_TRACE(zvw::familyStem(family));
    const auto set = zvw::generateSet(family);
    ASSERT_EQ(set.size(), static_cast<size_t>(zv::oscillators::kFileValues));
    EXPECT_EQ(std::trunc(set[3]), 2.0f);
    for (int k = 0; k < zv::oscillators::kTableCount; ++k) {
      const auto m = magnitudes(set.data() + zv::oscillators::kFirstTable + k * 2048, 2048);
      const double topOfRange = 13.75 * std::pow(2.0, (k + 1) / 6.0);
      double fundamental = m[1], above = 0.0;
      int highest = 0;
      for (int h = 1; h <= 1024; ++h) {
        if (m[h] > 1e-6 * fundamental) highest = h;
        if (h * topOfRange > 22050.0) above = std::max(above, m[h]);
      }
      ASSERT_LT(above, 1e-6 * fundamental) << "table " << k;
      ASSERT_LE(highest * topOfRange, 22050.0) << "table " << k;
      if (family == zvw::Family::Saw) {
        // Not limited further than needed: the next harmonic would be too high.
        const int limit = std::min(static_cast<int>(22050.0 / topOfRange), 1023);
        ASSERT_EQ(highest, limit) << "table " << k;
      }
    }
    double peak = 0.0;
    for (size_t i = zv::oscillators::kFirstTable; i < set.size(); ++i) peak = std::max(peak, std::abs(double(set[i])));
    EXPECT_NEAR(peak, 0.95, 1e-6);
  }
}

// The saw set played through the oscillator: everything that is not a
// harmonic of the played pitch is aliasing (or interpolation noise).
TEST(WavetableGenerator, SawThroughTheOscillatorKeepsAliasingFiftyDecibelsDown) {
  constexpr int kN = 16384;
  TestHost host;
  host.blockSize = kN;
  AudioModule osc(host, MP_TEXT("Osc ZVQR"));
  for (int pin = 0; pin <= OscZvqr::OFFSET_OUT; ++pin) osc.audio(pin);
  osc.audio(OscZvqr::UNUSED_AUDIO);
  osc.fill(OscZvqr::PHASE_OFFSET, 1.0f);
  osc.fill(OscZvqr::ACTIVE, 1.0f);
  osc.open();
  const auto saw = zvw::generateSet(zvw::Family::Saw);
  std::copy(saw.begin(), saw.end(), host.namedMemory(zv::oscillators::setName(1), -1.0f));

  double worst = -1000.0;
  for (float pitch : {0.23f, 0.4517f, 0.6083f, 0.7714f, 0.9041f, 0.97f}) {
    osc.fill(OscZvqr::PITCH, pitch);
    osc.process(kN, EventList().graphStart().value(0, OscZvqr::MODE, int32_t{2}).value(0, OscZvqr::LEVEL_2, 1.0f));
    const float* out = osc.audio(OscZvqr::OUTPUT);
    // Four-term Blackman-Harris window: side lobes near −92 dB.
    std::vector<float> w(kN);
    for (int i = 0; i < kN; ++i) {
      const double x = 2.0 * kPi * i / kN;
      w[i] = static_cast<float>(
          out[i] * (0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x)));
    }
    const auto m = magnitudes(w.data(), kN);
    const double f0 = 13.75 * std::pow(2.0, pitch * 10.0);
    const double binHz = 44100.0 / kN;
    double fundamental = 0.0, alias = 0.0;
    for (int k = 6; k <= kN / 2; ++k) {
      const double f = k * binHz;
      const double harmonic = std::round(f / f0);
      const bool nearHarmonic = harmonic >= 1 && std::abs(f - harmonic * f0) < 6 * binHz;
      if (nearHarmonic && harmonic == 1) fundamental = std::max(fundamental, m[k]);
      if (!nearHarmonic) alias = std::max(alias, m[k]);
    }
    const double db = 20.0 * std::log10(alias / fundamental);
    std::printf("saw at %.4f (%.1f Hz): largest non-harmonic component %.1f dB\n", pitch, f0, db);
    EXPECT_LT(db, -50.0) << pitch;
    worst = std::max(worst, db);
    osc.open();
  }
  std::printf("saw aliasing, worst: %.1f dB below the fundamental\n", -worst);
}

}  // namespace
