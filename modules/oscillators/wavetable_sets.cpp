#include "modules/oscillators/wavetable_sets.h"

#include <algorithm>

namespace zv::oscillators {

const MpChar* setName(int32_t slot) {
  switch (slot) {
    case 0: return MP_TEXT("ZV51_OSC-ZVQR-sine");
    case 1: return MP_TEXT("ZV51_OSC-ZVQR-saw");
    default: return MP_TEXT("ZV51_OSC-ZVQR-tri");
  }
}

float* openSet(IMpAudioHost* host, int32_t slot) {
  void* block = nullptr;
  int32_t needInitialise = 0;
  host->openNamedMemory(setName(slot), &block, -1.0f, kSetValues, &needInitialise);
  auto* set = static_cast<float*>(block);
  if (set != nullptr && needInitialise != 0) std::fill_n(set, kSetValues, 0.0f);
  return set;
}

void openSets(IMpAudioHost* host, Sets& sets) {
  for (int32_t slot = 0; slot < 3; ++slot) sets.slot[slot] = openSet(host, slot);
}

void openIncrements(SharedTable& table, IMpAudioHost* host, float sampleRate, int32_t factor) {
  const MpChar* name = MP_TEXT("ZV51_OSC-ZVQR-increment-x1");
  switch (factor) {
    case 2: name = MP_TEXT("ZV51_OSC-ZVQR-increment-x2"); break;
    case 4: name = MP_TEXT("ZV51_OSC-ZVQR-increment-x4"); break;
    case 8: name = MP_TEXT("ZV51_OSC-ZVQR-increment-x8"); break;
    default: break;
  }
  if (table.open(host, name, sampleRate, kIncrementEntries)) {
    const auto f = static_cast<float>(factor);
    table.fill([&](int32_t i) { return incrementEntry(i, sampleRate, f); });
  }
}

}  // namespace zv::oscillators
