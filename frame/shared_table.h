// A lookup table of N floats shared between instances through the host's
// named memory, filled once by its first user and read by linear
// interpolation. The host's block holds N + 1 floats: the spare last one is
// a copy of entry N - 1, read only with weight 0.
#pragma once

#include <cstdint>

#include "frame/interfaces.h"

class SharedTable {
 public:
  // Obtains the block; returns true when it is new and must be filled.
  // sampleRate -1 marks a rate-independent table.
  bool open(IMpAudioHost* host, const MpChar* name, float sampleRate, int32_t entries) {
    void* block = nullptr;
    int32_t needInitialise = 0;
    host->openNamedMemory(name, &block, sampleRate, entries + 1, &needInitialise);
    data_ = static_cast<float*>(block);
    entries_ = data_ != nullptr ? entries : 0;
    return data_ != nullptr && needInitialise != 0;
  }

  // Fills every entry from fill(i) and the spare one from the last entry.
  template <class Fill>
  void fill(Fill fill) {
    if (data_ == nullptr || entries_ <= 0) return;
    for (int32_t i = 0; i < entries_; ++i) data_[i] = static_cast<float>(fill(i));
    data_[entries_] = data_[entries_ - 1];
  }

  // Linear interpolation at a position in entries, clamped (NaN to 0).
  float at(float position) const {
    float p = position > 0.0f ? position : 0.0f;
    const float last = static_cast<float>(entries_ - 1);
    if (p > last) p = last;
    auto i = static_cast<int32_t>(p);
    float w = p - static_cast<float>(i);
    return data_[i] + (data_[i + 1] - data_[i]) * w;
  }
  // The table indexed in 1 mV steps: position = control × 10000.
  float atControl(float control) const { return at(control * 10000.0f); }
  // Entry at a truncated index, clamped into the table (NaN to 0).
  float entry(float position) const {
    float p = position > 0.0f ? position : 0.0f;
    const float last = static_cast<float>(entries_ - 1);
    return data_[static_cast<int32_t>(p > last ? last : p)];
  }

  float operator[](int32_t i) const { return data_[i]; }
  float* data() const { return data_; }
  int32_t entries() const { return entries_; }
  bool isOpen() const { return data_ != nullptr; }

 private:
  float* data_ = nullptr;
  int32_t entries_ = 0;
};
