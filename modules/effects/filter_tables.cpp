#include "modules/effects/filter_tables.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "frame/wide_text.h"
#include "modules/dsp/portable_math.h"

namespace zvfilters {

namespace {

constexpr double kPi = std::numbers::pi;

// Last entries the modes can read (vmax × 10000 + 1).
constexpr int32_t kOk0LastRead = 9901;     // vmax 0.99
constexpr int32_t kOk0x2LastRead = 10541;  // corrected cutoff up to 1.054
constexpr int32_t kThreePoleLastRead = 10391;  // vmax 1.039, also the high-pass sections

double polyA(double a) { return 3.516399 * a - 0.52505 * a * a - 1.0; }
double polyH(double a) { return 1.8409 * a - 3.9364 * a * a + 0.9968; }
double polyG(double a) { return 1.873 * a * a * a + 0.4955 * a * a - 0.649 * a + 0.9988; }

double limitBelow(int32_t i, int32_t lastRead, double v, double hi) { return i <= lastRead ? std::min(v, hi) : v; }
double limitBetween(int32_t i, int32_t lastRead, double v, double lo, double hi) {
  return i <= lastRead ? std::clamp(v, lo, hi) : v;
}

// The three-pole curves: a pitch bent towards the top and a falling
// resonance scale.
struct ThreePolePoint {
  double fc;
  double r;
};
ThreePolePoint threePolePoint(int32_t i) {
  const double x = 0.001 * i - 0.4;
  const double y = std::clamp(x + (x - 9.1) * 0.093, 0.0, 10.0);
  return {440.0 * zv::dsp::exp2(y - 5.0), std::max(0.0, 0.102 * (20.8 - (2.0 * x - 7.8)))};
}

double voltEntry(int32_t i, double sr) {
  const auto f = pitchHz(i, 0.0);
  return std::clamp(static_cast<double>(2.0f * static_cast<float>(zv::dsp::sin(static_cast<float>(kPi * f / sr)))), 0.0, 2.0);
}
double dampingLimitEntry(int32_t i) {
  const double q = 0.0512 * i;
  return 0.1 * (q * (0.000025 * q + 0.009) + 7.8);
}

}  // namespace

double pitchHz(int32_t i, double octave) {
  return static_cast<float>(440.0 * zv::dsp::exp2(0.001 * i - 5.0 + octave));
}

void AllFiltersTables::open(IMpAudioHost* host, float sampleRate) {
  const double sr = sampleRate;
  const float rate = sampleRate;
  const bool pitchNew = ok0.open(host, MP_TEXT("ZV51_CS_ok0-pitch"), rate, 10551);
  ok0x2.open(host, MP_TEXT("ZV51_CS_ok0_2-pitch"), rate, 10551);
  os0.open(host, MP_TEXT("ZV51_CS_os0-pitch"), rate, 10551);
  oslo.open(host, MP_TEXT("ZV51_CS_oslo-pitch"), rate, 10551);
  oslo1.open(host, MP_TEXT("ZV51_CS_oslo1-pitch"), rate, 10551);
  ohp.open(host, MP_TEXT("ZV51_CS_ohp-pitch"), rate, 10551);
  osloo1.open(host, MP_TEXT("ZV51_CS_osloo1-pitch"), rate, 10551);
  const bool tanhNew = tanh.open(host, MP_TEXT("ZV51_CS_o_Tanh"), rate, 20001);
  const bool svNew = svVolt.open(host, MP_TEXT("ZV51_CS_SV-volt"), rate, 10001);
  svRes.open(host, MP_TEXT("ZV51_CS_SV-res"), rate, 10001);
  const bool threePoleNew = k18.open(host, MP_TEXT("ZV51_CS_ok0_18_b"), rate, 10401);
  r18.open(host, MP_TEXT("ZV51_CS_or0_18_b"), rate, 10401);
  k18x2.open(host, MP_TEXT("ZV51_CS_ok0_18_bo"), rate, 10401);
  r18x2.open(host, MP_TEXT("ZV51_CS_or0_18_bo"), rate, 10401);
  const bool cascadeNew = acr.open(host, MP_TEXT("ZV51_okacr"), rate, 10501);
  g.open(host, MP_TEXT("ZV51_ok2vg"), rate, 10501);
  acrX2.open(host, MP_TEXT("ZV51_okacro"), rate, 10501);
  gX2.open(host, MP_TEXT("ZV51_ok2vgo"), rate, 10501);
  acrX4.open(host, MP_TEXT("ZV51_okacro4"), rate, 10501);
  gX4.open(host, MP_TEXT("ZV51_ok2vgo4"), rate, 10501);

  if (pitchNew) {
    ok0.fill([&](int32_t i) {
      return limitBelow(i, kOk0LastRead, polyA(2.0 * pitchHz(i, -0.152999) / sr), kLadderKMax);
    });
    ok0x2.fill([&](int32_t i) {
      return limitBelow(i, kOk0x2LastRead, polyA(pitchHz(i, -0.152999) / sr), kLadderKMax);
    });
    os0.fill([&](int32_t i) {
      const double t = (ok0[i] + 1.0) * 0.5;
      return zv::dsp::exp((1.449986 - t) * 1.229991) - 0.930001;
    });
    osloo1.fill([&](int32_t i) { return zv::dsp::exp(3.15 - 1.75 * (ok0[i] + 1.0) * 0.5); });
    oslo.fill([&](int32_t i) {
      const double t2 = (ok0x2[i] + 1.0) * 0.5;
      return zv::dsp::exp((t2 * 0.5 - 0.78) * -2.2) - 1.3;
    });
    oslo1.fill([&](int32_t i) { return zv::dsp::exp(3.15 - 1.75 * (ok0x2[i] + 1.0) * 0.5); });
    ohp.fill([&](int32_t i) {
      const double b = 2.0 * (sr * 0.5 - pitchHz(i, -0.152999)) / sr;
      return limitBetween(i, kThreePoleLastRead, 3.6 * b - 1.5999 * b * b - 1.0, kHighPassKMin, kHighPassKMax);
    });
  }
  if (threePoleNew) {
    auto kOf = [&](int32_t i, double a) {
      return limitBelow(i, kThreePoleLastRead, 3.2 * a - 0.71 * a * a - 0.9987, kLadderKMax);
    };
    k18.fill([&](int32_t i) { return kOf(i, 2.0 * threePolePoint(i).fc / sr); });
    r18.fill([&](int32_t i) { return threePolePoint(i).r * zv::dsp::exp(3.15 - 1.75 * (k18[i] + 1.0) * 0.5); });
    k18x2.fill([&](int32_t i) { return kOf(i, threePolePoint(i).fc / sr); });
    r18x2.fill([&](int32_t i) { return threePolePoint(i).r * zv::dsp::exp(3.15 - 1.75 * (k18x2[i] + 1.0) * 0.5); });
  }
  // Centred on entry 10000 so that the middle entry is exactly tanh(0) = 0.
  if (tanhNew) tanh.fill([](int32_t i) { return zv::dsp::tanh(0.0001 * (i - 10000)); });
  if (svNew) {
    svVolt.fill([&](int32_t i) { return voltEntry(i, sr); });
    svRes.fill([](int32_t i) { return dampingLimitEntry(i); });
  }
  if (cascadeNew) {
    auto gain = [](double fOverRate, double a) { return 1.0 - zv::dsp::exp(-2.0 * kPi * fOverRate * polyG(a)); };
    acr.fill([&](int32_t i) { return polyH(2.0 * pitchHz(i, 0.022) / sr); });
    g.fill([&](int32_t i) {
      const double f = pitchHz(i, 0.022);
      return gain(f / sr, 2.0 * f / sr);
    });
    acrX2.fill([&](int32_t i) { return polyH(pitchHz(i, 0.022) / sr); });
    gX2.fill([&](int32_t i) {
      const double f = pitchHz(i, 0.022);
      return gain(f / (2.0 * sr), f / sr);
    });
    acrX4.fill([&](int32_t i) { return polyH(pitchHz(i, 0.022) / (2.0 * sr)); });
    gX4.fill([&](int32_t i) {
      const double f = pitchHz(i, 0.022);
      return gain(f / (4.0 * sr), f / (2.0 * sr));
    });
  }
}

void SvfTables::open(IMpAudioHost* host, float sampleRate) {
  const double sr = sampleRate;
  volt.open(host, MP_TEXT("ZV51_SV2_volt"), sampleRate, 10001);
  res.open(host, MP_TEXT("ZV51_SV2_res"), sampleRate, 10001);
  p6.open(host, MP_TEXT("ZV51_SE_P6"), sampleRate, 10001);
  apCos.open(host, MP_TEXT("ZV51_SE_AP_COSA"), sampleRate, 10001);
  apExpA.open(host, MP_TEXT("ZV51_SE_AP_EXPA"), sampleRate, 10001);
  if (!apExpB.open(host, MP_TEXT("ZV51_SE_AP_EXPB"), sampleRate, 10001)) return;
  volt.fill([&](int32_t i) { return voltEntry(i, sr); });
  res.fill([](int32_t i) { return dampingLimitEntry(i); });
  p6.fill([&](int32_t i) { return zv::dsp::exp(-2.0 * kPi * pitchHz(i, 0.0) / sr); });
  apCos.fill([&](int32_t i) { return 2.0 * zv::dsp::cos(2.0 * kPi * pitchHz(i, 0.0) / sr); });
  apExpA.fill([&](int32_t i) { return zv::dsp::exp(-kPi * pitchHz(i, 0.0) / sr); });
  apExpB.fill([&](int32_t i) { return zv::dsp::exp(-2.0 * kPi * pitchHz(i, 0.0) / sr); });
}

}  // namespace zvfilters
