// Coefficient tables of the two filters, shared between instances by name
// and sample rate. All are indexed in 1 mV steps of the cutoff control.
//
// The modes read them through plain views; where the memory comes from is
// the caller's business: the host's named blocks (open) or, without a host,
// storage of the caller's own (fillInto).
#pragma once

#include <cstdint>

#include "frame/interfaces.h"
#include "modules/dsp/table_view.h"

namespace zv::effects {

// 440 Hz · 2^(0.001·i − 5 + octave), rounded to float.
double pitchHz(int32_t i, double octave);

// Stable range of the ladder and high-pass coefficients, applied to the
// entries a mode can read; at 44.1 and 48 kHz they lie inside it already.
inline constexpr float kLadderKMax = 0.95f;
inline constexpr float kHighPassKMin = -0.95f;
inline constexpr float kHighPassKMax = 0.9999f;

struct AllFiltersTables {
  zv::dsp::TableView ok0;     // four-pole ladder k, 1×
  zv::dsp::TableView ok0x2;   // four-pole ladder k, 2×
  zv::dsp::TableView os0;     // resonance scale for k of ok0
  zv::dsp::TableView oslo;    // resonance scale for k of ok0x2
  zv::dsp::TableView oslo1;   // resonance scale for k of ok0x2, steeper curve
  zv::dsp::TableView ohp;     // high-pass kh
  zv::dsp::TableView osloo1;  // resonance scale for k of ok0, steeper curve
  zv::dsp::TableView tanh;    // tanh over −1..1
  zv::dsp::TableView svVolt;  // state-variable F
  zv::dsp::TableView svRes;   // state-variable F limit by damping amount
  zv::dsp::TableView k18;     // three-pole ladder k, 1×
  zv::dsp::TableView r18;     // its resonance scale
  zv::dsp::TableView k18x2;   // three-pole ladder k, 2×
  zv::dsp::TableView r18x2;
  zv::dsp::TableView acr;  // one-pole cascade resonance compensation, 1×
  zv::dsp::TableView g;    // one-pole cascade gain, 1×
  zv::dsp::TableView acrX2;
  zv::dsp::TableView gX2;
  zv::dsp::TableView acrX4;
  zv::dsp::TableView gX4;

  // Floats the twenty tables take, spares included.
  static const int32_t kStorageValues;

  // Requests the twenty blocks; a group of tables is filled when any of
  // its blocks is new.
  void open(IMpAudioHost* host, float sampleRate);
  // Fills every table into kStorageValues floats at `storage`.
  void fillInto(float* storage, float sampleRate);
  // True once every table has its memory.
  bool complete() const;
};

struct SvfTables {
  zv::dsp::TableView volt;
  zv::dsp::TableView res;
  zv::dsp::TableView p6;
  zv::dsp::TableView apCos;
  zv::dsp::TableView apExpA;
  zv::dsp::TableView apExpB;

  static const int32_t kStorageValues;

  // Requests the six blocks; all are filled when any of them is new.
  void open(IMpAudioHost* host, float sampleRate);
  void fillInto(float* storage, float sampleRate);
  bool complete() const;
};

}  // namespace zv::effects
