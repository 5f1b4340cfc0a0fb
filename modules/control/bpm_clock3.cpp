#include "modules/control/bpm_clock3.h"

#include <algorithm>
#include <cmath>

#include "modules/dsp/math.h"

namespace zv::control {

namespace {

// Beyond any run the clock will see (millions of years of samples), and far
// inside int64: "no edge ahead".
constexpr int64_t kNoEdge = int64_t{1} << 62;
constexpr double kMaxIncrement = 0.5;

}  // namespace

float cycleBeats(int32_t division) {
  if (division < 0) return static_cast<float>(-static_cast<int64_t>(division));
  if (division > 0) return 1.0f / static_cast<float>(division);
  return 8.0f;
}

double clockIncrement(float tempo, float sampleRate, int32_t division) {
  const float increment = tempo / (sampleRate * cycleBeats(division) * 60.0f);
  if (!(increment > 0.0f) || !zv::dsp::isFinite(increment)) return 0.0;
  return std::min(static_cast<double>(increment), kMaxIncrement);
}

float clockFrequency(float tempo, int32_t division) {
  const float perMinute = division >= 0 ? tempo * static_cast<float>(division)
                                        : tempo / static_cast<float>(-static_cast<int64_t>(division));
  return perMinute * 0.016666668f;
}

double phaseError(float position, double phase, int32_t division) {
  const float beats = cycleBeats(division);
  double target;
  if (division <= 1) {
    const double cycles = static_cast<double>(position / beats);
    target = cycles - std::floor(cycles);
  } else {
    // Cycles shorter than a beat: the position within its beat first, so
    // that large positions keep their fraction in single precision.
    const float inBeat = position - std::floor(position);
    const float cycles = inBeat / beats;
    target = static_cast<double>(cycles - std::floor(cycles));
  }
  double error = phase - target;
  if (error > 0.5) {
    error -= 1.0;
  } else if (error < -0.5) {
    error += 1.0;
  }
  return error;
}

}  // namespace zv::control

using namespace zv::control;

BpmClock3::BpmClock3(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&BpmClock3::subProcessHeld);
  registerPin(TEMPO, tempo_);
  registerPin(POSITION, position_);
  registerPin(DIVISION, division_);
  registerPin(CLOCK, clock_);
  registerPin(RESYNC, resync_);
  registerPin(ACTIVE, active_);
  registerPin(FREQUENCY, frequency_);
}

int32_t MP_STDCALL BpmClock3::openModule() {
  sampleRate_ = hostSampleRate();
  blockSize_ = std::max(hostBlockSize(), 1);
  // Stopped and low until Active = 1; the first block is written with 0.
  running_ = false;
  level_ = 0.0f;
  phase_ = 1.0;
  edgeIn_ = kNoEdge;
  edgeAtSync_ = kNoEdge;
  writing_ = true;
  runStart_ = 0;
  tailFrom_ = blockSize_;
  setBlockFunction(&BpmClock3::subProcessHeld);
  return MpBase::openModule();
}

void BpmClock3::pinsUpdated() {
  syncPhase();
  int32_t n = division_;
  bool force = resync_.isUpdated() && resync_;
  if (force) resyncPending_ = true;
  if (resyncPending_) n = std::max(n, -4);

  if (position_.isUpdated() || force) {
    const float position = position_;
    // A position that is not a number says nothing about the phase.
    if (zv::dsp::isFinite(position)) {
      double error = phaseError(position, phase_, n);
      if (!force && (error > 0.01 || error < -0.01)) {
        resyncPending_ = true;
        force = true;
        n = std::max(n, -4);
        error = phaseError(position, phase_, n);
      }
      phase_ -= error;
    }
    if (force) {
      phase_ -= std::floor(phase_);
      if (level_ != 0.0f) {
        level_ = 0.0f;
        newLevel(currentBlockPosition());
      }
      if (phase_ < 0.00001) {
        // Restarting at a cycle's start: the rising edge within two samples.
        increment_ = clockIncrement(tempo_, sampleRate_, n);
        phase_ = 1.0 - 2.0 * increment_;
      }
    }
  }

  if (tempo_.isUpdated() || division_.isUpdated() || force) {
    frequency_ = clockFrequency(tempo_, division_);
    increment_ = clockIncrement(tempo_, sampleRate_, n);
  }

  if (active_ == 1) {
    running_ = true;
    setBlockFunction(&BpmClock3::subProcessClock);
    setSleepMode(false);
  } else {
    stop();
  }
  scheduleEdge();
}

void BpmClock3::stop() {
  // Held low from the stop: a clock block function left running would still
  // produce edges while the module waits to sleep.
  if (running_ || level_ != 0.0f) {
    level_ = 0.0f;
    newLevel(currentBlockPosition());
  }
  running_ = false;
  phase_ = 1.0;
  resyncPending_ = false;
  setBlockFunction(&BpmClock3::subProcessHeld);
  setSleepMode(true);
}

void BpmClock3::scheduleEdge() {
  edgeIn_ = kNoEdge;  // a zero increment holds the level
  if (!(increment_ > 0.0)) return;
  const double threshold = level_ != 0.0f ? 0.5 : 1.0;
  const double samples = (threshold - phase_) / increment_;
  // Compared in double: a tiny increment puts the edge beyond any integer.
  if (samples < static_cast<double>(kNoEdge)) edgeIn_ = samples < 1.0 ? 0 : static_cast<int64_t>(samples);
  edgeAtSync_ = edgeIn_;
}

void BpmClock3::syncPhase() {
  phase_ += static_cast<double>(edgeAtSync_ - edgeIn_) * increment_;
  edgeAtSync_ = edgeIn_;
}

void BpmClock3::edge(int32_t position) {
  if (level_ != 0.0f) {
    level_ = 0.0f;
  } else {
    phase_ -= 1.0;
    level_ = 1.0f;
    if (resyncPending_) {
      resyncPending_ = false;
      increment_ = clockIncrement(tempo_, sampleRate_, division_);
    }
  }
  newLevel(position);
  scheduleEdge();
}

void BpmClock3::newLevel(int32_t position) {
  if (clock_.isStreaming()) {
    clock_.setStreaming(false, position);
  } else {
    // Already static: only the new level's time for the host, and one more
    // block before a stopped clock sleeps, from the size read at open.
    setSleepCountdown(blockSize_);
    host()->sendPinStreaming(position, CLOCK, false);
  }
  writing_ = true;
  runStart_ = position;
  tailFrom_ = blockSize_;
}

void BpmClock3::write(int32_t from, int32_t to) {
  if (!writing_) return;
  // Positions from tailFrom_ on already hold the level.
  if (runStart_ == 0 && to > tailFrom_) to = std::max(from, tailFrom_);
  std::fill(clock_.buffer() + from, clock_.buffer() + to, level_);
  if (to >= blockSize_) tailFrom_ = std::min(tailFrom_, runStart_);
  if (runStart_ == 0 && to >= tailFrom_) writing_ = false;
}

void BpmClock3::subProcessClock(int32_t bufferOffset, int32_t sampleFrames) {
  // Most blocks: no edge, nothing to write.
  if (!writing_ && edgeIn_ >= sampleFrames) {
    edgeIn_ -= sampleFrames;
    return;
  }
  if (bufferOffset == 0) runStart_ = 0;
  int32_t position = bufferOffset;
  const int32_t end = bufferOffset + sampleFrames;
  while (edgeIn_ < end - position) {
    const int32_t run = static_cast<int32_t>(edgeIn_);
    write(position, position + run);
    position += run;
    edgeIn_ = 0;
    syncPhase();
    edge(position);
  }
  write(position, end);
  edgeIn_ -= end - position;
}

void BpmClock3::subProcessHeld(int32_t bufferOffset, int32_t sampleFrames) {
  if (bufferOffset == 0) runStart_ = 0;
  write(bufferOffset, bufferOffset + sampleFrames);
}
