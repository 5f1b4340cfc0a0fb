// Arbitrary MIDI through every module with a MIDI input: the first byte
// picks the module, the rest are the exercise's steps.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/control/midi_input_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto& modules = midiexercise::midiModules();
  const auto& m = modules[data[0] % modules.size()];
  const std::string problem = midiexercise::exercise(m, midiexercise::Reader(data + 1, size - 1));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s: %s\n", toUtf8(m.id).c_str(), problem.c_str());
    std::abort();
  }
  return 0;
}
