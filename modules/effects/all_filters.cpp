#include "modules/effects/all_filters.h"

#include <algorithm>

#include "modules/dsp/math.h"

using namespace zv::effects;
using zv::dsp::SvfTap;

const AllFilters::Routine AllFilters::kRoutines[kModeCount] = {
    &AllFilters::subProcess<LadderCubic2x>,                     // 0
    &AllFilters::subProcess<Ladder>,                            // 1
    &AllFilters::subProcess<LadderTanh2x>,                      // 2
    &AllFilters::subProcess<Cascade>,                           // 3
    &AllFilters::subProcess<CascadeTanh4x<false>>,              // 4
    &AllFilters::subProcess<CascadeBlended2x>,                  // 5
    &AllFilters::subProcess<ThreePole2x<false>>,                // 6
    &AllFilters::subProcess<DualLadder<false>>,                 // 7
    &AllFilters::subProcess<DualLadder<true>>,                  // 8
    &AllFilters::subProcess<LadderScaledInput>,                 // 9
    &AllFilters::subProcess<ThreePole<Tap::Y3, 0, false>>,      // 10
    &AllFilters::subProcess<ThreePole<Tap::Y3, 4, false>>,      // 11
    &AllFilters::subProcess<ThreePole<Tap::Y3, 3, false>>,      // 12
    &AllFilters::subProcess<ThreePole<Tap::Y2, 0, true>>,       // 13
    &AllFilters::subProcess<ThreePole<Tap::Y2, 4, true>>,       // 14
    &AllFilters::subProcess<ThreePole<Tap::Y2, 3, true>>,       // 15
    &AllFilters::subProcess<ThreePole<Tap::Y1, 0, true>>,       // 16
    &AllFilters::subProcess<ThreePole<Tap::Y1, 4, true>>,       // 17
    &AllFilters::subProcess<ThreePole<Tap::Y1, 3, true>>,       // 18
    &AllFilters::subProcess<ThreePole<Tap::Raw, 4, false>>,     // 19
    &AllFilters::subProcessBypass,                              // 20
    &AllFilters::subProcess<CascadeTanh4x<true>>,               // 21
    &AllFilters::subProcess<ThreePole2x<true>>,                 // 22
    &AllFilters::subProcess<DampedPair<SvfTap::Low>>,           // 23
    &AllFilters::subProcess<DampedPair<SvfTap::High>>,          // 24
    &AllFilters::subProcess<DampedPair<SvfTap::Band>>,          // 25
    &AllFilters::subProcess<DampedPair<SvfTap::Notch>>,         // 26
    &AllFilters::subProcess<SingleSection<SvfTap::Low>>,        // 27
    &AllFilters::subProcess<SingleSection<SvfTap::High>>,       // 28
    &AllFilters::subProcess<SingleSection<SvfTap::Band>>,       // 29
    &AllFilters::subProcess<DrivenPair<SvfTap::Low>>,           // 30
    &AllFilters::subProcess<DrivenPair<SvfTap::High>>,          // 31
    &AllFilters::subProcess<DrivenPair<SvfTap::Band>>,          // 32
    &AllFilters::subProcess<NotchPair>,                         // 33
    &AllFilters::subProcess<TunedLadder2x<true>>,               // 34
    &AllFilters::subProcess<TunedLadder2x<false>>,              // 35
};

AllFilters::AllFilters(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&AllFilters::subProcessSilence);
  registerPin(SIGNAL, signal_);
  registerPin(CUTOFF, cutoff_);
  registerPin(RESONANCE, resonance_);
  registerPin(OUTPUT, output_);
  registerPin(MODE, mode_);
  registerPin(SPARE, spare_);
  registerPin(MIX, mix_);
  registerPin(RESET, reset_);
}

int32_t AllFilters::openModule() {
  const float rate = zv::dsp::usableSampleRate(hostSampleRate());
  tables_.open(host(), rate);
  tuning_.set(rate);
  context_.tables = &tables_;
  context_.tuning = &tuning_;
  context_.tanh = zv::dsp::TanhTable(tables_.tanh.data());
  reset();
  // Until the inputs say otherwise there is nothing to filter.
  setBlockFunction(&AllFilters::subProcessSilence);
  return MpBase::openModule();
}

void AllFilters::reset() {
  memory_ = AllFiltersMemory{};
  coefficientsStale_ = true;
}

void AllFilters::pinsUpdated() {
  if (reset_.isUpdated() && reset_ > 0.0f) reset();
  const bool active = (signal_.isStreaming() || signal_.getValue() != 0.0f) && tables_.complete();
  if (active) {
    if (mode_.isUpdated()) reset();
    output_.setStreaming(true);
    const int32_t mode = mode_;
    if (mode >= 0 && mode < kModeCount) setBlockFunction(kRoutines[mode]);
    setSleepMode(false);
  } else {
    reset();
    output_.setStreaming(false);
    setBlockFunction(&AllFilters::subProcessSilence);
    setSleepMode(true);
  }
}

template <class Mode>
void AllFilters::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  const float* in = signal_.buffer() + bufferOffset;
  const float* cutoff = cutoff_.buffer() + bufferOffset;
  const float* resonance = resonance_.buffer() + bufferOffset;
  const float* mix = mix_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  for (int32_t i = 0; i < sampleFrames; ++i) {
    if (coefficientsStale_ || cutoff[i] != cachedCutoff_ || resonance[i] != cachedResonance_) {
      cachedCutoff_ = cutoff[i];
      cachedResonance_ = resonance[i];
      coefficientsStale_ = false;
      Mode::set(coefficients_, context_, cutoff[i], usableResonance(resonance[i]), mix[i]);
    }
    out[i] = Mode::tick(memory_, coefficients_, context_, in[i], mix[i]);
  }
}

void AllFilters::subProcessBypass(int32_t bufferOffset, int32_t sampleFrames) {
  std::copy_n(signal_.buffer() + bufferOffset, sampleFrames, output_.buffer() + bufferOffset);
}

void AllFilters::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
}
