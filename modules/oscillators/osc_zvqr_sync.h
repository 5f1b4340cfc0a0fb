// "Osc ZVQR Sync": the wavetable oscillator with oscillator sync, either
// following an external master's state outputs with crossfaded phase resets,
// or running its own master at 2, 4 or 8 times the sample rate and
// decimating through an eighth-order low-pass.
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/shared_table.h"
#include "modules/oscillators/decimation_filter.h"
#include "modules/oscillators/wavetable_kernel.h"

class OscZvqrSync : public MpBase {
 public:
  enum Pin {
    PITCH,
    PHASE_OFFSET,
    SHAPE,
    ACTIVE,
    GATE,
    MASTER_PITCH,
    MASTER_WRAP,
    MASTER_INCREMENT,
    MASTER_FRACTION,
    MASTER_OFFSET,
    OUTPUT,
    SYNC,
    SYNC_KIND,
    UNUSED_INT,
    MODE,
    RETRIGGER,
    UNUSED_AUDIO,
    LEVEL_1,
    LEVEL_2,
    LEVEL_3,
    PHASE_RESET,
    SOFTNESS
  };
  // Calls of an internal-master routine that stay unfiltered while the
  // decimation filter settles.
  static constexpr int32_t kSettlingCalls = 102;

  explicit OscZvqrSync(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

  // The oversampling factor (2, 4 or 8) of a sync kind below -1.
  static int32_t internalFactor(int32_t kind);

  const zv::oscillators::Voice& voice() const { return voice_; }
  bool filterBypassed() const { return bypass_; }

 private:
  template <class Mode, bool Restart>
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);
  template <class Mode>
  void subProcessExternal(int32_t bufferOffset, int32_t sampleFrames);
  template <class Mode, int32_t Factor>
  void subProcessInternal(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);
  void chooseRendering();
  void stop();

  AudioInPin pitch_;
  AudioInPin phaseOffset_;
  AudioInPin shape_;
  AudioInPin active_;
  AudioInPin gate_;
  AudioInPin masterPitch_;
  AudioInPin masterWrap_;
  AudioInPin masterIncrementIn_;
  AudioInPin masterFraction_;
  AudioInPin masterOffset_;
  AudioOutPin output_;
  IntInPin sync_;
  IntInPin kind_;
  IntInPin unusedInt_;
  IntInPin mode_;
  IntInPin retrigger_;
  AudioInPin unusedAudio_;
  FloatInPin level1_;
  FloatInPin level2_;
  FloatInPin level3_;
  FloatInPin phaseReset_;
  AudioInPin softness_;

  zv::oscillators::Sets sets_;
  SharedTable increments_[4];  // factors 1, 2, 4, 8
  zv::oscillators::Voice voice_;
  zv::oscillators::RetriggerArming arming_;
  int32_t samplesPerMs_ = 44;
  bool running_ = false;
  bool started_ = false;

  // External master.
  float followPhase_ = 0.0f;
  float fadeRange_ = 0.0f;  // pin 12 in volts when above 0, else 0

  // Internal master.
  float lastMasterPitch_ = 0.0f;
  bool masterPitchStale_ = true;  // the next usable master pitch is looked up
  zv::oscillators::TableChoice masterTables_;
  float masterIncrement_ = 1.0f;
  float masterPhase_ = 0.0f;
  float incrementRatio_ = 1.0f;  // slave increment / master increment
  float previousOutput_ = 0.0f;
  zv::oscillators::DecimationFilter filters_[3];
  bool bypass_ = true;
  int32_t calls_ = 0;
  int32_t rememberedKind_ = 0;
};
