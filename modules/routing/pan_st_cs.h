// "ZV PanST CS": equal-power stereo pan from two shared quarter-sine tables.
// Mode 0 pans the mono sum; mode 1 rotates the pair from straight through
// (Pan 0) over mono (0.5) to swapped channels (1).
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/shared_table.h"
#include "modules/dsp/pan_law.h"

namespace zv::routing {

struct PanGains {
  float cosine = 1.0f;
  float sine = 0.0f;
};
// Gains for a Pan value; anything outside 0..1 (NaN too) takes the nearer end.
PanGains panGainsAt(const SharedTable& sinTable, const SharedTable& cosTable, float pan);

}  // namespace zv::routing

class PanStCS : public MpBase {
 public:
  enum Pin { LEFT_IN, RIGHT_IN, PAN, LEFT_OUT, RIGHT_OUT, MODE };

  explicit PanStCS(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  template <int32_t Mode>
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);
  void setOutputsStreaming(bool isStreaming);

  AudioInPin leftIn_;
  AudioInPin rightIn_;
  AudioInPin pan_;
  AudioOutPin leftOut_;
  AudioOutPin rightOut_;
  IntInPin mode_;

  SharedTable sin_;
  SharedTable cos_;
  zv::routing::PanGains gains_;
  float cachedPan_ = 0.0f;
  bool panStale_ = true;  // the next block converts Pan first
  // The routine of the last valid mode, kept for unknown Mode values.
  MpBlockFunction modeRoutine_ = nullptr;
};
