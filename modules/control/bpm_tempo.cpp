#include "modules/control/bpm_tempo.h"

#include <algorithm>

BpmTempo::BpmTempo(IMpUnknown* host) : MpBase(host) {
  registerPin(TEMPO, tempo_);
  registerPin(GATE, gate_);
  registerPin(TEMPO_SIGNAL, tempoSignal_);
  registerPin(GATE_SIGNAL, gateSignal_);
}

int32_t MP_STDCALL BpmTempo::openModule() {
  // Both outputs only change with a pin, so they are static from the start
  // and the module sleeps between changes.
  setBlockFunction(&BpmTempo::subProcess);
  setSilentBlockFunction(&BpmTempo::subProcess);
  return MpBase::openModule();
}

void BpmTempo::pinsUpdated() {
  if (gate_.isUpdated()) gateSignal_.setStreaming(false);
  if (tempo_.isUpdated()) tempoSignal_.setStreaming(false);
  const float tempo = tempo_;
  // A NaN tempo would poison everything downstream of the signal.
  tempoLevel_ = tempo == tempo ? tempo * 0.1f : 0.0f;
  gateLevel_ = gate_ ? 1.0f : 0.0f;
  setBlockFunction(&BpmTempo::subProcess);
}

void BpmTempo::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(tempoSignal_.buffer() + bufferOffset, sampleFrames, tempoLevel_);
  std::fill_n(gateSignal_.buffer() + bufferOffset, sampleFrames, gateLevel_);
}
