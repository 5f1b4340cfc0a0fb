// The small demo bank: synthesised mono and stereo, looped and one-shot
// samples spread over key and velocity ranges, in a melodic bank and a
// percussion bank (128). Deterministic: the same bytes on every run.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "modules/dsp/portable_math.h"
#include "tools/sf2_generator/sf2_writer.h"

namespace sf2 {

namespace demo {

constexpr int PERIOD = 128;  // samples per cycle of the looped tones
constexpr double TWO_PI = 6.283185307179586;

inline int16_t clip(double v) {
  if (v > 32767.0) return 32767;
  if (v < -32768.0) return -32768;
  return static_cast<int16_t>(std::lround(v));
}

// A looped tone of `cycles` cycles with the given partial amplitudes, after
// a short attack cycle.
inline Sample tone(const char* name, const std::vector<double>& partials, int cycles) {
  Sample s;
  s.name = name;
  for (int i = 0; i < PERIOD * cycles; ++i) {
    double v = 0.0;
    for (size_t p = 0; p < partials.size(); ++p) v += partials[p] * zv::dsp::sin(TWO_PI * (p + 1) * i / PERIOD);
    s.data.push_back(clip(v * 20000.0));
  }
  s.loopStart = PERIOD;
  s.loopEnd = PERIOD * cycles;
  // 44100 / 128 Hz is key 64.77: root 65, 23 cents flat.
  s.rootKey = 65;
  s.correction = -23;
  return s;
}

// A plucked string (a delay line with an averaging loop filter), seeded
// differently per side.
inline std::vector<int16_t> pluck(uint32_t seed, int length, int period) {
  std::vector<double> line(static_cast<size_t>(period));
  for (double& x : line) {
    seed = seed * 1664525u + 1013904223u;
    x = static_cast<double>(seed >> 8) / 16777216.0 * 2.0 - 1.0;
  }
  std::vector<int16_t> out;
  for (int i = 0; i < length; ++i) {
    const size_t a = static_cast<size_t>(i % period), b = static_cast<size_t>((i + 1) % period);
    const double v = line[a];
    line[a] = 0.498 * (line[a] + line[b]);
    out.push_back(clip(v * 24000.0));
  }
  return out;
}

inline std::vector<int16_t> noiseBurst(int length) {
  std::vector<int16_t> out;
  uint32_t seed = 12345;
  for (int i = 0; i < length; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double envelope = zv::dsp::exp(-6.0 * i / length);
    out.push_back(clip((static_cast<double>(seed >> 8) / 16777216.0 * 2.0 - 1.0) * envelope * 20000.0));
  }
  return out;
}

}  // namespace demo

enum DemoSamples { DEMO_SINE, DEMO_BRIGHT, DEMO_PLUCK_RIGHT, DEMO_PLUCK_LEFT, DEMO_HAT };

inline Bank demoBank() {
  Bank b;
  b.samples.push_back(demo::tone("sine", {1.0}, 16));
  b.samples.push_back(demo::tone("bright", {0.5, 0.25, 0.17, 0.12, 0.1, 0.08, 0.07, 0.06}, 16));
  // 44100 / 100 Hz = 441 Hz: key 69 at 4 cents sharp.
  Sample right{"pluck R", demo::pluck(7, 22050, 100)};
  right.rootKey = 69;
  right.correction = -4;
  right.type = 2;
  right.link = DEMO_PLUCK_LEFT;
  Sample left = right;
  left.name = "pluck L";
  left.data = demo::pluck(11, 22050, 100);
  left.type = 4;
  left.link = DEMO_PLUCK_RIGHT;
  b.samples.push_back(right);
  b.samples.push_back(left);
  Sample hat{"hat", demo::noiseBurst(6000)};
  hat.rootKey = 42;
  b.samples.push_back(hat);

  // Keys: soft notes play the sine, hard ones the bright tone; both loop.
  b.instruments.push_back({"Keys",
                           {Zone{{gen(54, 1)}}, Zone{{velocityRange(0, 79), sampleId(DEMO_SINE)}},
                            Zone{{velocityRange(80, 127), sampleId(DEMO_BRIGHT)}}}});
  b.instruments.push_back({"Pluck", {Zone{{gen(17, -500), sampleId(DEMO_PLUCK_LEFT)}}}});
  // Pad: loops while held, runs out to the sample end after release.
  b.instruments.push_back({"Pad", {Zone{{gen(54, 3), gen(52, 7), sampleId(DEMO_BRIGHT)}}}});
  b.instruments.push_back({"Hat", {Zone{{gen(56, 0), sampleId(DEMO_HAT)}}}});

  b.presets.push_back({"Keys", 0, 0, {Zone{{instrumentId(0)}}}});
  b.presets.push_back({"Pluck", 1, 0, {Zone{{instrumentId(1)}}}});
  b.presets.push_back({"Pad", 2, 0, {Zone{{instrumentId(2)}}}});
  // Split: low keys the keys, high keys the pluck.
  b.presets.push_back(
      {"Split", 3, 0, {Zone{{keyRange(0, 59), instrumentId(0)}}, Zone{{keyRange(60, 127), instrumentId(1)}}}});
  b.presets.push_back({"Kit", 0, 128, {Zone{{keyRange(35, 60), instrumentId(3)}}}});
  return b;
}

}  // namespace sf2
