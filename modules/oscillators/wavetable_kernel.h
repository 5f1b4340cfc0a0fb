// Band-limited wavetable reading shared by both wavetable oscillators.
//
// A set holds 60 single-cycle tables of 2048 floats, table k at
// 4360 + k × 2048, each band-limited for pitches k/6 V to (k + 1)/6 V
// (0 V = 13.75 Hz, 1 V per octave). A voice picks the table pair for its
// pitch, advances a phase in table samples and reads one or two heads by
// linear interpolation within a table and between the pair. A restart voice
// crossfades from the running phase to a restarted one.
//
// No frame types here: the modules map pins onto these calls.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "modules/dsp/math.h"
#include "modules/dsp/portable_math.h"

namespace zv::oscillators {

using zv::dsp::clampTo;

constexpr int32_t kTableLength = 2048;
constexpr float kCycle = 2048.0f;
constexpr int32_t kTableCount = 60;
constexpr int32_t kFirstTable = 4360;
// Values in a set: header and unused values, the tables, 16 spare values.
constexpr int32_t kSetValues = 127256;
// Values a complete file supplies (the set minus its spare values).
constexpr int32_t kFileValues = kFirstTable + kTableCount * kTableLength;
// Pitch increment tables: one entry per millivolt from -10 V to 10.34 V.
constexpr int32_t kIncrementEntries = 20341;
constexpr float kMaxVolts = 10.333333f;
// Above this the upper neighbour table does not exist.
constexpr float kTwoTableLimit = 9.8333333f;

// Increment in table samples per sample for V = index × 0.001 − 10 volts at
// a sample rate (× oversampling factor). The power is taken in double.
inline float incrementEntry(int32_t index, float sampleRate, float factor) {
  const double volts = (index - 10000) * 0.001;
  return static_cast<float>(zv::dsp::exp2(volts - 5.0)) * 440.0f * (kCycle / (sampleRate * factor));
}

// Which tables a pitch reads, and how.
struct TableChoice {
  float volts = 0.0f;                                   // clamped pitch in volts
  float fraction = 0.0f;                                // position between the neighbour tables (published)
  float mix = 0.0f;                                     // weight of the upper table in reads; 0 with one table
  int32_t offset = kFirstTable;                         // start of the lower table in the set
  int32_t upper = 0;                                    // kTableLength when the upper table is read, else 0
  float offsetValue = static_cast<float>(kFirstTable);  // offset, published as a float
};

// volts must lie in [-10, 10.333333]. Two tables are read only when both
// exist: the comparison with the limit and trunc(V × 6) can disagree in
// float.
inline TableChoice chooseTables(float volts) {
  TableChoice t;
  t.volts = volts;
  const float p = volts * 6.0f;
  // |p| stays below 63, where the integer conversion truncates exactly;
  // adding 0 turns the fraction of -0 V into the +0 that p - trunc(p) gives.
  const auto whole = static_cast<int32_t>(p);
  t.fraction = (p - static_cast<float>(whole)) + 0.0f;
  int32_t index = volts < kTwoTableLimit ? whole : kTableCount - 1;
  if (volts < 0.0f) index = 0;
  if (index > kTableCount - 1) index = kTableCount - 1;
  t.offset = kFirstTable + index * kTableLength;
  t.offsetValue = static_cast<float>(t.offset);
  const bool two = volts >= 0.0f && volts < kTwoTableLimit && index <= kTableCount - 2;
  t.upper = two ? kTableLength : 0;
  t.mix = two ? t.fraction : 0.0f;
  return t;
}

// Linear interpolation in an increment table for finite volts in [-10, 10.333333].
inline float incrementAt(const float* table, float volts) {
  const float m = volts * 1000.0f + 10000.0f;
  const auto i = static_cast<int32_t>(m);
  const float w = m - static_cast<float>(i);
  return table[i] + (table[i + 1] - table[i]) * w;
}

// Brings a phase or head into (0, 2048]. One step covers the usual case;
// large increments (low sample rates) and far heads take the slow path.
inline float wrapCycle(float x) {
  x = x >= kCycle ? x - kCycle : x;
  x = x <= 0.0f ? x + kCycle : x;
  if (x > 0.0f && x <= kCycle) [[likely]]
    return x;
  if (!std::isfinite(x)) return kCycle;
  x -= kCycle * std::floor(x / kCycle);
  return x > 0.0f && x <= kCycle ? x : kCycle;
}

// Advances a phase in (0, 2048] by an increment (never negative) into
// (0, 2048]; returns 0, or the phase just after a wrap.
inline float advancePhase(float& phase, float increment) {
  const float next = phase + increment;
  if (next < kCycle && next > 0.0f) [[likely]] {
    phase = next;
    return 0.0f;
  }
  phase = wrapCycle(next);
  return phase;
}

// A head from a phase in (0, 2048] and an offset in [-2048, 0] lies in
// (-2048, 2048]: one addition brings it into (0, 2048].
inline float wrapHead(float x) { return x <= 0.0f ? x + kCycle : x; }

// Reads a set at a head in (0, 2048] for a table choice: both tables by
// linear interpolation, mixed by the choice's weight (an exact single read
// when the upper table is not used).
inline float readTables(const float* set, const TableChoice& t, float head) {
  const auto i = static_cast<int32_t>(head);
  const float f = head - static_cast<float>(i);
  const float* lo = set + t.offset + i;
  const float* hi = lo + t.upper;
  const float s0 = lo[0] + (lo[1] - lo[0]) * f;
  const float s1 = hi[0] + (hi[1] - hi[0]) * f;
  return s0 + (s1 - s0) * t.mix;
}

// Wave modes: which set and level slot each head uses (0, 1, 2 = sets 1, 2,
// 3), and how the level-scaled heads a and b combine.
struct ModeSet1 {
  static constexpr int kHeads = 1, kSlotA = 0, kSlotB = 0;
  static constexpr float kShapeBias = 0.0f;
  static float combine(float a, float, float) { return a; }
};
struct ModeBlend {
  static constexpr int kHeads = 2, kSlotA = 2, kSlotB = 1;
  static constexpr float kShapeBias = 1.0f;
  static float combine(float a, float b, float shape) { return a + (shape + 1.0f) * 0.5f * (b - a); }
};
struct ModeSet2 {
  static constexpr int kHeads = 1, kSlotA = 1, kSlotB = 1;
  static constexpr float kShapeBias = 0.0f;
  static float combine(float a, float, float) { return a; }
};
struct ModeSet3 {
  static constexpr int kHeads = 1, kSlotA = 2, kSlotB = 2;
  static constexpr float kShapeBias = 0.0f;
  static float combine(float a, float, float) { return a; }
};
struct ModePulse {
  static constexpr int kHeads = 2, kSlotA = 1, kSlotB = 1;
  static constexpr float kShapeBias = 0.0f;
  static float combine(float a, float b, float) { return a - b; }
};

struct Heads {
  float a = 0.0f;
  float b = 0.0f;
};

// The three sets (slots) a voice reads.
struct Sets {
  const float* slot[3] = {nullptr, nullptr, nullptr};
};

// Phase offset in table samples for an input in [-1, 1].
inline float phaseOffset(float x) { return (x * 0.5f - 0.5f) * kCycle; }

// One oscillator voice: pitch, phase offsets, the main phase and the
// restart voice that crossfades into a restarted phase.
struct Voice {
  // Last inputs, to recompute only on change (a held NaN is no change). A
  // stale flag lets the next value through whatever it is: after a new
  // increment table or mode, the same pitch must be looked up again.
  float lastPitch = 0.0f;
  float lastOffset = 0.0f;
  float lastShape = 0.0f;
  bool pitchStale = true;
  bool offsetStale = true;
  bool shapeStale = true;

  TableChoice tables;
  float increment = 0.0f;
  float offsetOne = -1024.0f;
  float offsetTwo = -1024.0f;

  float phase = 0.0f;

  float restartPhase = 0.0f;
  float crossfade = -1.0f;  // -1 inactive, else 1 falling to 0
  float crossfadeStep = 0.0f;
  bool restartPending = false;

  void forceRecompute() { pitchStale = offsetStale = shapeStale = true; }
  // Back to the start of the cycle with no restart under way.
  void stop() {
    phase = 0.0f;
    restartPending = false;
    crossfade = -1.0f;
  }

  // Pitch input below -1 (or NaN) is ignored: the previous pitch stays.
  // Returns true when the pitch was recomputed.
  bool setPitch(float value, const float* increments) {
    if ((value == lastPitch && !pitchStale) || !(value >= -1.0f)) return false;
    lastPitch = value;
    pitchStale = false;
    const float volts = value * 10.0f < kMaxVolts ? value * 10.0f : kMaxVolts;
    tables = chooseTables(volts);
    increment = incrementAt(increments, volts);
    return true;
  }

  // Both return true when the offset was recomputed.
  bool setOffsetOne(float value) {
    if (zv::dsp::sameValue(value, lastOffset) && !offsetStale) return false;
    lastOffset = value;
    offsetStale = false;
    offsetOne = phaseOffset(clampTo(value, -1.0f, 1.0f));
    return true;
  }

  template <class Mode>
  bool setOffsetTwo(float value) {
    if constexpr (Mode::kHeads == 2) {
      if (zv::dsp::sameValue(value, lastShape) && !shapeStale) return false;
      lastShape = value;
      shapeStale = false;
      offsetTwo = phaseOffset(clampTo(value + Mode::kShapeBias, -0.99f, 0.99f));
      return true;
    } else {
      return false;
    }
  }

  // Advances the main phase; returns 0, or the phase just after a wrap.
  // The increment comes from an increment table and is positive, and the
  // phase is never below 0, so only the upper bound needs a test.
  float advance() {
    const float next = phase + increment;
    if (next < kCycle) [[likely]] {
      phase = next;
      return 0.0f;
    }
    phase = wrapCycle(next);
    return phase;
  }

  template <class Mode>
  Heads read(const Sets& sets, const TableChoice& t, float at) const {
    Heads h;
    // Offsets stay within [-2048, 0]; the second head is taken from the
    // wrapped first, so neither can end up a cycle or more out of range.
    const float first = wrapHead(at + offsetOne);
    h.a = readTables(sets.slot[Mode::kSlotA], t, first);
    if constexpr (Mode::kHeads == 2) h.b = readTables(sets.slot[Mode::kSlotB], t, wrapHead(first + offsetTwo));
    return h;
  }

  // Starts a crossfade into a phase; step is the fall per sample.
  void startRestart(float from, float step) {
    restartPhase = wrapCycle(from);
    crossfade = 1.0f;
    crossfadeStep = step;
  }

  // While a crossfade runs: fades the heads s towards the restart voice,
  // which advances by the same increment; at its end the main phase
  // continues from the restart voice.
  template <class Mode>
  void applyCrossfade(const Sets& sets, Heads& s) {
    if (crossfade == -1.0f) return;
    restartPhase = wrapCycle(restartPhase + increment);
    const Heads u = read<Mode>(sets, tables, restartPhase);
    s.a = u.a + (s.a - u.a) * crossfade;
    if constexpr (Mode::kHeads == 2) s.b = u.b + (s.b - u.b) * crossfade;
    if (crossfade > 0.0f && crossfade <= 1.0f) {
      crossfade -= crossfadeStep;
    } else {
      crossfade = -1.0f;
      phase = restartPhase;
    }
  }
};

// The pitch state of every sample of a stretch whose pitch input streams,
// worked out ahead of the sample loop in one pass with no branches, which
// the compiler vectorises; the sample loop then only reads it. Exactly what
// Voice::setPitch gives sample by sample: the same table choice and table
// interpolation, and a value below -1 (or NaN) keeps the previous pitch.
struct PitchTrack {
  static constexpr int32_t kLength = 64;
  float increment[kLength];
  float fraction[kLength];
  float mix[kLength];
  float offsetValue[kLength];
  float volts[kLength];
  int32_t offset[kLength];
  int32_t upper[kLength];

  TableChoice choice(int32_t k) const {
    TableChoice t;
    t.volts = volts[k];
    t.fraction = fraction[k];
    t.mix = mix[k];
    t.offset = offset[k];
    t.upper = upper[k];
    t.offsetValue = offsetValue[k];
    return t;
  }

  // n samples of pitch (at most kLength) for a voice, whose pitch state
  // then is that of the last sample.
  void follow(Voice& v, const float* __restrict pitch, int32_t n, const float* __restrict increments) {
    if (n <= 0) return;
    // A piece that holds one value (a streaming offset or shape beside a
    // held pitch) is worked out once.
    const float first = pitch[0];
    int32_t same = 1;
    for (int32_t k = 0; k < n; ++k) same &= static_cast<int32_t>(pitch[k] == first);
    if (same != 0) {
      v.setPitch(first, increments);
      hold(v, n);
      return;
    }
    const bool anyIgnored = chooseAll(pitch, n);
    for (int32_t k = 0; k < n; ++k) increment[k] = incrementAt(increments, volts[k]);
    if (anyIgnored) {
      keepThroughIgnored(v, pitch, n);
      for (int32_t k = n - 1; k >= 0; --k) {
        if (pitch[k] >= -1.0f) {
          v.lastPitch = pitch[k];
          v.pitchStale = false;
          break;
        }
      }
    } else {
      v.lastPitch = pitch[n - 1];
      v.pitchStale = false;
    }
    v.tables = choice(n - 1);
    v.increment = increment[n - 1];
  }

 private:
// GCC keeps a floating-point operation that could trap out of if-converted
// code, which leaves this loop scalar; none here can (an ignored sample is
// worked out at -10 V), and the results are the same either way.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("no-trapping-math")
#endif
  // chooseTables for every sample, in masks instead of branches; whether
  // any sample is to be ignored.
  bool chooseAll(const float* __restrict pitch, int32_t n) {
    int32_t ignored = 0;
    for (int32_t k = 0; k < n; ++k) {
      const float value = pitch[k];
      ignored |= static_cast<int32_t>(!(value >= -1.0f));
      const float scaled = value * 10.0f;
      const float x = value >= -1.0f ? scaled : -10.0f;
      const float v10 = x < kMaxVolts ? x : kMaxVolts;
      const float p = v10 * 6.0f;
      const auto whole = static_cast<int32_t>(p);
      const int32_t below = -static_cast<int32_t>(v10 < 0.0f);           // all ones below 0 V
      const int32_t top = -static_cast<int32_t>(v10 >= kTwoTableLimit);  // all ones at the top
      int32_t index = ((whole & ~top) | ((kTableCount - 1) & top)) & ~below;
      index = index > kTableCount - 1 ? kTableCount - 1 : index;
      const int32_t two = ~below & ~top & -static_cast<int32_t>(index <= kTableCount - 2);
      const float f = (p - static_cast<float>(whole)) + 0.0f;
      volts[k] = v10;
      fraction[k] = f;
      offset[k] = kFirstTable + index * kTableLength;
      offsetValue[k] = static_cast<float>(kFirstTable + index * kTableLength);
      upper[k] = two & kTableLength;
      mix[k] = two != 0 ? f : 0.0f;
    }
    return ignored != 0;
  }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

  void hold(const Voice& v, int32_t n) {
    const TableChoice& t = v.tables;
    for (int32_t k = 0; k < n; ++k) {
      volts[k] = t.volts;
      fraction[k] = t.fraction;
      mix[k] = t.mix;
      offset[k] = t.offset;
      upper[k] = t.upper;
      offsetValue[k] = t.offsetValue;
      increment[k] = v.increment;
    }
  }

  void keepThroughIgnored(const Voice& v, const float* pitch, int32_t n) {
    for (int32_t k = 0; k < n; ++k) {
      if (pitch[k] >= -1.0f) continue;
      const TableChoice t = k > 0 ? choice(k - 1) : v.tables;
      volts[k] = t.volts;
      fraction[k] = t.fraction;
      mix[k] = t.mix;
      offset[k] = t.offset;
      upper[k] = t.upper;
      offsetValue[k] = t.offsetValue;
      increment[k] = k > 0 ? increment[k - 1] : v.increment;
    }
  }
};

// How a pending retrigger restarts the phase.
struct RestartSettings {
  bool hard = true;   // jump to 0
  float step = 1.0f;  // crossfade fall per sample otherwise
};

// Crossfade step for a retrigger setting (> 1) at some samples per
// millisecond, computed in double. Kept in [1e-6, 1]: a huge setting would
// give a step that no longer moves the crossfade in float, and a very low
// sample rate none at all.
inline float restartStep(int32_t setting, int32_t samplesPerMs) {
  const double length = static_cast<double>(setting) * static_cast<double>(samplesPerMs);
  const double step = length > 0.0 ? 10.0 / length : 1.0;
  return static_cast<float>(step < 1e-6 ? 1e-6 : step > 1.0 ? 1.0 : step);
}

// Retriggering from the gate: a rising gate arms one restart of the voice
// while the setting is positive (the restart happens at the next render);
// the setting also chooses a hard restart (1 or less) or the crossfade.
struct RetriggerArming {
  bool armed = false;
  RestartSettings restart;

  void update(Voice& voice, float gate, int32_t setting, int32_t samplesPerMs) {
    if (gate > 0.0f) {
      if (!armed && setting > 0) {
        voice.restartPending = true;
        armed = true;
      }
    } else {
      armed = false;
    }
    restart.hard = setting <= 1;
    restart.step = restartStep(setting, samplesPerMs);
  }
};

// Output buffers of a plain or restart render; state outputs may be null
// when StateOutputs is false.
struct RenderIo {
  const float* pitch;
  const float* offset;
  const float* shape;
  float* out;
  float* wrapOut;
  float* incrementOut;
  float* fractionOut;
  float* offsetOut;
};

// State outputs of a stretch whose pitch holds: no wrap yet, and the pitch
// values throughout. One pass over distinct buffers.
inline void fillStateOutputs(float* __restrict wrap, float* __restrict increment, float* __restrict fraction,
                             float* __restrict offset, int32_t frames, float incrementValue, float fractionValue,
                             float offsetValue) {
  for (int32_t i = 0; i < frames; ++i) {
    wrap[i] = 0.0f;
    increment[i] = incrementValue;
    fraction[i] = fractionValue;
    offset[i] = offsetValue;
  }
}

// The plain and restart renders shared by both oscillators.
//
// Static: pitch, phase offset and shape hold one value over the stretch (none
// of them streams), so they are taken from its first sample and the pitch
// state outputs are filled before the loop. A retrigger is only ever set between
// stretches, so it is taken before the loop; a restart render runs the
// crossfading loop only while a crossfade lasts and the plain loop after it.
template <class Mode, bool Restart, bool StateOutputs, bool Static>
void renderVoice(Voice& voice, const Sets& setsIn, const float* increments, const float (&levels)[3],
                 const RestartSettings& restart, const RenderIo& ioIn, int32_t frames) {
  if (frames <= 0) return;
  // Local copies: the output buffers could alias the voice, the sets and
  // the buffer pointers for all the compiler knows, which would keep them
  // out of registers.
  Voice v = voice;
  const Sets sets = setsIn;
  const RenderIo io = ioIn;
  const float levelA = levels[Mode::kSlotA];
  const float levelB = levels[Mode::kSlotB];
  const float shape0 = io.shape[0];
  if constexpr (Static) {
    v.setPitch(io.pitch[0], increments);
    v.setOffsetOne(io.offset[0]);
    v.template setOffsetTwo<Mode>(shape0);
  }
  if constexpr (Restart) {
    if (v.restartPending) {
      v.restartPending = false;
      if (restart.hard) {
        v.phase = 0.0f;
      } else {
        v.startRestart(0.0f, restart.step);
      }
    }
  }
  if constexpr (StateOutputs && Static) {
    fillStateOutputs(io.wrapOut, io.incrementOut, io.fractionOut, io.offsetOut, frames, v.increment, v.tables.fraction,
                     v.tables.offsetValue);
  } else if constexpr (StateOutputs) {
    std::fill_n(io.wrapOut, frames, 0.0f);
  }
  // A streaming pitch is worked out a piece at a time ahead of the samples.
  PitchTrack track;
  int32_t trackStart = 0;
  const auto sample = [&](int32_t i, auto fading) {
    if constexpr (!Static) {
      // What reading needs; the published fields follow at the piece's end.
      const int32_t k = i - trackStart;
      v.tables.offset = track.offset[k];
      v.tables.upper = track.upper[k];
      v.tables.mix = track.mix[k];
      v.increment = track.increment[k];
      v.setOffsetOne(io.offset[i]);
      v.template setOffsetTwo<Mode>(io.shape[i]);
    }
    // The wrap output was cleared: only a wrap writes to it.
    const float wrap = v.advance();
    if constexpr (StateOutputs) {
      if (wrap != 0.0f) io.wrapOut[i] = wrap;
    }
    Heads s = v.read<Mode>(sets, v.tables, v.phase);
    if constexpr (decltype(fading)::value) v.applyCrossfade<Mode>(sets, s);
    io.out[i] = Mode::combine(levelA * s.a, levelB * s.b, Static ? shape0 : io.shape[i]);
  };
  const int32_t piece = Static ? frames : PitchTrack::kLength;
  int32_t i = 0;
  for (int32_t start = 0; start < frames; start += piece) {
    const int32_t end = start + piece < frames ? start + piece : frames;
    if constexpr (!Static) {
      track.follow(v, io.pitch + start, end - start, increments);
      trackStart = start;
      if constexpr (StateOutputs) {
        std::copy_n(track.increment, end - start, io.incrementOut + start);
        std::copy_n(track.fraction, end - start, io.fractionOut + start);
        std::copy_n(track.offsetValue, end - start, io.offsetOut + start);
      }
    }
    if constexpr (Restart) {
      for (; i < end && v.crossfade != -1.0f; ++i) sample(i, std::true_type{});
    }
    for (; i < end; ++i) sample(i, std::false_type{});
    if constexpr (!Static) v.tables = track.choice(end - 1 - start);
  }
  voice = v;
}

}  // namespace zv::oscillators
