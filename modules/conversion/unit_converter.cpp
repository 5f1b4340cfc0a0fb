#include "modules/conversion/unit_converter.h"

#include <cmath>

#include "modules/conversion/number_text.h"

namespace zv::conversion {

namespace {

constexpr float kOneOver440 = 0.0022727272f;
constexpr float kOneOver35 = 0.028571429f;
constexpr float kOneOver9 = 0.11111111f;
constexpr float kOneThird = 0.33333334f;
constexpr float kLn2 = static_cast<float>(0.6931471805599453);
constexpr float kVoltsAt1kHz = 8.666666f;
// The curve of the exponential decibel scale ends at e^-3.
const float kCurveEnd = static_cast<float>(std::exp(-3.0));

}  // namespace

bool convertUnit(int32_t code, float x, float& result) {
  float r = 0.0f;
  switch (code) {
    case 0:  // Hz -> V
      r = x < 0.000001f ? 0.0f : std::log(x * kOneOver440) / kLn2 + 5.0f;
      break;
    case 1:  // dB -> V
      r = x > -35.0f ? x * 9.0f * kOneOver35 + 10.0f : std::exp(x * 0.114f) * 49.393f;
      break;
    case 2: {  // dB -> V on the exponential scale
      const float t = narrowToFloat(std::pow(10.0, static_cast<double>(x) * 0.05));
      r = (std::log(1.0f - (1.0f - t) / (1.0f / (1.0f - kCurveEnd))) * kOneThird + 1.0f) * 10.0f;
      break;
    }
    case 3:  // ms -> V
      r = x < 0.000001f ? 0.0f : (std::log10(x * 0.001f) + 3.0f) * 2.5f;
      break;
    case 4:  // Hz -> V, 1 kHz at 8.67 V
      r = x > 1.0f ? std::log(x * 0.001f) / kLn2 + kVoltsAt1kHz : 0.0f;
      break;
    case 100: {  // V -> Hz
      const double v = x != x ? static_cast<double>(x) : (x < -20.0f ? -20.0 : (x > 20.0f ? 20.0 : x));
      r = static_cast<float>(std::pow(2.0, v - 5.0) * 440.0);
      break;
    }
    case 101:  // V -> dB
      r = x <= 0.0f ? -70.0f : (x <= 1.0f ? x * 35.0f - 70.0f : (x - 10.0f) * 35.0f * kOneOver9);
      break;
    case 102: {  // V -> dB, inverse of code 2
      const float y = std::exp((x * 0.1f - 1.0f) * 3.0f);
      const float c = 1.0f - (1.0f - y) * (1.0f / (1.0f - kCurveEnd));
      // Zero and below are beyond the bottom of the scale, not -infinity.
      r = c <= 0.0f ? -200.0f : std::log10(c) * 20.0f;
      break;
    }
    case 103:  // V -> ms
      r = narrowToFloat(std::pow(10.0, static_cast<double>(x) * 0.4 - 3.0) * 1000.0);
      break;
    case 104:  // V -> Hz, inverse of code 4
      r = x > 0.0f ? narrowToFloat(std::pow(2.0, static_cast<double>(x) - 8.666666) * 1000.0) : 0.0f;
      break;
    default: return false;
  }
  result = r;
  return true;
}

}  // namespace zv::conversion

UnitConverter::UnitConverter(IMpUnknown* host) : MpBase(host) {
  registerPin(VALUE, value_);
  registerPin(RESULT, result_);
  registerPin(CONVERSION, conversion_);
}

void UnitConverter::pinsUpdated() {
  float r = 0.0f;
  if (zv::conversion::convertUnit(conversion_, value_, r)) result_ = r;
}
