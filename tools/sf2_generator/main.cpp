// Writes the demo SoundFont bank, and optionally a fuzzing seed corpus.
//
//   sf2_generator OUT.sf2 [--corpus FOLDER]
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/sf2_generator/demo_bank.h"

namespace {

// Small banks covering the reader's paths: presets, stereo links, loops.
bool writeCorpus(const std::string& folder) {
  sf2::Bank small;
  small.samples.push_back({"s", {1, 2, 3, 4, 5, 6, 7, 8}});
  small.instruments.push_back(
      {"i", {sf2::Zone{{sf2::gen(17, 0)}}, sf2::Zone{{sf2::keyRange(0, 60), sf2::sampleId(0)}}}});
  small.presets.push_back({"p", 0, 0, {sf2::Zone{{sf2::velocityRange(0, 100), sf2::instrumentId(0)}}}});
  sf2::Bank stereo = small;
  stereo.samples[0].type = 2;
  stereo.samples[0].link = 1;
  stereo.samples.push_back({"l", {8, 7, 6, 5, 4, 3, 2, 1}, 1, 6, 22050, 60, 0, 0, 4});
  stereo.instruments.push_back({"j", {sf2::Zone{{sf2::gen(54, 1), sf2::sampleId(1)}}}});
  stereo.presets.push_back({"q", 5, 128, {sf2::Zone{{sf2::instrumentId(1)}}}});
  sf2::Bank empty;
  const struct {
    const char* name;
    sf2::Bytes bytes;
  } seeds[] = {{"small.sf2", sf2::write(small)}, {"stereo.sf2", sf2::write(stereo)}, {"empty.sf2", sf2::write(empty)}};
  for (const auto& seed : seeds) {
    if (!sf2::save(folder + "/" + seed.name, seed.bytes)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: sf2_generator OUT.sf2 [--corpus FOLDER]\n");
    return 2;
  }
  if (!sf2::save(argv[1], sf2::write(sf2::demoBank()))) {
    std::fprintf(stderr, "sf2_generator: cannot write %s\n", argv[1]);
    return 1;
  }
  if (argc >= 4 && std::strcmp(argv[2], "--corpus") == 0 && !writeCorpus(argv[3])) {
    std::fprintf(stderr, "sf2_generator: cannot write the corpus in %s\n", argv[3]);
    return 1;
  }
  return 0;
}
