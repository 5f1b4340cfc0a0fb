// "INIT Osc ZVQR": loads wavetable files into the three shared wavetable
// sets that every wavetable oscillator reads, and reports per set whether
// it was loaded.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/wide_text.h"

class InitOscZvqr : public MpBase {
 public:
  enum Pin {
    REFERENCE,
    UNUSED_INT,
    FAMILY_1,
    NUMBER_1,
    FAMILY_2,
    NUMBER_2,
    FAMILY_3,
    NUMBER_3,
    STATUS_1,
    STATUS_2,
    STATUS_3,
    UNUSED_AUDIO
  };
  static constexpr float kNotLoaded = 0.000001f;

  explicit InitOscZvqr(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

  // The full name of a family's file beside a reference file; empty when
  // the reference is not a ".zvw" path in a folder, or the family unknown.
  static MpString familyPath(const MpString& reference, int32_t family, int32_t number);

 private:
  void load(int32_t set);

  StringInPin reference_;
  IntInPin unusedInt_;
  IntInPin family_[3];
  IntInPin number_[3];
  FloatOutPin status_[3];
  AudioOutPin unusedAudio_;

  float* sets_[3] = {nullptr, nullptr, nullptr};
  int32_t rememberedFamily_[3] = {-1, -1, -1};
  int32_t rememberedNumber_[3] = {-1, -1, -1};
  bool loadedOnce_ = false;
};
