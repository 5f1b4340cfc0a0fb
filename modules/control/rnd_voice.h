// "ZV51MODS VOICE ID": gives each new note a level, random or fixed, and
// scales a signal by it while the module is active.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"

class RndVoice : public MpBase {
 public:
  enum Pin { GATE, SECOND_INPUT, OUTPUT, RANDOM, SIGNAL, RANGE, ACTIVE, OFFSET };

  // The level without Random: a fixed tenth.
  static constexpr float kFixedLevel = 0.1f;

  explicit RndVoice(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

  float level() const { return level_; }

 private:
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);
  // 0 … 32767, the next value of one sequence shared by every instance.
  static int32_t draw();

  FloatInPin gate_;
  AudioInPin secondInput_;  // registered for the host's pin list, never read
  AudioOutPin output_;
  IntInPin randomPin_;
  AudioInPin signal_;
  FloatInPin range_;
  IntInPin active_;
  FloatInPin offset_;

  float level_ = 0.0f;
};
