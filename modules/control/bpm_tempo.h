// "ZV BPM Tempo": a tempo value and a boolean as two audio-rate signals.
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"

class BpmTempo : public MpBase {
 public:
  // The Tempo signal is pin 2 and the Gate signal pin 3.
  enum Pin { TEMPO, GATE, TEMPO_SIGNAL, GATE_SIGNAL };

  explicit BpmTempo(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);

  FloatInPin tempo_;
  BoolInPin gate_;
  AudioOutPin tempoSignal_;
  AudioOutPin gateSignal_;

  float tempoLevel_ = 0.0f;
  float gateLevel_ = 0.0f;
};
