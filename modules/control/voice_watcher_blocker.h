// "SE VoiceWatcherBlocker": copies its input to its output and mirrors the
// input's streaming state.
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"

class VoiceWatcherBlocker : public MpBase {
 public:
  enum Pin { INPUT, OUTPUT };

  explicit VoiceWatcherBlocker(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;
  void graphStarted() override;

 private:
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);

  AudioInPin input_;
  AudioOutPin output_;
};
