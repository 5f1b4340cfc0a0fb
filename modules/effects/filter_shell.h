// What the multi-mode and the state-variable filter share around their
// modes: pins 0..6 and a reset pin, the silent, bypass and per-mode
// routines, coefficients recomputed only when Cutoff or Resonance change,
// and the choice between running and sleeping.
//
// Kernel supplies the Context, Coefficients and Memory types its modes
// use, and resonance(r): how Resonance reaches the modes. A mode with
// kReadsResonance false is not recomputed for Resonance changes.
#pragma once

#include <algorithm>
#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/dsp/math.h"

namespace zv::effects {

template <class Kernel>
class FilterShell : public MpBase {
 public:
  enum SharedPin { SIGNAL, CUTOFF, RESONANCE, OUTPUT, MODE, SPARE, MIX };

 protected:
  using Routine = void (FilterShell::*)(int32_t, int32_t);

  // Registers pins 0..6; the module registers its further pins, reset_
  // among them.
  explicit FilterShell(IMpUnknown* host) : MpBase(host) {
    setSilentBlockFunction(&FilterShell::subProcessSilence);
    registerPin(SIGNAL, signal_);
    registerPin(CUTOFF, cutoff_);
    registerPin(RESONANCE, resonance_);
    registerPin(OUTPUT, output_);
    registerPin(MODE, mode_);
    registerPin(SPARE, spare_);
    registerPin(MIX, mix_);
  }

  // Silent and empty until the inputs say otherwise.
  void openShell() {
    reset();
    setBlockFunction(&FilterShell::subProcessSilence);
  }

  void reset() {
    memory_ = typename Kernel::Memory{};
    coefficientsStale_ = true;
  }

  // Runs the Mode pin's routine while `enabled` and the signal has
  // something to filter; otherwise silence and sleep. A Mode outside the
  // table keeps the routine in force; a Mode change starts from empty
  // memories.
  template <int32_t N>
  void chooseRoutine(bool enabled, const Routine (&routines)[N]) {
    if (reset_.isUpdated() && reset_ > 0.0f) reset();
    if (enabled && (signal_.isStreaming() || signal_.getValue() != 0.0f)) {
      if (mode_.isUpdated()) reset();
      output_.setStreaming(true);
      const int32_t mode = mode_;
      if (mode >= 0 && mode < N) setBlockFunction(routines[mode]);
      setSleepMode(false);
    } else {
      reset();
      output_.setStreaming(false);
      setBlockFunction(&FilterShell::subProcessSilence);
      setSleepMode(true);
    }
  }

  template <class Mode>
  void subProcess(int32_t bufferOffset, int32_t sampleFrames) {
    const float* in = signal_.buffer() + bufferOffset;
    const float* cutoff = cutoff_.buffer() + bufferOffset;
    const float* resonance = resonance_.buffer() + bufferOffset;
    const float* mix = mix_.buffer() + bufferOffset;
    float* out = output_.buffer() + bufferOffset;
    for (int32_t i = 0; i < sampleFrames; ++i) {
      // Every mode is stable for its clamped controls: a bounded signal
      // keeps the memories finite and lets a bad stretch pass. Bounded
      // before set(): read after its stores, which may alias the input, the
      // value and its bound would wait for them.
      const float x = zv::dsp::boundState(in[i]);
      const bool resonanceChanged = readsResonance<Mode>() && !zv::dsp::sameValue(resonance[i], cachedResonance_);
      if (coefficientsStale_ || !zv::dsp::sameValue(cutoff[i], cachedCutoff_) || resonanceChanged) {
        cachedCutoff_ = cutoff[i];
        cachedResonance_ = resonance[i];
        coefficientsStale_ = false;
        Mode::set(coefficients_, context_, cutoff[i], Kernel::resonance(resonance[i]), mix[i]);
      }
      out[i] = Mode::tick(memory_, coefficients_, context_, x, mix[i]);
    }
  }

  void subProcessBypass(int32_t bufferOffset, int32_t sampleFrames) {
    std::copy_n(signal_.buffer() + bufferOffset, sampleFrames, output_.buffer() + bufferOffset);
  }

  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
    std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
  }

  AudioInPin signal_;
  AudioInPin cutoff_;
  AudioInPin resonance_;
  AudioOutPin output_;
  IntInPin mode_;
  AudioInPin spare_;
  AudioInPin mix_;
  FloatInPin reset_;

  typename Kernel::Context context_{};
  typename Kernel::Coefficients coefficients_{};
  typename Kernel::Memory memory_{};

 private:
  template <class Mode>
  static constexpr bool readsResonance() {
    if constexpr (requires { Mode::kReadsResonance; }) {
      return Mode::kReadsResonance;
    } else {
      return true;
    }
  }

  float cachedCutoff_ = 0.0f;
  float cachedResonance_ = 0.0f;
  bool coefficientsStale_ = true;
};

}  // namespace zv::effects
