// Quarter-turn sine and cosine tables of the equal-power pan law, shared by
// the stereo pan and the delay: entry i (0..10000) is at the angle
// i × 0.0001 × π/2; the 1e-7 keeps both gains off exact zero.
#pragma once

#include <cstdint>

#include "modules/dsp/portable_math.h"

namespace zv::dsp {

constexpr int32_t kPanLawEntries = 10001;

inline float panLawAngle(int32_t i) { return static_cast<float>(i) * 0.0001f * 3.1415927f * 0.5f; }
inline float panLawSine(int32_t i) { return static_cast<float>(zv::dsp::sin(panLawAngle(i))) + 1e-7f; }
inline float panLawCosine(int32_t i) { return static_cast<float>(zv::dsp::cos(panLawAngle(i))) + 1e-7f; }

}  // namespace zv::dsp
