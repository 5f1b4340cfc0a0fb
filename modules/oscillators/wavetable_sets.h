// The host-side pieces both wavetable oscillators and the initialiser share:
// the three named wavetable sets and the shared pitch increment tables.
#pragma once

#include <cstdint>

#include "frame/interfaces.h"
#include "frame/shared_table.h"
#include "modules/oscillators/wavetable_kernel.h"

namespace zv::oscillators {

// Slot names; the waveform in each is whatever the initialiser loaded.
const MpChar* setName(int32_t slot);

// Opens a set (rate-independent). Whoever opens it first zero-fills it, so
// a set no file has reached yet plays silence. Null if the host refuses.
float* openSet(IMpAudioHost* host, int32_t slot);

// Opens all three sets into a voice's slots.
void openSets(IMpAudioHost* host, Sets& sets);

// The increment table for a sample rate and oversampling factor (1, 2, 4
// or 8), shared by name per rate.
void openIncrements(SharedTable& table, IMpAudioHost* host, float sampleRate, int32_t factor);

}  // namespace zv::oscillators
