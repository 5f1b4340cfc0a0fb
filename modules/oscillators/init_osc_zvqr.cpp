#include "modules/oscillators/init_osc_zvqr.h"

#include <cstdio>

#include "modules/oscillators/wavetable_file.h"
#include "modules/oscillators/wavetable_sets.h"

InitOscZvqr::InitOscZvqr(IMpUnknown* host) : MpBase(host) {
  // It renders nothing: its unused audio output is static from the start.
  setSilentBlockFunction(&InitOscZvqr::doNothing);
  registerPin(REFERENCE, reference_);
  registerPin(UNUSED_INT, unusedInt_);
  for (int32_t s = 0; s < 3; ++s) {
    registerPin(FAMILY_1 + 2 * s, family_[s]);
    registerPin(NUMBER_1 + 2 * s, number_[s]);
  }
  for (int32_t s = 0; s < 3; ++s) {
    registerPin(STATUS_1 + s, status_[s]);
    // Graph start sends this first: nothing is loaded yet, and 0 is no status.
    status_[s].setRawValue(sizeof kNotLoaded, &kNotLoaded);
  }
  registerPin(UNUSED_AUDIO, unusedAudio_);
}

int32_t InitOscZvqr::openModule() {
  for (int32_t s = 0; s < 3; ++s) {
    sets_[s] = zv::oscillators::openSet(host(), s);
    rememberedFamily_[s] = rememberedNumber_[s] = -1;
  }
  loadedOnce_ = false;
  return MpBase::openModule();
}

void InitOscZvqr::pinsUpdated() {
  if (!loadedOnce_) {
    for (int32_t s = 0; s < 3; ++s) {
      rememberedFamily_[s] = family_[s];
      rememberedNumber_[s] = number_[s];
    }
    loadedOnce_ = true;
    for (int32_t s = 0; s < 3; ++s) load(s);
  }
  for (int32_t s = 0; s < 3; ++s) {
    if (family_[s] != rememberedFamily_[s] || number_[s] != rememberedNumber_[s]) {
      rememberedFamily_[s] = family_[s];
      rememberedNumber_[s] = number_[s];
      load(s);
    }
  }
}

MpString InitOscZvqr::familyPath(const MpString& reference, int32_t family, int32_t number) {
  static const char* const kNames[5] = {"/osc-sine-%i.zvw", "/osc-tri-%i.zvw", "/osc-saw-%i.zvw", "/osc-sqr-%i.zvw",
                                        "/osc-free-%i.zvw"};
  if (family < 0 || family > 4) return {};
  const size_t n = reference.size();
  if (n < 4 || reference[n - 4] != MP_TEXT('.')) return {};
  static const char kExtension[] = "zvw";
  for (size_t k = 0; k < 3; ++k) {
    MpChar c = reference[n - 3 + k];
    if (c >= MP_TEXT('A') && c <= MP_TEXT('Z')) c = static_cast<MpChar>(c - MP_TEXT('A') + MP_TEXT('a'));
    if (c != static_cast<MpChar>(kExtension[k])) return {};
  }
  // The folder ends at the last separator, whatever the reference name's
  // length (for the usual four-character name that is nine characters back).
  const size_t separator = reference.find_last_of(MP_TEXT("/\\"));
  if (separator == MpString::npos) return {};
  char name[64];
  std::snprintf(name, sizeof name, kNames[family], static_cast<int>(number));
  return reference.substr(0, separator) + widenAscii(name);
}

void InitOscZvqr::load(int32_t s) {
  FloatOutPin& status = status_[s];
  status = kNotLoaded;
  const MpString& text = reference_;
  if (!text.empty() && sets_[s] != nullptr) {
    MpChar resolved[260] = {};
    host()->resolveFilePath(text.c_str(), 260, resolved);
    resolved[259] = 0;
    const MpString path = familyPath(MpString(resolved), family_[s], number_[s]);
    if (!path.empty() && zv::oscillators::loadFile(path, sets_[s]) == zv::oscillators::LoadResult::Complete)
      status = 1.0f;
  }
  status.sendValue();
}
