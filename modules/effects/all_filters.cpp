#include "modules/effects/all_filters.h"

#include <algorithm>

#include "modules/dsp/math.h"

namespace zv::effects {

void AllFiltersTuning::set(float sampleRate) {
  const bool above = sampleRate > 44100.0f;
  rateGain = above ? 0.918f : 0.93f;
  const float a[12] = {-0.001f,    -0.001f,    -0.000907f, -0.000907f, -0.000873f, -0.000793f,
                       -0.000633f, -0.000323f, 0.00015f,   0.000644f,  -0.000317f, -0.000317f};
  const float b[12] = {0.000868f,  0.000868f,  0.000868f, 0.000465f, 0.000049f,  -0.000221f,
                       -0.000334f, -0.000207f, 0.000185f, 0.000645f, -0.000317f, -0.000317f};
  const float top = above ? 0.179f : 0.18146f;
  const float scale[12] = {0.174f, 0.174f, 0.174f, 0.174f, 0.174f, 0.173f, 0.172f, 0.171f, 0.17f, 0.17f, top, top};
  const float gain[12] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.75f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
  std::copy_n(a, 12, cutoffCorrectionA);
  std::copy_n(b, 12, cutoffCorrectionB);
  std::copy_n(scale, 12, resonanceScale);
  std::copy_n(gain, 12, outputGain);
}

}  // namespace zv::effects

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

bool AllFilters::tablesReady() const {
  const SharedTable* all[] = {&tables_.ok0,   &tables_.ok0x2, &tables_.os0,    &tables_.oslo,  &tables_.oslo1,
                              &tables_.ohp,   &tables_.osloo1, &tables_.tanh,  &tables_.svVolt, &tables_.svRes,
                              &tables_.k18,   &tables_.r18,   &tables_.k18x2,  &tables_.r18x2, &tables_.acr,
                              &tables_.g,     &tables_.acrX2, &tables_.gX2,    &tables_.acrX4, &tables_.gX4};
  return std::all_of(std::begin(all), std::end(all), [](const SharedTable* t) { return t->isOpen(); });
}

void AllFilters::reset() {
  memory_ = AllFiltersMemory{};
  coefficientsStale_ = true;
}

void AllFilters::pinsUpdated() {
  if (reset_.isUpdated() && reset_ > 0.0f) reset();
  const bool active = (signal_.isStreaming() || signal_.getValue() != 0.0f) && tablesReady();
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
