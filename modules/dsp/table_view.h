// A read-only look at a lookup table of N floats followed by one spare (a
// copy of the last entry, read only with weight 0): linear interpolation at
// a position clamped into the table. Kernels read their tables through it,
// so they run on host memory and on plain arrays alike.
#pragma once

#include <cstdint>

namespace zv::dsp {

class TableView {
 public:
  TableView() = default;
  TableView(const float* data, int32_t entries) : data_(data), entries_(data != nullptr ? entries : 0) {}

  // Linear interpolation at a position in entries, clamped (NaN to 0).
  float at(float position) const {
    float p = position > 0.0f ? position : 0.0f;
    const float last = static_cast<float>(entries_ - 1);
    if (p > last) p = last;
    const auto i = static_cast<int32_t>(p);
    const float w = p - static_cast<float>(i);
    return data_[i] + (data_[i + 1] - data_[i]) * w;
  }
  // The table indexed in 1 mV steps: position = control × 10000.
  float atControl(float control) const { return at(control * 10000.0f); }

  float operator[](int32_t i) const { return data_[i]; }
  const float* data() const { return data_; }
  int32_t entries() const { return entries_; }
  bool isOpen() const { return data_ != nullptr; }

 private:
  const float* data_ = nullptr;
  int32_t entries_ = 0;
};

// Fills entries 0..entries−1 from fill(i) and the spare from the last.
template <class Fill>
void fillTable(float* data, int32_t entries, Fill fill) {
  if (data == nullptr || entries <= 0) return;
  for (int32_t i = 0; i < entries; ++i) data[i] = static_cast<float>(fill(i));
  data[entries] = data[entries - 1];
}

}  // namespace zv::dsp
