// "Osc ZVQR": band-limited wavetable oscillator with five wave modes, an
// optional restart crossfade on retrigger, and its phase-wrap value,
// increment and table position on four state outputs (for a synced slave).
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/shared_table.h"
#include "modules/oscillators/wavetable_kernel.h"

class OscZvqr : public MpBase {
 public:
  enum Pin {
    PITCH,
    PHASE_OFFSET,
    SHAPE,
    ACTIVE,
    GATE,
    OUTPUT,
    WRAP_OUT,
    INCREMENT_OUT,
    FRACTION_OUT,
    OFFSET_OUT,
    UNUSED_INT,
    MODE,
    RETRIGGER,
    UNUSED_AUDIO,
    LEVEL_1,
    LEVEL_2,
    LEVEL_3,
    PHASE_RESET
  };

  explicit OscZvqr(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

  const zv::oscillators::Voice& voice() const { return voice_; }

 private:
  template <class Mode, bool Restart, bool Static>
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);
  void chooseRendering();
  void applyRendering();
  void stop();

  AudioInPin pitch_;
  AudioInPin phaseOffset_;
  AudioInPin shape_;
  AudioInPin active_;
  AudioInPin gate_;
  AudioOutPin output_;
  AudioOutPin wrapOut_;
  AudioOutPin incrementOut_;
  AudioOutPin fractionOut_;
  AudioOutPin offsetOut_;
  IntInPin unusedInt_;
  IntInPin mode_;
  IntInPin retrigger_;
  AudioInPin unusedAudio_;
  FloatInPin level1_;
  FloatInPin level2_;
  FloatInPin level3_;
  FloatInPin phaseReset_;

  zv::oscillators::Sets sets_;
  SharedTable increments_;
  zv::oscillators::Voice voice_;
  zv::oscillators::RetriggerArming arming_;
  int32_t samplesPerMs_ = 44;
  bool running_ = false;
  bool started_ = false;
  // The routine in force: wave mode (-1 silent) and restart variant. Its
  // static or streaming-input instance follows the inputs' streaming.
  int32_t routineMode_ = -1;
  bool routineRestart_ = false;
};
