// "ZV MATRICE 12": one modulator applied to twelve channels, each output the
// product of its input and the modulator; one switch silences all twelve.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"

namespace zv::routing {
constexpr int32_t kMatDouzeChannels = 12;
// out[k][i] = in[k][i] × modulator[i] for every channel k.
void multiplyChannels(const float* modulator, const float* const* inputs, float* const* outputs, int32_t frames);
}  // namespace zv::routing

class MatDouze : public MpBase {
 public:
  enum Pin { MODULATOR = 0, FIRST_INPUT = 1, FIRST_OUTPUT = 13, ACTIVE = 25 };
  static constexpr int32_t input(int32_t channel) { return FIRST_INPUT + channel - 1; }
  static constexpr int32_t output(int32_t channel) { return FIRST_OUTPUT + channel - 1; }

  explicit MatDouze(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);
  void setOutputsStreaming(bool isStreaming);

  AudioInPin modulator_;
  AudioInPin inputs_[zv::routing::kMatDouzeChannels];
  AudioOutPin outputs_[zv::routing::kMatDouzeChannels];
  IntInPin active_;
};
