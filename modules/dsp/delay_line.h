// Circular delay line with a free-running fractional read point.
//
// The read point is set `distance` samples behind the next write and then
// advances one sample per sample, so it keeps its distance until set again.
// Distances are limited to 1..L−1 samples (NaN to 1): at 1 the read meets
// the sample just written, at L−1 the oldest one still held; anything
// beyond would read samples that are about to be or were just overwritten.
//
// Reads: linear between the two samples around the read point, or a
// four-point cubic (Catmull-Rom) whose first point is the sample read at
// the previous step.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zv::dsp {

class DelayLine {
 public:
  static constexpr int32_t kMinLength = 4;

  // Allocates (or re-allocates) an empty line; not for the audio thread.
  void allocate(int32_t length) {
    length_ = std::max(length, kMinLength);
    line_.assign(static_cast<size_t>(length_), 0.0f);
    write_ = 0;
    read_ = 0.0;
    previous_ = 0.0f;
  }

  void clear() {
    std::fill(line_.begin(), line_.end(), 0.0f);
    previous_ = 0.0f;
  }
  // Empties the line and starts writing at index 0.
  void restart() {
    clear();
    write_ = 0;
  }

  // Places the read point; call before the write of the same sample.
  void setDistance(double distance) {
    const double longest = static_cast<double>(length_ - 1);
    double d = distance >= 1.0 ? distance : 1.0;  // NaN fails the test: 1
    if (d > longest) d = longest;
    read_ = static_cast<double>(write_) - d;
    if (read_ < 0.0) read_ += static_cast<double>(length_);
    // A tiny negative position rounds to the length itself when wrapped.
    if (read_ >= static_cast<double>(length_)) read_ -= static_cast<double>(length_);
  }

  void write(float v) {
    line_[static_cast<size_t>(write_)] = v;
    if (++write_ >= length_) write_ = 0;
  }

  // Reads at the read point, then advances it by one sample.
  template <bool Cubic>
  float read() {
    const auto i = static_cast<int32_t>(read_);
    const auto t = static_cast<float>(read_ - static_cast<double>(i));
    int32_t i1 = i + 1;
    if (i1 >= length_) i1 -= length_;
    const float x0 = line_[static_cast<size_t>(i)];
    const float x1 = line_[static_cast<size_t>(i1)];
    float out;
    if constexpr (Cubic) {
      int32_t i2 = i1 + 1;
      if (i2 >= length_) i2 -= length_;
      const float x2 = line_[static_cast<size_t>(i2)];
      const float u = previous_;
      out =
          ((((x2 - u) * 0.5f + (x0 - x1) * 1.5f) * t + (u - 2.5f * x0 + 2.0f * x1 - 0.5f * x2)) * t + (x1 - u) * 0.5f) *
              t +
          x0;
    } else {
      out = (x1 - x0) * t + x0;
    }
    previous_ = x0;
    read_ += 1.0;
    if (read_ >= static_cast<double>(length_)) read_ -= static_cast<double>(length_);
    return out;
  }

  int32_t length() const { return length_; }
  int32_t writeIndex() const { return write_; }
  double readPosition() const { return read_; }
  const float* data() const { return line_.data(); }

 private:
  std::vector<float> line_;
  int32_t length_ = 0;
  int32_t write_ = 0;
  double read_ = 0.0;
  float previous_ = 0.0f;  // x0 of the previous read, the cubic's first point
};

}  // namespace zv::dsp
