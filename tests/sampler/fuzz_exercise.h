// What the fuzz targets do with every bank that loads: build the zones of
// each preset, select zones for a few notes, set up and render their voices
// with every interpolation. Any read outside the data is caught by the
// sanitizers; broken invariants abort.
#pragma once

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "modules/sampler/sample_voice.h"
#include "modules/sampler/soundfont_bank.h"

namespace zv::sampler::test {

inline void require(bool condition) {
  if (!condition) std::abort();
}

template <int32_t Interpolation>
void render(SampleVoice v, bool gate) {
  float left[96] = {}, right[96] = {}, pitch[96], modulation[96] = {};
  for (float& p : pitch) p = 0.5f;
  for (int block = 0; block < 4; ++block) {
    if (v.stereo) {
      renderVoice<Interpolation, false, true>(v, left, right, 96, pitch, modulation, gate);
    } else {
      renderVoice<Interpolation, true, false>(v, left, right, 96, pitch, modulation, gate);
    }
    for (int i = 0; i < 96; ++i) require(std::isfinite(left[i]) && std::isfinite(right[i]));
  }
}

inline void exercise(const std::shared_ptr<SoundFontBank>& bank) {
  ZoneSet set(bank);
  const uint32_t presets = bank->count(SoundFontBank::PHDR);
  std::vector<const ZoneRecord*> zones;
  for (uint32_t p = 0; p + 1 < presets && p < 32; ++p) {
    const PresetHeader header = bank->presetHeader(p);
    set.buildZones(0, header.bank, header.preset);
    require(set.zones().size() <= ZoneSet::kMaxZones);
    for (int key : {0, 60, 127}) {
      set.zonesForNote(0, key, 100, zones);
      for (size_t z = 0; z < zones.size() && z < 8; ++z) {
        const auto index = static_cast<uint16_t>(zones[z]->generator(GEN_SAMPLE));
        require(index < bank->sampleHeaderCount());
        const SampleHeader& primary = bank->sampleHeader(index);
        require(primary.valid && primary.end <= static_cast<uint32_t>(bank->sampleCount()));
        const SampleHeader* partner =
            primary.link < bank->sampleHeaderCount() ? &bank->sampleHeader(primary.link) : nullptr;
        SampleVoice v;
        if (!setUpSampleVoice(*zones[z], &primary, partner, bank->samples(), bank->sampleCount(), key, 44100.0f, v)) {
          continue;
        }
        require(v.position >= 0 && v.position < v.sampleEnd && v.sampleEnd <= bank->sampleCount());
        v.increment = voiceIncrement(v, 0.5f + static_cast<float>(key % 7) * 0.05f);
        render<INTERP_NONE>(v, true);
        render<INTERP_LINEAR>(v, false);
        render<INTERP_CUBIC>(v, true);
        render<INTERP_SINC>(v, false);
      }
    }
  }
}

}  // namespace zv::sampler::test
