// "SE Voice Mute": passes a voice's signal while the voice is active and
// fades it out when the voice ends: over 5 ms when the voice was stolen
// (Voice/Active below 0), over 20 ms when it was released (0). The fades
// are raised-sine curves shared by every instance at one sample rate.
// Legacy mode holds the first three samples of each onset at zero.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/mp_base.h"
#include "frame/pins.h"

namespace zv::control {

// Rises from 0 at i = 0 to 1 at i = length, half a sine period, flat at
// both ends.
float raisedSine(int32_t i, int32_t length);

}  // namespace zv::control

class VoiceMute : public MpBase {
 public:
  enum Pin { INPUT1, VOICE_ACTIVE, OUTPUT, LEGACY_MODE };

  static constexpr int32_t kLegacyOnset = 4;
  // Longest fade, whatever rate the host reports.
  static constexpr int32_t kMaxFade = 65536;

  explicit VoiceMute(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;
  void graphStarted() override;

  int32_t fastFadeLength() const { return fast_.length; }
  int32_t slowFadeLength() const { return slow_.length; }

 private:
  struct Curve {
    const float* data = nullptr;
    int32_t length = 1;
  };
  void announceOutput();
  void openCurve(Curve& curve, const MpChar* name, float rate, float seconds, std::vector<float>& fallback);

  void subProcessPass(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessDelayedPass(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessFade(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);

  AudioInPin input_;
  FloatInPin voiceActive_;
  AudioOutPin output_;
  BoolInPin legacyMode_;

  Curve fast_;
  Curve slow_;
  // Used only when the host has no shared memory to give.
  std::vector<float> fastFallback_;
  std::vector<float> slowFallback_;

  const float* curve_ = nullptr;
  int32_t fadeCountdown_ = 0;
  int32_t onsetCountdown_ = 0;
  bool lastActive_ = false;
  bool passing_ = true;
};
