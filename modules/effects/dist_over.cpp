#include "modules/effects/dist_over.h"

#include <algorithm>
#include <cmath>

#include "modules/dsp/portable_math.h"

DistOver::DistOver(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&DistOver::subProcessSilence);
  registerPin(SIGNAL, signal_);
  registerPin(GAIN, gain_);
  registerPin(SPARE, spare_);
  registerPin(MODULATOR, modulator_);
  registerPin(DEPTH, depth_);
  registerPin(DRIVE, drive_);
  registerPin(SHAPE, shape_);
  registerPin(DIVISOR, divisor_);
  registerPin(SPARE_2, spare2_);
  registerPin(OUTPUT, output_);
  registerPin(MODE, mode_);
  registerPin(RESET, reset_);
}

int32_t MP_STDCALL DistOver::openModule() {
  if (table_.open(host(), MP_TEXT("ZV51_DIST_TANH_CS"), -1.0f, kTableEntries)) {
    table_.fill([](int32_t i) { return zv::dsp::tanh(i * 0.0001 - 1.0); });
  }
  clear();
  modeRoutine_ = static_cast<MpBlockFunction>(&DistOver::subProcessSilence);
  setBlockFunction(&DistOver::subProcessSilence);
  return MpBase::openModule();
}

void DistOver::clear() {
  up2_.reset();
  upModulator2_.reset();
  down2_.reset();
  up4_.reset();
  down4_.reset();
  previous_ = previousModulator_ = 0.0f;
}

void DistOver::pinsUpdated() {
  if (reset_.isUpdated() && reset_ > 0.0f) clear();
  const bool noSignal = !signal_.isStreaming() && signal_.getValue() == 0.0f;
  const bool noGain = !gain_.isStreaming() && !(gain_.getValue() > 0.0f);
  if (noSignal || noGain || !table_.isOpen()) {
    clear();
    output_.setStreaming(false);
    setBlockFunction(&DistOver::subProcessSilence);
    setSleepMode(true);
    return;
  }
  if (mode_.isUpdated()) clear();
  static constexpr MpBlockFunction kRoutines[] = {
      static_cast<MpBlockFunction>(&DistOver::subProcessPlain),
      static_cast<MpBlockFunction>(&DistOver::subProcessShaped<2, true>),
      static_cast<MpBlockFunction>(&DistOver::subProcessShaped<2, false>),
      static_cast<MpBlockFunction>(&DistOver::subProcessShaped<4, true>),
      static_cast<MpBlockFunction>(&DistOver::subProcessShaped<4, false>),
      static_cast<MpBlockFunction>(&DistOver::subProcessModulated),
  };
  const int32_t mode = mode_;
  if (mode >= 0 && mode <= 5) modeRoutine_ = kRoutines[mode];
  output_.setStreaming(true);
  setBlockFunction(modeRoutine_);
  setSleepMode(false);
}

void DistOver::subProcessPlain(int32_t bufferOffset, int32_t sampleFrames) {
  const float* signal = signal_.buffer() + bufferOffset;
  const float* gain = gain_.buffer() + bufferOffset;
  const float* modulator = modulator_.buffer() + bufferOffset;
  const float* depth = depth_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  for (int32_t i = 0; i < sampleFrames; ++i) out[i] = zv::effects::distGain(signal[i], gain[i], modulator[i], depth[i]);
}

template <int32_t Factor, bool Weighted>
void DistOver::subProcessShaped(int32_t bufferOffset, int32_t sampleFrames) {
  using Real = decltype(up<Factor>().process(0.0f));
  constexpr float kStep = 1.0f / static_cast<float>(Factor);
  const float* signal = signal_.buffer() + bufferOffset;
  const float* gain = gain_.buffer() + bufferOffset;
  const float* modulator = modulator_.buffer() + bufferOffset;
  const float* depth = depth_.buffer() + bufferOffset;
  const float* drive = drive_.buffer() + bufferOffset;
  const float* shape = shape_.buffer() + bufferOffset;
  const float* divisor = divisor_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  const float* table = table_.data();
  auto& upFilter = up<Factor>();
  auto& downFilter = down<Factor>();

  for (int32_t i = 0; i < sampleFrames; ++i) {
    const float d = zv::effects::distGain(signal[i], gain[i], modulator[i], depth[i]) * drive[i];
    const float step = (d - previous_) * kStep;
    float first = 0.0f;
    for (int32_t j = 1; j <= Factor; ++j) {
      const auto e = static_cast<float>(upFilter.process(static_cast<Real>(previous_ + static_cast<float>(j) * step)));
      const auto r = static_cast<float>(
          downFilter.process(static_cast<Real>(zv::effects::distShape<Weighted>(table, e, shape[i]))));
      if (j == 1) first = r;
    }
    previous_ = d;
    // A zero divisor (or any overflow) yields silence rather than Inf/NaN.
    const float q = first / divisor[i];
    out[i] = std::isfinite(q) ? q : 0.0f;
  }
}

void DistOver::subProcessModulated(int32_t bufferOffset, int32_t sampleFrames) {
  const float* signal = signal_.buffer() + bufferOffset;
  const float* gain = gain_.buffer() + bufferOffset;
  const float* modulator = modulator_.buffer() + bufferOffset;
  const float* depth = depth_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  for (int32_t i = 0; i < sampleFrames; ++i) {
    const float x = signal[i];
    const float m = modulator[i];
    const float stepX = (x - previous_) * 0.5f;
    const float stepM = (m - previousModulator_) * 0.5f;
    float first = 0.0f;
    for (int32_t j = 1; j <= 2; ++j) {
      const float xUp = up2_.process(previous_ + static_cast<float>(j) * stepX);
      const float mUp = upModulator2_.process(previousModulator_ + static_cast<float>(j) * stepM);
      const float r = down2_.process(zv::effects::distGain(xUp, gain[i], mUp, depth[i]));
      if (j == 1) first = r;
    }
    previous_ = x;
    previousModulator_ = m;
    out[i] = first;
  }
}

void DistOver::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
}
