#include "modules/control/prg_ch.h"

#include <algorithm>
#include <cstdint>

#include "modules/control/midi_message.h"
#include "modules/dsp/math.h"

namespace {

// Window length in samples for a Duration value; a NaN, negative or huge
// Duration never reaches the integer conversion unclamped.
int64_t windowSamples(float duration, float samplesPerUnit) {
  constexpr float kLongest = 2147483520.0f;  // the largest float below 2^31
  return static_cast<int64_t>(zv::dsp::clampOr(duration * samplesPerUnit, 0.0f, kLongest, 0.0f));
}

}  // namespace

PrgCh::PrgCh(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&PrgCh::subProcessSilence);
  registerPin(PROGRAM, program_);
  registerPin(SIGNAL, signal_);
  registerPin(DURATION, duration_);
  registerPin(OUTPUT, output_);
  registerPin(MIDI_IN, midiIn_);
  registerPin(MODE, mode_);
}

int32_t MP_STDCALL PrgCh::openModule() {
  opened_ = true;
  armed_ = false;
  samplesPerUnit_ = hostSampleRate() * 0.01f;
  setBlockFunction(&PrgCh::subProcessSilence);
  return MpBase::openModule();
}

void PrgCh::openWindow() {
  passed_ = 0;
  after_ = 0;
  output_.setStreaming(true);
  setBlockFunction(&PrgCh::subProcessWindow);
}

void PrgCh::pinsUpdated() {
  if (opened_ && mode_ == WINDOW_AT_START) openWindow();
  if (program_.isUpdated() && !opened_) {
    if (mode_ == WINDOW_AFTER_CHANGE) {
      openWindow();
    } else if (mode_ == UNTIL_NOTE && !armed_) {
      armed_ = true;
      output_.setStreaming(true);
      setBlockFunction(&PrgCh::subProcessPass);
    }
  }
  opened_ = false;
}

void PrgCh::midiReceived(int32_t, const unsigned char* data, int32_t size) {
  using namespace zv::control;
  if (data == nullptr || size < 3 || (data[0] & 0xF0) != kNoteOn || data[2] == 0) return;
  if (!armed_ || mode_ != UNTIL_NOTE) return;
  armed_ = false;
  output_.setStreaming(false);
  setBlockFunction(&PrgCh::subProcessSilence);
}

void PrgCh::subProcessPass(int32_t bufferOffset, int32_t sampleFrames) {
  const float* in = signal_.buffer() + bufferOffset;
  std::copy(in, in + sampleFrames, output_.buffer() + bufferOffset);
}

void PrgCh::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
}

void PrgCh::subProcessWindow(int32_t bufferOffset, int32_t sampleFrames) {
  const float* in = signal_.buffer() + bufferOffset;
  const float* duration = duration_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  int64_t length = 0;
  for (int32_t i = 0; i < sampleFrames; ++i) {
    length = windowSamples(duration[i], samplesPerUnit_);
    if (passed_ < length) {
      out[i] = in[i];
      ++passed_;
      after_ = 0;
    } else {
      out[i] = 0.0f;
      ++after_;
    }
  }
  // A whole stretch of zeros past the window: the output can rest.
  if (after_ >= sampleFrames && passed_ >= length) {
    output_.setStreaming(false, bufferOffset);
    setBlockFunction(&PrgCh::subProcessSilence);
  }
}

PrgChGui::PrgChGui(IMpUnknown* host) : MpGuiBase(host) {
  value_.initialize(this, 0);
  valueIn_.initialize(this, 1, &PrgChGui::onValueIn);
}

void PrgChGui::onValueIn() { value_ = valueIn_.getValue(); }
