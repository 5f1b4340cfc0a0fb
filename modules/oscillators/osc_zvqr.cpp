#include "modules/oscillators/osc_zvqr.h"

#include <algorithm>
#include <cmath>

#include "modules/dsp/math.h"
#include "modules/oscillators/wavetable_sets.h"

using namespace zv::oscillators;

OscZvqr::OscZvqr(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&OscZvqr::subProcessSilence);
  registerPin(PITCH, pitch_);
  registerPin(PHASE_OFFSET, phaseOffset_);
  registerPin(SHAPE, shape_);
  registerPin(ACTIVE, active_);
  registerPin(GATE, gate_);
  registerPin(OUTPUT, output_);
  registerPin(WRAP_OUT, wrapOut_);
  registerPin(INCREMENT_OUT, incrementOut_);
  registerPin(FRACTION_OUT, fractionOut_);
  registerPin(OFFSET_OUT, offsetOut_);
  registerPin(UNUSED_INT, unusedInt_);
  registerPin(MODE, mode_);
  registerPin(RETRIGGER, retrigger_);
  registerPin(UNUSED_AUDIO, unusedAudio_);
  registerPin(LEVEL_1, level1_);
  registerPin(LEVEL_2, level2_);
  registerPin(LEVEL_3, level3_);
  registerPin(PHASE_RESET, phaseReset_);
}

int32_t OscZvqr::openModule() {
  openSets(host(), sets_);
  const float rate = zv::dsp::usableSampleRate(hostSampleRate());
  openIncrements(increments_, host(), rate, 1);
  samplesPerMs_ = static_cast<int32_t>(rate * 0.001f);
  voice_ = Voice{};
  // Pitch state before any input: 0 V.
  if (increments_.isOpen()) voice_.setPitch(0.0f, increments_.data());
  voice_.forceRecompute();
  running_ = started_ = false;
  arming_ = RetriggerArming{};
  routineMode_ = -1;
  routineRestart_ = false;
  setBlockFunction(&OscZvqr::subProcessSilence);
  return MpBase::openModule();
}

void OscZvqr::stop() {
  voice_.stop();
  running_ = false;
}

void OscZvqr::chooseRendering() {
  const int32_t mode = mode_;
  // Without tables there is nothing to read.
  if (sets_.slot[0] == nullptr || sets_.slot[1] == nullptr || sets_.slot[2] == nullptr || !increments_.isOpen()) {
    routineMode_ = -1;
  } else if (mode >= 0 && mode <= 4) {  // other modes keep the previous routine
    routineMode_ = mode;
    routineRestart_ = retrigger_ > 0;
  }
  applyRendering();
}

void OscZvqr::applyRendering() {
  using Fn = void (OscZvqr::*)(int32_t, int32_t);
  // [restart][static][mode]
  static constexpr Fn kRoutines[2][2][5] = {
      {{&OscZvqr::subProcess<ModeSet1, false, false>, &OscZvqr::subProcess<ModeBlend, false, false>,
        &OscZvqr::subProcess<ModeSet2, false, false>, &OscZvqr::subProcess<ModeSet3, false, false>,
        &OscZvqr::subProcess<ModePulse, false, false>},
       {&OscZvqr::subProcess<ModeSet1, false, true>, &OscZvqr::subProcess<ModeBlend, false, true>,
        &OscZvqr::subProcess<ModeSet2, false, true>, &OscZvqr::subProcess<ModeSet3, false, true>,
        &OscZvqr::subProcess<ModePulse, false, true>}},
      {{&OscZvqr::subProcess<ModeSet1, true, false>, &OscZvqr::subProcess<ModeBlend, true, false>,
        &OscZvqr::subProcess<ModeSet2, true, false>, &OscZvqr::subProcess<ModeSet3, true, false>,
        &OscZvqr::subProcess<ModePulse, true, false>},
       {&OscZvqr::subProcess<ModeSet1, true, true>, &OscZvqr::subProcess<ModeBlend, true, true>,
        &OscZvqr::subProcess<ModeSet2, true, true>, &OscZvqr::subProcess<ModeSet3, true, true>,
        &OscZvqr::subProcess<ModePulse, true, true>}}};
  if (routineMode_ < 0) {
    setBlockFunction(&OscZvqr::subProcessSilence);
    return;
  }
  // A streaming shape matters only to the two-head modes.
  const bool twoHeads = routineMode_ == 1 || routineMode_ == 4;
  const bool inputsStatic = !pitch_.isStreaming() && !phaseOffset_.isStreaming() && !(twoHeads && shape_.isStreaming());
  setBlockFunction(kRoutines[routineRestart_][inputsStatic][routineMode_]);
}

void OscZvqr::pinsUpdated() {
  const int32_t setting = retrigger_;
  if (phaseReset_.isUpdated() && phaseReset_ > 0.0f && setting >= 0) stop();

  arming_.update(voice_, gate_.getValue(), setting, samplesPerMs_);

  const bool active = active_.getValue() > 0.0f;
  if (active && (!running_ || retrigger_.isUpdated() || mode_.isUpdated())) {
    voice_.forceRecompute();
    running_ = true;
    if (!started_) voice_.phase = 0.0f;
    started_ = true;
    for (AudioOutPin* out : {&output_, &wrapOut_, &incrementOut_, &fractionOut_, &offsetOut_}) out->setStreaming(true);
    chooseRendering();
    setSleepMode(false);
  } else if (!active && !active_.isStreaming()) {
    stop();
    started_ = false;
    for (AudioOutPin* out : {&output_, &wrapOut_, &incrementOut_, &fractionOut_, &offsetOut_}) out->setStreaming(false);
    routineMode_ = -1;
    setBlockFunction(&OscZvqr::subProcessSilence);
    setSleepMode(true);
  } else if (running_) {
    applyRendering();  // an input may have started or stopped streaming
  }
}

template <class Mode, bool Restart, bool Static>
void OscZvqr::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  const float levels[3] = {level1_, level2_, level3_};
  const RenderIo io{pitch_.buffer() + bufferOffset,       phaseOffset_.buffer() + bufferOffset,
                    shape_.buffer() + bufferOffset,       output_.buffer() + bufferOffset,
                    wrapOut_.buffer() + bufferOffset,     incrementOut_.buffer() + bufferOffset,
                    fractionOut_.buffer() + bufferOffset, offsetOut_.buffer() + bufferOffset};
  renderVoice<Mode, Restart, true, Static>(voice_, sets_, increments_.data(), levels, arming_.restart, io,
                                           sampleFrames);
}

void OscZvqr::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  for (AudioOutPin* out : {&output_, &wrapOut_, &incrementOut_, &fractionOut_, &offsetOut_})
    std::fill_n(out->buffer() + bufferOffset, sampleFrames, 0.0f);
}
