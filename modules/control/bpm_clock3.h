// "ZV BPM Clock3": a square clock at a musical division of the tempo,
// phase-locked to a song position, and the clock's frequency.
//
// The Clock output is a series of static levels, one per edge: after each
// edge the level is written until the host's buffer holds it throughout,
// then nothing is written until the next edge, so the clock costs nothing
// between edges and its consumers can sleep. The block function works in
// runs between edges, never testing per sample.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"

namespace zv::control {

// Beats per clock cycle for a Division code: -n beats below 0, 1/n above,
// 8 at 0. Negated in 64 bits, so the most negative code is 2^31 beats.
float cycleBeats(int32_t division);

// Phase advance per sample, Tempo / (rate × beats × 60) in single precision.
// 0 (the level holds) unless the result is finite and above 0; at most 0.5,
// one edge per sample.
double clockIncrement(float tempo, float sampleRate, int32_t division);

// The Frequency pin: Tempo × Division / 60 for Division ≥ 0 (so 0 at 0),
// Tempo / (−Division) / 60 below.
float clockFrequency(float tempo, int32_t division);

// How far `phase` is ahead of the phase that `position` (beats) implies,
// in cycles, folded into about ±0.5.
double phaseError(float position, double phase, int32_t division);

}  // namespace zv::control

class BpmClock3 : public MpBase {
 public:
  enum Pin { TEMPO, POSITION, DIVISION, CLOCK, RESYNC, ACTIVE, FREQUENCY };

  explicit BpmClock3(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  void stop();
  void scheduleEdge();
  void syncPhase();
  void edge(int32_t position);
  void newLevel(int32_t position);
  void write(int32_t from, int32_t to);

  void subProcessClock(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessHeld(int32_t bufferOffset, int32_t sampleFrames);

  FloatInPin tempo_;
  FloatInPin position_;
  IntInPin division_;
  AudioOutPin clock_;
  BoolInPin resync_;
  IntInPin active_;
  FloatOutPin frequency_;

  float sampleRate_ = 44100.0f;
  int32_t blockSize_ = 1;

  double phase_ = 1.0;  // cycles; high in [0, 0.5), low in [0.5, 1)
  double increment_ = 0.0;
  int64_t edgeIn_ = 0;  // samples before the next edge
  // edgeIn_ when phase_ was last brought up to date: blocks without an edge
  // only count down, and the phase catches up at events and edges.
  int64_t edgeAtSync_ = 0;
  float level_ = 0.0f;
  bool resyncPending_ = false;  // cycles shortened to four beats until the next rising edge
  bool running_ = false;

  // The buffer holds the level everywhere once one run of writes has
  // covered [0, runEnd) within a block and [tailFrom_, blockSize_) is
  // known to hold it from an earlier block.
  bool writing_ = true;
  int32_t runStart_ = 0;
  int32_t tailFrom_ = 1;
};
