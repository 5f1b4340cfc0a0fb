// Whole files: the RIFF walk, the bank's checks, zones and playback.
#include <cstddef>
#include <cstdint>

#include "tests/sampler/fuzz_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bank = std::make_shared<zv::sampler::SoundFontBank>();
  if (bank->loadMemory(data, size)) zv::sampler::test::exercise(bank);
  return 0;
}
