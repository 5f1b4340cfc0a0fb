// Coefficient tables of the two filters, shared between instances by name
// and sample rate. All are indexed in 1 mV steps of the cutoff control.
#pragma once

#include "frame/interfaces.h"
#include "frame/shared_table.h"

namespace zv::effects {

// 440 Hz · 2^(0.001·i − 5 + octave), rounded to float.
double pitchHz(int32_t i, double octave);

// Stable range of the ladder and high-pass coefficients, applied to the
// entries a mode can read; at 44.1 and 48 kHz they lie inside it already.
inline constexpr float kLadderKMax = 0.95f;
inline constexpr float kHighPassKMin = -0.95f;
inline constexpr float kHighPassKMax = 0.9999f;

struct AllFiltersTables {
  SharedTable ok0;       // four-pole ladder k, 1×
  SharedTable ok0x2;     // four-pole ladder k, 2×
  SharedTable os0;       // resonance scale for k of ok0
  SharedTable oslo;      // resonance scale for k of ok0x2
  SharedTable oslo1;     // resonance scale for k of ok0x2, steeper curve
  SharedTable ohp;       // high-pass kh
  SharedTable osloo1;    // resonance scale for k of ok0, steeper curve
  SharedTable tanh;      // tanh over −1..1
  SharedTable svVolt;    // state-variable F
  SharedTable svRes;     // state-variable F limit by damping amount
  SharedTable k18;       // three-pole ladder k, 1×
  SharedTable r18;       // its resonance scale
  SharedTable k18x2;     // three-pole ladder k, 2×
  SharedTable r18x2;
  SharedTable acr;       // one-pole cascade resonance compensation, 1×
  SharedTable g;         // one-pole cascade gain, 1×
  SharedTable acrX2;
  SharedTable gX2;
  SharedTable acrX4;
  SharedTable gX4;

  // Requests the twenty blocks; each group is filled when its first table
  // is new.
  void open(IMpAudioHost* host, float sampleRate);
};

struct SvfTables {
  SharedTable volt;
  SharedTable res;
  SharedTable p6;
  SharedTable apCos;
  SharedTable apExpA;
  SharedTable apExpB;

  // Requests the six blocks; all are filled when the last one is new.
  void open(IMpAudioHost* host, float sampleRate);
};

}  // namespace zv::effects
