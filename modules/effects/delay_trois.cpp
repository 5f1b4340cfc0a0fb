#include "modules/effects/delay_trois.h"

#include <algorithm>
#include <cmath>

#include "modules/dsp/pan_law.h"

namespace {

using zv::dsp::sameValue;

constexpr int32_t kPanEntries = zv::dsp::kPanLawEntries;
constexpr float kMaxSampleRate = 1.0e6f;

}  // namespace

DelayTrois::DelayTrois(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&DelayTrois::subProcessSilence);
  registerPin(SIGNAL, signal_);
  registerPin(FEEDBACK, feedback_);
  registerPin(TIME, time_);
  registerPin(TIME_OFFSET, timeOffset_);
  registerPin(LEVEL, level_);
  registerPin(PAN, pan_);
  registerPin(CLEAR, clear_);
  registerPin(VOLUME, volume_);
  registerPin(LEFT_OUT, leftOut_);
  registerPin(RIGHT_OUT, rightOut_);
  registerPin(DELAY_OUT, delayOut_);
  registerPin(ON, on_);
  registerPin(INTERPOLATION, interpolation_);
}

int32_t MP_STDCALL DelayTrois::openModule() {
  const bool newSin = sin_.open(host(), MP_TEXT("ZV51_Delay_SIN"), -1.0f, kPanEntries);
  const bool newCos = cos_.open(host(), MP_TEXT("ZV51_Delay_COS"), -1.0f, kPanEntries);
  // Either block alone being new would leave it unfilled, so both are filled.
  if (newSin || newCos) {
    sin_.fill(zv::dsp::panLawSine);
    cos_.fill(zv::dsp::panLawCosine);
  }

  float rate = hostSampleRate();
  rate = zv::dsp::clampTo(rate, 0.0f, kMaxSampleRate);
  line_.allocate(static_cast<int32_t>(rate * 10.0f));
  timeScale_ = rate * 0.01f;
  y_ = 0.0f;
  running_ = false;

  // Defined state even for a block rendered before any conversion.
  cachedTime_ = cachedOffset_ = cachedFeedback_ = cachedPan_ = 0.0f;
  setTime(0.0f, 0.0f);
  setFeedback(0.0f);
  setPan(0.0f);
  convertAll_ = true;
  setBlockFunction(&DelayTrois::subProcessSilence);
  return MpBase::openModule();
}

void DelayTrois::pinsUpdated() {
  if (on_ != 1 || !(level_.getValue() > 0.0f)) {
    stop();
    return;
  }
  if (!running_) {
    start();
  } else if (clear_.isUpdated() && clear_.getValue() != 0.0f) {
    y_ = 0.0f;
    line_.clear();
  }
  if (interpolation_ == 1) {
    setBlockFunction(&DelayTrois::subProcess<true>);
  } else {
    setBlockFunction(&DelayTrois::subProcess<false>);
  }
}

void DelayTrois::stop() {
  // A stopped line is already empty; skip the ten-second wipe on every update.
  if (running_) line_.clear();
  y_ = 0.0f;
  running_ = false;
  setOutputsStreaming(false);
  setBlockFunction(&DelayTrois::subProcessSilence);
  setSleepMode(true);
}

void DelayTrois::start() {
  running_ = true;
  line_.restart();
  y_ = 0.0f;
  convertAll_ = true;
  setOutputsStreaming(true);
  setSleepMode(false);
}

void DelayTrois::setOutputsStreaming(bool streaming) {
  leftOut_.setStreaming(streaming);
  rightOut_.setStreaming(streaming);
  delayOut_.setStreaming(streaming);
}

void DelayTrois::setTime(float time, float offset) {
  cachedTime_ = time;
  cachedOffset_ = offset;
  line_.setDistance(zv::effects::delayDistance(timeScale_, time, offset, line_.length()));
}

void DelayTrois::setFeedback(float feedback) {
  cachedFeedback_ = feedback;
  fb_ = zv::effects::delayFeedback(feedback);
}

void DelayTrois::setPan(float pan) {
  cachedPan_ = pan;
  if (!sin_.isOpen() || !cos_.isOpen()) {
    leftGain_ = rightGain_ = 0.0f;
    return;
  }
  const float p = zv::dsp::clampTo(pan, 0.0f, 1.0f);
  leftGain_ = cos_.atControl(p);
  rightGain_ = sin_.atControl(p);
}

template <bool Cubic>
void DelayTrois::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  if (sampleFrames <= 0) return;
  const float* signal = signal_.buffer() + bufferOffset;
  const float* feedback = feedback_.buffer() + bufferOffset;
  const float* time = time_.buffer() + bufferOffset;
  const float* offset = timeOffset_.buffer() + bufferOffset;
  const float* level = level_.buffer() + bufferOffset;
  const float* pan = pan_.buffer() + bufferOffset;
  const float* volume = volume_.buffer() + bufferOffset;
  float* left = leftOut_.buffer() + bufferOffset;
  float* right = rightOut_.buffer() + bufferOffset;
  float* delayed = delayOut_.buffer() + bufferOffset;

  if (convertAll_) {
    convertAll_ = false;
    setTime(time[0], offset[0]);
    setFeedback(feedback[0]);
    setPan(pan[0]);
  }
  for (int32_t i = 0; i < sampleFrames; ++i) {
    if (!sameValue(time[i], cachedTime_) || !sameValue(offset[i], cachedOffset_)) setTime(time[i], offset[i]);
    if (!sameValue(feedback[i], cachedFeedback_)) setFeedback(feedback[i]);
    // Level is not limited, so the loop gain can pass 1: the line holds what
    // it is given up to the state limit, and a NaN or Inf on Signal or Level
    // leaves nothing behind.
    line_.write(zv::dsp::storeState(y_ * fb_ + signal[i]));
    const float x = line_.read<Cubic>();
    y_ = Cubic ? x * 0.95f * level[i] : x * level[i];
    if (!sameValue(pan[i], cachedPan_)) setPan(pan[i]);
    const float v = y_ * volume[i];
    left[i] = v * leftGain_;
    right[i] = v * rightGain_;
    delayed[i] = y_;
  }
}

void DelayTrois::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(leftOut_.buffer() + bufferOffset, sampleFrames, 0.0f);
  std::fill_n(rightOut_.buffer() + bufferOffset, sampleFrames, 0.0f);
  std::fill_n(delayOut_.buffer() + bufferOffset, sampleFrames, 0.0f);
}
