// Well-formed RIFF around fuzzed chunk bodies, so that every input reaches
// zone building: the first 20 bytes give the lengths of the ten chunks.
#include <cstddef>
#include <cstdint>

#include "tests/sampler/fuzz_exercise.h"
#include "tools/sf2_generator/sf2_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const ids[10] = {"smpl", "phdr", "pbag", "pmod", "pgen", "inst", "ibag", "imod", "igen", "shdr"};
  if (size < 20) return 0;
  size_t at = 20;
  std::vector<sf2::Bytes> pdta;
  sf2::Bytes smpl;
  for (int c = 0; c < 10; ++c) {
    const size_t wanted = static_cast<size_t>(data[2 * c] | data[2 * c + 1] << 8);
    const size_t n = wanted % (size - at + 1);
    sf2::Bytes body(data + at, data + at + n);
    at += n;
    if (c == 0) {
      smpl = body;
    } else {
      pdta.push_back(sf2::chunk(ids[c], body));
    }
  }
  const sf2::Bytes file =
      sf2::list("sfbk", {sf2::list("sdta", {sf2::chunk("smpl", smpl)}), sf2::list("pdta", pdta)}, "RIFF");
  auto bank = std::make_shared<zv::sampler::SoundFontBank>();
  if (bank->loadMemory(file.data(), file.size())) zv::sampler::test::exercise(bank);
  return 0;
}
