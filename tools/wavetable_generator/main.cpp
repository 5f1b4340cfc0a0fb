// zvwavetables: writes band-limited ".zvw" wavetable sets.
//
//   zvwavetables <folder> [number]
//
// Writes osc-<family>-<number>.zvw for the five families (number 1 by
// default) and base.zvw, the reference file that the initialiser module's
// pin names to find its folder.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/wavetable_generator/wavetable_generator.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <folder> [number]\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const int number = argc == 3 ? std::atoi(argv[2]) : 1;
  for (zvw::Family family : zvw::kFamilies) {
    const auto set = zvw::generateSet(family);
    const std::string path = folder + "/osc-" + zvw::familyStem(family) + "-" + std::to_string(number) + ".zvw";
    if (!zvw::writeFile(path, set)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    if (family == zvw::Family::Sine && !zvw::writeFile(folder + "/base.zvw", set)) {
      std::fprintf(stderr, "cannot write %s/base.zvw\n", folder.c_str());
      return 1;
    }
  }
  return 0;
}
