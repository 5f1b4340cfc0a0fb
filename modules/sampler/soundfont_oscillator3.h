// "SampleOscillator3": one voice of a polyphonic patch playing the zones of
// a SoundFont preset that match the note's key and velocity, mixed into a
// left and a right output until every zone has played to its end.
#pragma once

#include <vector>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/sampler/sample_voice.h"
#include "modules/sampler/soundfont_registry.h"

class soundfontUser {
 public:
  virtual ~soundfontUser() = default;

 protected:
  std::vector<const zv::sampler::ZoneRecord*> zones_;
  std::vector<zv::sampler::SampleVoice> voices_;
  zv::sampler::BankHandle heldHandle_ = -1;
};

class SoundfontOscillator3 : public MpBase, public soundfontUser {
 public:
  enum Pin {
    BANK_HANDLE,
    PITCH,
    TRIGGER,
    GATE,
    VELOCITY,
    INTERPOLATION,
    LEFT,
    RIGHT,
    ACTIVE,
    PITCH_MODULATION,
    KEY_FROM_PITCH_ONLY,
  };
  static constexpr size_t kMaxVoices = 64;

  explicit SoundfontOscillator3(IMpUnknown* host,
                                zv::sampler::SoundFontRegistry& registry = zv::sampler::soundFontRegistry());
  ~SoundfontOscillator3() override;

  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

  // For tests and the benchmark.
  const std::vector<zv::sampler::SampleVoice>& voices() const { return voices_; }
  zv::sampler::BankHandle heldHandle() const { return heldHandle_; }
  bool sounding() const { return sounding_; }

 private:
  void noteStart(int32_t position);
  bool setUpVoice(const zv::sampler::ZoneRecord& zone, const zv::sampler::SampleData& data, int32_t key, float hostRate,
                  zv::sampler::SampleVoice& v);
  void chooseRenderer(int32_t position);
  void stopSounding(int32_t position);
  void checkEdges(bool gate, bool trigger, int32_t position);

  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessEdges(int32_t bufferOffset, int32_t sampleFrames);
  template <int32_t Interpolation, bool Tracking>
  void subProcessVoices(int32_t bufferOffset, int32_t sampleFrames);

  zv::sampler::SoundFontRegistry& registry_;
  IntInPin bankHandle_;
  AudioInPin pitch_;
  AudioInPin trigger_;
  AudioInPin gate_;
  AudioInPin velocity_;
  ListInPin interpolation_;
  AudioOutPin left_;
  AudioOutPin right_;
  IntInPin active_;
  AudioInPin pitchModulation_;
  ListInPin keyFromPitchOnly_;

  bool gateState_ = false;
  bool triggerState_ = false;
  bool sounding_ = false;
  MpBlockFunction voiceRenderer_;
};
